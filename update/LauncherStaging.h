#pragma once
// The launcher staging file "launcher.tmp" in the launcher root: the launcher
// never replaces its own files; it packs every new launcher file and the new
// launcher_manifest.txt into this file for the entrance program. Layout, all
// integers little-endian 32-bit:
//   status byte (0 while incomplete, 1 once the manifest record is written)
//   records, one per launcher file in the order they arrived, then the manifest:
//     name length N, N name bytes (thread ANSI code page), content length M, M bytes
#include <cstdint>
#include <string>

#include "download/DownloadTaskInfo.h"
#include "update/ResourceList.h"

class CDNResourceDataProcessor;

// launcherRoot (ending in a backslash) followed by "launcher.tmp".
std::wstring StagingFilePath(const std::wstring& launcherRoot);
// Writes the bytes at the end of the file, or at its start, creating the file
// when missing and never truncating it, and flushes them to the disk. False
// when the file cannot be opened or not every byte was written and flushed.
bool WriteStagingBytes(const std::wstring& path, const std::string& bytes, bool atEnd);
// Overwrites the status byte.
bool SetStagingFlag(const std::wstring& path, unsigned char value);
void DeleteStagingFile(const std::wstring& path);
// Appends the record of one launcher file that has just arrived and passed its
// check: its name and the bytes the processor put in its target file. False
// when the file cannot be read or the record not written: the staging fails.
bool StageLauncherFile(const std::wstring& path, const DownloadTaskResultInfo& result,
                       CDNResourceDataProcessor* processor);
// Appends the manifest record (the map as "name=md5\r\n" lines, UTF-8) and only
// then, once everything is on the disk, marks the file complete. An empty map
// writes nothing and gives true; false when a write failed (not complete).
bool StoreLauncherManifest(const std::wstring& path, const ResourceInfoMap& map);
