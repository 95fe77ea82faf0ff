#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "download/FileUtils.h"
#include "support/TestEnv.h"
#include "update/CDNResourceDataProcessor.h"
#include "update/GunzipFile.h"
#include "update/UpdateTestSupport.h"
#include "util/TextEncoding.h"

namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + i / 7) & 0xFF);
    return s;
}

DownloadTaskInfo Task(const std::wstring& name) {
    return DownloadTaskInfo(L"http://127.0.0.1/p/tq_game.tqpkg", name, 2, L"p", 0, 0);
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

TEST(CDNResourceDataProcessor, DecompressesIntoTheTargetAndCreatesItsFolders) {
    std::wstring root = FreshTestFolder(L"update-processor");
    std::string content = Pattern(5000);
    // Every member counts, also several in a row; data without the gzip magic passes through.
    const struct { const wchar_t* name; std::string body; std::string expected; } cases[] = {
        {L"sub\\dir\\f.bin", Gzip(content), content},
        {L"slash/dir/g.bin", Gzip("ab") + Gzip("cd"), "abcd"},
        {L"中文\\raw.txt", "plain bytes, not gzip", "plain bytes, not gzip"},
        {L"empty.dat", Gzip(""), ""},
    };
    for (const auto& c : cases) {
        CDNResourceDataProcessor p(Task(c.name));
        p.rootFolder = root;
        EXPECT_TRUE(Transfer(&p, c.body, 700)) << c.name;
        std::wstring target, temporary;
        ASSERT_TRUE(p.GetTargetPath(&target));
        ASSERT_TRUE(p.GetTemporaryPath(&temporary));
        EXPECT_EQ(c.expected, FileBytes(target)) << c.name;
        EXPECT_TRUE(FileExists(target)) << c.name;
        EXPECT_FALSE(FileExists(temporary)) << c.name;
    }
    EXPECT_TRUE(::PathIsDirectoryW((root + L"slash\\dir").c_str()));
}

TEST(CDNResourceDataProcessor, BadTransfersNeverLeaveATargetFile) {
    std::wstring root = FreshTestFolder(L"update-processor-bad");
    std::string good = Gzip(Pattern(20000));
    std::string corrupt = good;
    corrupt[corrupt.size() / 2] ^= 0x55;
    const struct { const char* why; std::string body; } cases[] = {
        {"empty transfer", ""},
        {"cut inside the gzip stream", good.substr(0, good.size() - 100)},
        {"cut before the trailer", good.substr(0, good.size() - 4)},
        {"corrupt deflate data", corrupt},
    };
    for (const auto& c : cases) {
        CDNResourceDataProcessor p(Task(L"f.bin"));
        p.rootFolder = root;
        WriteFileBytes(root + L"f.bin", "old version");  // Begin removes it
        EXPECT_FALSE(Transfer(&p, c.body)) << c.why;
        EXPECT_FALSE(FileExists(root + L"f.bin")) << c.why;
    }
    // After a failure the next attempt starts clean and succeeds.
    CDNResourceDataProcessor p(Task(L"f.bin"));
    p.rootFolder = root;
    EXPECT_FALSE(Transfer(&p, good.substr(0, 10)));
    EXPECT_TRUE(Transfer(&p, good));
    EXPECT_EQ(Pattern(20000), FileBytes(root + L"f.bin"));
}

TEST(CDNResourceDataProcessor, RepeatedAttemptsReportOnlyNewBytes) {
    std::wstring root = FreshTestFolder(L"update-processor-progress");
    CDNResourceDataProcessor p(Task(L"f.bin"));
    p.rootFolder = root;
    std::vector<int64_t> reports;
    p.onProgress = [&](int64_t delta) { reports.push_back(delta); };
    const size_t attempts[] = {100, 60, 150};
    for (size_t n : attempts) {
        ASSERT_TRUE(p.Begin(0));
        std::string bytes(n, 'x');
        for (size_t at = 0; at < n; at += 10) ASSERT_TRUE(p.Write(bytes.data() + at, 10));
        p.End();
    }
    int64_t sum = 0;
    for (int64_t r : reports) sum += r;
    EXPECT_EQ(150, sum);
    EXPECT_EQ(150, p.maxWritten);
    EXPECT_EQ(150, p.written);
}

TEST(CDNResourceDataProcessor, OpenFileRulesAndContent) {
    std::wstring root = FreshTestFolder(L"update-processor-open");
    CDNResourceDataProcessor p(Task(L"a.dll"));
    p.rootFolder = root;
    std::string out = "unchanged";
    EXPECT_TRUE(p.GetContent(&out));  // no target yet
    EXPECT_EQ("unchanged", out);
    EXPECT_FALSE(p.End());            // End without Begin
    ASSERT_TRUE(p.Begin(0));
    EXPECT_FALSE(p.Begin(0));         // a file is open: refused, the open file stays
    EXPECT_TRUE(p.file.IsOpen());
    EXPECT_TRUE(p.GetContent(&out));  // while open: unchanged
    EXPECT_EQ("unchanged", out);
    std::string body = Gzip("\x01\x02\x03");
    ASSERT_TRUE(p.Write(body.data(), static_cast<uint32_t>(body.size())));
    ASSERT_TRUE(p.End());
    out = "a longer old content";
    EXPECT_TRUE(p.GetContent(&out));
    EXPECT_EQ("\x01\x02\x03", out);
}

TEST(CDNResourceDataProcessor, RefusesNamesOutsideItsRoot) {
    std::wstring base = FreshTestFolder(L"update-processor-escape");
    std::wstring root = base + L"root\\";
    CreateFolderPath(root);
    for (const wchar_t* name : {L"..\\evil.txt", L"a\\..\\..\\evil.txt", L"C:\\drel-test\\update-processor-escape\\evil.txt",
                                L"evil.txt:stream"}) {
        CDNResourceDataProcessor p(Task(name));
        p.rootFolder = root;
        EXPECT_FALSE(p.Begin(0)) << name;
        EXPECT_FALSE(p.End()) << name;
        std::string out;
        EXPECT_FALSE(p.GetContent(&out)) << name;
    }
    EXPECT_FALSE(FileExists(base + L"evil.txt"));
    EXPECT_FALSE(FileExists(base + L"evil.txt.t"));
}

TEST(GunzipFile, MissingSourceOrUnwritableTargetFails) {
    std::wstring root = FreshTestFolder(L"update-gunzip");
    std::string source = TextToAnsi(root + L"src.gz");
    WriteFileBytes(root + L"src.gz", Gzip("abc"));
    EXPECT_FALSE(GunzipFile(TextToAnsi(root + L"out"), TextToAnsi(root + L"missing.gz")));
    EXPECT_FALSE(GunzipFile(TextToAnsi(root + L"no\\such\\folder\\out"), source));
    EXPECT_TRUE(GunzipFile(TextToAnsi(root + L"目标.bin"), source));
    EXPECT_EQ("abc", FileBytes(root + L"目标.bin"));
}
