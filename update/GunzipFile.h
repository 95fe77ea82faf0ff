#pragma once
// Decompresses one downloaded package range into its target file with zlib's
// gzip file reader, which also takes data without the gzip magic unchanged.
#include <string>

// Both paths in the thread ANSI code page. True only when the whole source was
// read, every byte written, and the source did not end inside a gzip stream.
// On false a partial target file may remain; the caller removes it.
bool GunzipFile(const std::string& targetPath, const std::string& sourcePath);
