// SHA-256 from the platform's own library (OpenSSL's libcrypto on Linux, BCrypt on Windows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brivane::cli {

// Lower-case hex digest; "" if the platform's library fails.
std::string sha256Hex(const std::vector<std::uint8_t>& data);

}  // namespace brivane::cli
