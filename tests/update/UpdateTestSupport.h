#pragma once
// Small helpers shared by the resource-update tests.
#include <windows.h>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "update/ContentIndex.h"

// One gzip member of the bytes, as the content packer writes it.
std::string Gzip(const std::string& data);
// One gzip member of the bytes ending a deflate block with a full flush at each
// of chunkEnds (offsets in data, the last one data's size), as the packer
// writes a large file; *entry gets the chunks as the content index tells them.
std::string GzipInChunks(const std::string& data, const std::vector<uint64_t>& chunkEnds, ContentIndexEntry* entry);
// SHA-256 of the bytes as 64 lower-case hex digits, and the raw form.
std::string Sha256Hex(const std::string& bytes);
std::string Sha256Raw(const std::string& bytes);
// The file's bytes, empty when it cannot be read.
std::string FileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
// Waits for the event; false after timeoutMs.
bool WaitFor(HANDLE event, DWORD timeoutMs);
// Every file below folder, by its path relative to folder, with its bytes.
std::map<std::wstring, std::string> TreeBytes(const std::wstring& folder);
