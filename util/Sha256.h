#pragma once
// SHA-256 through Windows CNG (bcrypt), present on every supported Windows.
#include <cstddef>
#include <string>

// The 32-byte digest of the bytes; false when CNG refuses.
bool Sha256Of(const std::string& bytes, std::string* digest);
// The same for count bytes at data.
bool Sha256Of(const void* data, size_t count, std::string* digest);
