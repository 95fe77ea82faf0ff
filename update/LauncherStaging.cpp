#include "update/LauncherStaging.h"

#include "afx/File.h"
#include "update/CDNResourceDataProcessor.h"
#include "util/FileUtils.h"
#include "util/TextEncoding.h"

namespace {

const char kManifestName[] = "launcher_manifest.txt";

std::string LittleEndian32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// One record: name length, name, content length, content, in one append.
bool AppendRecord(const std::wstring& path, const std::string& name, const std::string& content) {
    std::string record = LittleEndian32(static_cast<uint32_t>(name.size()));
    record += name;
    record += LittleEndian32(static_cast<uint32_t>(content.size()));
    record += content;
    return WriteStagingBytes(path, record, true);
}

}  // namespace

std::wstring StagingFilePath(const std::wstring& launcherRoot) { return launcherRoot + L"launcher.tmp"; }

bool WriteStagingBytes(const std::wstring& path, const std::string& bytes, bool atEnd) {
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite)) return false;
    if (!file.Seek(0, atEnd ? FILE_END : FILE_BEGIN)) return false;
    if (!bytes.empty() && !file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()))) return false;
    return file.Flush();
}

bool SetStagingFlag(const std::wstring& path, unsigned char value) {
    return WriteStagingBytes(path, std::string(1, static_cast<char>(value)), false);
}

void DeleteStagingFile(const std::wstring& path) { DeleteExistingFile(path); }

bool StageLauncherFile(const std::wstring& path, const DownloadTaskResultInfo& result,
                       CDNResourceDataProcessor* processor) {
    std::string content;
    if (!processor || !processor->GetContent(&content)) return false;
    // The entrance program reads names in the ANSI code page: a name it cannot
    // carry fails the staging rather than being written as "?".
    std::string name;
    if (!TextToAnsiExact(result.info.name, &name)) return false;
    return AppendRecord(path, name, content);
    // The downloaded copy stays under the launcher root as it is: the entrance
    // program applies the staging file, and a file named by the bare entry name
    // relative to the current folder is none of the launcher's business.
}

bool StoreLauncherManifest(const std::wstring& path, const ResourceInfoMap& map) {
    std::wstring text;
    if (!FormatResourceList(map, &text)) return true;
    // The plain UTF-8 bytes: a detour through the ANSI code page would garble
    // any name outside ASCII. The status byte says "complete" only after every
    // record is on the disk.
    return AppendRecord(path, kManifestName, TextToUtf8String(text)) && SetStagingFlag(path, 1);
}
