// The signature-file reader and the verifier never fail on any input: what the reader accepts
// has its four parts, and no input verifies against a key that signed nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "release/release_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto signature = nelo::parse_manifest_signature(text);
  if (signature && signature->trusted_comment.find('\n') != std::string::npos) {
    std::abort();
  }
  // A key made of the signature's own key id and zeros: nothing can verify against it.
  std::vector<nelo::ReleaseKey> keys(1);
  if (signature) {
    keys[0].id = signature->key_id;
  }
  const auto verified = nelo::verify_manifest_signature("document", text, keys);
  if (verified.ok() || verified.message() != "assinatura inválida") {
    std::abort();
  }
  (void)nelo::parse_release_keys(text);
  (void)nelo::trusted_timestamp(text);
  return 0;
}
