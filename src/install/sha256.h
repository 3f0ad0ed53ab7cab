// SHA-256 of a file's content, as the manifest writes it.
#pragma once

#include <string>
#include <string_view>

namespace nelo {

// The digest of `bytes` as 64 lower-case hexadecimal digits. The platform computes it (BCrypt
// on Windows, OpenSSL's libcrypto elsewhere).
std::string sha256_hex(std::string_view bytes);

// 32 raw bytes as 64 lower-case hexadecimal digits.
std::string to_hex(const unsigned char* digest, size_t length);

}  // namespace nelo
