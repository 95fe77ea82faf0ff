#include <gtest/gtest.h>

#include <algorithm>
#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "afx/ScopedWin.h"
#include "download/TraceCapture.h"
#include "support/TestEnv.h"
#include "update/CDNResourceDataProcessor.h"
#include "update/FileFlusher.h"
#include "update/UpdateTestSupport.h"
#include "util/FileUtils.h"
#include "util/Md5.h"
#include "util/TextEncoding.h"

namespace {

std::string Pattern(size_t n, int seed = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + i / 7 + seed) & 0xFF);
    return s;
}

// A processor for name under root that expects content; size 0 leaves the end
// of the entry to End, as for a body of unknown length.
std::unique_ptr<CDNResourceDataProcessor> Processor(const std::wstring& root, const std::wstring& name,
                                                    const std::string& content, bool installed,
                                                    uint32_t size = 0) {
    std::unique_ptr<CDNResourceDataProcessor> p(
        new CDNResourceDataProcessor(DownloadTaskInfo(L"http://127.0.0.1/p/tq_game.tqpkg", name, 2, L"p", 0, size)));
    p->rootFolder = root;
    p->expectedMd5 = AnsiToText(Md5OfBytesHex(content));
    p->replacesInstalledFile = installed;
    return p;
}

// One attempt as the engine drives it: Begin, the body in pieces, End.
bool Transfer(CDNResourceDataProcessor* p, const std::string& body, size_t piece = 1024) {
    if (!p->Begin(0)) return false;
    for (size_t at = 0; at < body.size(); at += piece) {
        std::string part = body.substr(at, piece);
        if (!p->Write(part.data(), static_cast<uint32_t>(part.size()))) break;
    }
    return p->End();
}

}  // namespace

TEST(CDNResourceDataProcessor, InstallsVerifiedFilesInPlaceOrOverTheInstalledOne) {
    std::wstring root = FreshTestFolder(L"update-processor");
    std::string content = Pattern(300000);  // more than one write buffer
    // Every member counts, also several in a row; data without the gzip magic
    // passes through; one-byte pieces split the magic between two writes.
    const struct { const wchar_t* name; std::string body; std::string expected; size_t piece; } cases[] = {
        {L"sub\\dir\\f.bin", Gzip(content), content, 700},
        {L"slash/dir/g.bin", Gzip("ab") + Gzip("cd"), "abcd", 1},
        {L"中文\\raw.txt", "plain bytes, not gzip", "plain bytes, not gzip", 1},
        {L"lone.bin", "\x1F", "\x1F", 1},
        {L"magic-then-other.bin", "\x1F\x8C rest", "\x1F\x8C rest", 1},
        {L"trailing.bin", Gzip("member") + "trailing junk", "member", 1024},
        {L"empty.dat", Gzip(""), "", 1024},
    };
    for (bool installed : {false, true}) {
        for (const auto& c : cases) {
            std::wstring target = root + c.name;
            std::replace(target.begin(), target.end(), L'/', L'\\');
            if (installed) WriteFileBytes(target, "the installed version");
            auto p = Processor(root, c.name, c.expected, installed);
            EXPECT_TRUE(Transfer(p.get(), c.body, c.piece)) << c.name;
            EXPECT_EQ(c.expected, FileBytes(target)) << c.name;
            EXPECT_FALSE(FileExists(target + L".drelpart")) << c.name;
            DeleteExistingFile(target);
        }
    }
    EXPECT_TRUE(::PathIsDirectoryW((root + L"slash\\dir").c_str()));
}

TEST(CDNResourceDataProcessor, NothingButTheListedBytesIsEverTaken) {
    std::wstring root = FreshTestFolder(L"update-processor-bad");
    std::string content = Pattern(20000);
    std::string good = Gzip(content);
    std::string corrupt = good;
    corrupt[corrupt.size() / 2] ^= 0x55;
    std::string flippedMagic = good;
    flippedMagic[1] ^= 0x01;
    const struct { const char* why; std::string body; } cases[] = {
        {"empty transfer", ""},
        {"cut inside the gzip stream", good.substr(0, good.size() - 100)},
        {"cut before the trailer", good.substr(0, good.size() - 4)},
        {"corrupt deflate data", corrupt},
        {"stale package: a valid member of other content", Gzip(Pattern(20000, 1))},
        {"an error page where the range should be", "<html><body>502 Bad Gateway</body></html>"},
        {"a flipped byte in the gzip magic", flippedMagic},
    };
    for (const auto& c : cases) {
        // An installed file is never touched by a bad attempt...
        WriteFileBytes(root + L"f.bin", "old version");
        auto replacing = Processor(root, L"f.bin", content, true);
        EXPECT_FALSE(Transfer(replacing.get(), c.body)) << c.why;
        EXPECT_EQ("old version", FileBytes(root + L"f.bin")) << c.why;
        EXPECT_FALSE(FileExists(root + L"f.bin.drelpart")) << c.why;
        // ...and a file written in place is deleted.
        auto fresh = Processor(root, L"new.bin", content, false);
        EXPECT_FALSE(Transfer(fresh.get(), c.body)) << c.why;
        EXPECT_FALSE(FileExists(root + L"new.bin")) << c.why;
    }
    // After a failure the next attempt starts clean and succeeds.
    auto p = Processor(root, L"f.bin", content, true);
    EXPECT_FALSE(Transfer(p.get(), good.substr(0, 10)));
    EXPECT_TRUE(Transfer(p.get(), good));
    EXPECT_EQ(content, FileBytes(root + L"f.bin"));
}

