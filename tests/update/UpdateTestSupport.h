#pragma once
// Small helpers shared by the resource-update tests.
#include <windows.h>
#include <map>
#include <string>

// One gzip member of the bytes, as the content packer writes it.
std::string Gzip(const std::string& data);
// The file's bytes, empty when it cannot be read.
std::string FileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
// Waits for the event; false after timeoutMs.
bool WaitFor(HANDLE event, DWORD timeoutMs);
// Every file below folder, by its path relative to folder, with its bytes.
std::map<std::wstring, std::string> TreeBytes(const std::wstring& folder);
