#include "install/sha256.h"

namespace nelo {

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