TEST(CDNResourceDataProcessor, AFileIsFinishedWhenItsLastByteArrives) {
    // A segment ends its files only after the last one; each must be in place
    // (and its handle closed) long before that.
    std::wstring root = FreshTestFolder(L"update-processor-eager");
    std::string body = Gzip("content");
    auto p = Processor(root, L"a.bin", "content", false, static_cast<uint32_t>(body.size()));
    ASSERT_TRUE(p->Begin(0));
    ASSERT_TRUE(p->Write(body.data(), static_cast<uint32_t>(body.size())));
    EXPECT_EQ("content", FileBytes(root + L"a.bin"));
    EXPECT_TRUE(p->End());
    // A wrong last byte is refused by the write itself, so the attempt stops there.
    std::string wrong = Gzip("contenT");
    auto q = Processor(root, L"b.bin", "content", false, static_cast<uint32_t>(wrong.size()));
    ASSERT_TRUE(q->Begin(0));
    EXPECT_FALSE(q->Write(wrong.data(), static_cast<uint32_t>(wrong.size())));
    EXPECT_FALSE(q->End());
    EXPECT_FALSE(FileExists(root + L"b.bin"));
}

TEST(CDNResourceDataProcessor, RepeatedAttemptsReportOnlyNewBytes) {
    std::wstring root = FreshTestFolder(L"update-processor-progress");
    auto p = Processor(root, L"f.bin", "", false);
    std::vector<int64_t> reports;
    p->onProgress = [&](int64_t delta) { reports.push_back(delta); };
    const size_t attempts[] = {100, 60, 150};
    for (size_t n : attempts) {
        ASSERT_TRUE(p->Begin(0));
        std::string bytes(n, 'x');
        for (size_t at = 0; at < n; at += 10) ASSERT_TRUE(p->Write(bytes.data() + at, 10));
        p->End();
    }
    int64_t sum = 0;
    for (int64_t r : reports) sum += r;
    EXPECT_EQ(150, sum);
    EXPECT_EQ(150, p->maxWritten);
    EXPECT_EQ(150, p->written);
}

TEST(CDNResourceDataProcessor, AttemptRulesAndContent) {
    std::wstring root = FreshTestFolder(L"update-processor-open");
    auto p = Processor(root, L"a.dll", "\x01\x02\x03", true);
    std::string out = "unchanged";
    EXPECT_TRUE(p->GetContent(&out));  // no target yet
    EXPECT_EQ("unchanged", out);
    EXPECT_FALSE(p->End());            // End without Begin
    ASSERT_TRUE(p->Begin(0));
    EXPECT_FALSE(p->Begin(0));         // an attempt is under way: refused, it goes on
    EXPECT_TRUE(p->IsReceiving());
    EXPECT_TRUE(p->GetContent(&out));  // while receiving: unchanged
    EXPECT_EQ("unchanged", out);
    std::string body = Gzip("\x01\x02\x03");
    ASSERT_TRUE(p->Write(body.data(), static_cast<uint32_t>(body.size())));
    ASSERT_TRUE(p->End());
    out = "a longer old content";
    EXPECT_TRUE(p->GetContent(&out));
    EXPECT_EQ("\x01\x02\x03", out);
}

TEST(CDNResourceDataProcessor, StopsWritingBeforeTheDriveRunsShort) {
    std::wstring root = FreshTestFolder(L"update-processor-disk");
    const uint64_t floor = 64ull << 20;
    // A drive with 1 MiB above the floor before the file, and a member that inflates to 4 MiB.
    DiskSpaceGuard guard(root, floor, [floor, root](const std::wstring&, uint64_t* free) {
        // The file being written is open without sharing: its size comes from the folder.
        uint64_t used = 0;
        for (const wchar_t* name : {L"big.bin", L"big.bin.drelpart"}) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (::GetFileAttributesExW((root + name).c_str(), GetFileExInfoStandard, &data)) used += data.nFileSizeLow;
        }
        *free = floor + (1u << 20) - std::min<uint64_t>(used, 1u << 20);
        return true;
    });
    std::string big(4u << 20, '\0');
    for (bool installed : {false, true}) {
        auto p = Processor(root, L"big.bin", big, installed);
        p->diskSpace = &guard;
        EXPECT_FALSE(Transfer(p.get(), Gzip(big)));
        EXPECT_FALSE(FileExists(root + L"big.bin"));
        EXPECT_FALSE(FileExists(root + L"big.bin.drelpart"));
    }
    auto small = Processor(root, L"small.bin", "fits", false);
    small->diskSpace = &guard;
    EXPECT_TRUE(Transfer(small.get(), Gzip("fits")));
}

