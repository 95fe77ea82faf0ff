#pragma once
// SHA-256 through Windows CNG (bcrypt), present on every supported Windows.
#include <string>

// The 32-byte digest of the bytes; false when CNG refuses.
bool Sha256Of(const std::string& bytes, std::string* digest);
