#include "util/Sha256.h"

#include "util/CngHash.h"

bool Sha256Of(const std::string& bytes, std::string* digest) {
    CngHasher hasher(HashAlgorithm::Sha256);
    return hasher.Update(bytes.data(), bytes.size()) && hasher.Finish(digest);
}
