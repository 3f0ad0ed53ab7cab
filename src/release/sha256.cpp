#include "release/sha256.h"

namespace nelo {

Sha256::Sha256() {
  sha256_init(&context_);
}

void Sha256::add(std::string_view bytes) {
  sha256_update(&context_, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
}

std::string Sha256::finish_hex() {
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context_, sizeof(digest), digest);
  return to_hex(digest, sizeof(digest));
}

std::string sha256_hex(std::string_view bytes) {
  Sha256 hash;
  hash.add(bytes);
  return hash.finish_hex();
}

std::string to_hex(const unsigned char* digest, size_t length) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 0x0F]);
  }
  return hex;
}

}  // namespace nelo
