#include "update/LauncherStaging.h"

#include "afx/File.h"
#include "download/FileUtils.h"
#include "update/CDNResourceDataProcessor.h"
#include "util/TextEncoding.h"

namespace {

const char kManifestName[] = "launcher_manifest.txt";

std::string LittleEndian32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// One record as four appends, like the entrance program expects them.
void AppendRecord(const std::wstring& path, const std::string& name, const std::string& content) {
    WriteStagingBytes(path, LittleEndian32(static_cast<uint32_t>(name.size())), true);
    WriteStagingBytes(path, name, true);
    WriteStagingBytes(path, LittleEndian32(static_cast<uint32_t>(content.size())), true);
    WriteStagingBytes(path, content, true);
}

}  // namespace

std::wstring StagingFilePath(const std::wstring& launcherRoot) { return launcherRoot + L"launcher.tmp"; }

int WriteStagingBytes(const std::wstring& path, const std::string& bytes, bool atEnd) {
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite)) return 0;
    if (!file.Seek(0, atEnd ? FILE_END : FILE_BEGIN)) return 0;
    if (!bytes.empty()) file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return 0;
}

int SetStagingFlag(const std::wstring& path, unsigned char value) {
    return WriteStagingBytes(path, std::string(1, static_cast<char>(value)), false);
}

void DeleteStagingFile(const std::wstring& path) { DeleteExistingFile(path); }

void StageLauncherFile(const std::wstring& path, const DownloadTaskResultInfo& result,
                       CDNResourceDataProcessor* processor) {
    std::string content;
    if (processor) processor->GetContent(&content);
    AppendRecord(path, TextToAnsi(result.info.name), content);
    // The downloaded copy stays under the launcher root as it is: the entrance
    // program applies the staging file, and a file named by the bare entry name
    // relative to the current folder is none of the launcher's business.
}

void StoreLauncherManifest(const std::wstring& path, const ResourceInfoMap& map) {
    std::wstring text;
    if (!FormatResourceList(map, &text)) return;
    // The plain UTF-8 bytes: a detour through the ANSI code page would garble
    // any name outside ASCII.
    AppendRecord(path, kManifestName, TextToUtf8String(text));
    SetStagingFlag(path, 1);
}
