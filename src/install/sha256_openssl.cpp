#include <openssl/evp.h>

#include "install/sha256.h"

namespace nelo {

std::string sha256_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  return to_hex(digest, length);
}

}  // namespace nelo
