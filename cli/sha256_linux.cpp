#include <openssl/evp.h>

#include "cli/output.h"
#include "cli/sha256.h"

namespace brivane::cli {

std::string sha256Hex(const std::vector<std::uint8_t>& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return "";
    }
    return hexBytes(digest, length);
}

}  // namespace brivane::cli
