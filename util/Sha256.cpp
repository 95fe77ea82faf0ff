#include "util/Sha256.h"

#include "util/CngHash.h"

bool Sha256Of(const std::string& bytes, std::string* digest) { return Sha256Of(bytes.data(), bytes.size(), digest); }

bool Sha256Of(const void* data, size_t count, std::string* digest) {
    CngHasher hasher(HashAlgorithm::Sha256);
    return hasher.Update(data, count) && hasher.Finish(digest);
}