TEST(CDNResourceDataProcessor, RefusesNamesOutsideItsRootOrLikeATemporaryFile) {
    std::wstring base = FreshTestFolder(L"update-processor-escape");
    std::wstring root = base + L"root\\";
    CreateFolderPath(root);
    for (const wchar_t* name : {L"..\\evil.txt", L"a\\..\\..\\evil.txt", L"C:\\drel-test\\update-processor-escape\\evil.txt",
                                L"evil.txt:stream", L"x.bin.DrelPart"}) {
        auto p = Processor(root, name, "", false);
        EXPECT_FALSE(p->Begin(0)) << name;
        EXPECT_FALSE(p->End()) << name;
        std::string out;
        EXPECT_FALSE(p->GetContent(&out)) << name;
    }
    EXPECT_FALSE(FileExists(base + L"evil.txt"));
}

TEST(CDNResourceDataProcessor, AFileInPlaceIsLeftAloneByLaterAttemptsOfItsSegment) {
    // Another file of the segment failed: the retry passes this one's bytes by,
    // instead of putting a verified, recorded file back in the making.
    std::wstring root = FreshTestFolder(L"update-processor-retry");
    std::string body = Gzip("content");
    auto p = Processor(root, L"a.bin", "content", false, static_cast<uint32_t>(body.size()));
    int installed = 0;
    p->onInstalled = [&installed] { ++installed; };
    EXPECT_TRUE(Transfer(p.get(), body));
    std::string garbage(body.size(), 'x');
    EXPECT_TRUE(Transfer(p.get(), garbage));
    EXPECT_EQ("content", FileBytes(root + L"a.bin"));
    EXPECT_EQ(1, installed);
}

TEST(CDNResourceDataProcessor, ADiskFailureIsTracedWithItsCode) {
    std::wstring root = FreshTestFolder(L"update-processor-disk");
    ASSERT_TRUE(WriteFileBytes(root + L"blocked", "a file where the folder should be"));
    std::string body = Gzip("content");
    auto p = Processor(root, L"blocked\\a.bin", "content", false, static_cast<uint32_t>(body.size()));
    TraceCapture trace;
    EXPECT_FALSE(Transfer(p.get(), body));
    std::wstring text = trace.Text();
    const std::wstring prefix = L"写入磁盘失败\t";
    size_t at = text.find(prefix);
    ASSERT_NE(std::wstring::npos, at) << text.c_str();
    std::wstring line = text.substr(at, text.find(L"\r\n", at) - at);
    EXPECT_GT(_wtoi(line.c_str() + prefix.size()), 0) << line.c_str();  // the system's code, never 0
    EXPECT_NE(std::wstring::npos, line.find(L"\tCreateFile\tblocked\\a.bin")) << line.c_str();
}

TEST(FileFlusher, TellsEachFileAndReportsAFailedFlushOnce) {
    std::wstring root = FreshTestFolder(L"update-flusher");
    WriteFileBytes(root + L"a.bin", "a");
    FileFlusher flusher;
    std::vector<int> done;
    CriticalSection lock;
    auto record = [&](int id) {
        return [&, id](bool flushed, DWORD error) {
            ScopedLock hold(lock);
            done.push_back(flushed ? id : -id);
            if (!flushed) {
                EXPECT_NE(0u, error);  // the system's code of the failed step
            }
        };
    };
    for (int id = 1; id <= 3; ++id) {
        HANDLE file = ::CreateFileW((root + L"f" + std::to_wstring(id)).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        flusher.Add(ScopedFileHandle(file), record(id));
    }
    EXPECT_TRUE(flusher.Drain());
    // A handle without write access cannot be flushed.
    HANDLE readOnly = ::CreateFileW((root + L"a.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, readOnly);
    flusher.Add(ScopedFileHandle(readOnly), record(4));
    EXPECT_FALSE(flusher.Drain());
    EXPECT_TRUE(flusher.Drain());  // the failure is told once
    std::sort(done.begin(), done.end());  // the files are flushed side by side
    EXPECT_EQ((std::vector<int>{-4, 1, 2, 3}), done);
}
