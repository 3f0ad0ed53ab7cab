// SHA-256 of a file's content, as the manifest writes it.
#pragma once

#include <nettle/sha2.h>

#include <string>
#include <string_view>

namespace nelo {

// The digest of `bytes` as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::string_view bytes);

// A digest computed piece by piece, for content that arrives in parts; the result equals
// `sha256_hex` of the parts joined.
class Sha256 {
 public:
  Sha256();
  void add(std::string_view bytes);
  // The digest of everything added, as 64 lower-case hexadecimal digits.
  std::string finish_hex();

 private:
  sha256_ctx context_;
};

// Raw digest bytes as lower-case hexadecimal digits, two per byte.
std::string to_hex(const unsigned char* digest, size_t length);

}  // namespace nelo
