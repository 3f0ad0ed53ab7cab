#include "base/win_support.h"

#include <bcrypt.h>

#include <limits>

#include "install/sha256.h"

namespace nelo {

std::string sha256_hex(std::string_view bytes) {
  unsigned char digest[32] = {};
  // The algorithm provider is opened once: BCrypt's providers are safe to share between threads
  // and calls. A pseudo-handle would need Windows 10 1709; this works everywhere.
  static const BCRYPT_ALG_HANDLE algorithm = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    ::BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    return handle;
  }();
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (algorithm == nullptr ||
      !BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
    return std::string(64, '?');  // never equal to a manifest digest
  }
  bool ok = true;
  constexpr size_t kMaxChunk = std::numeric_limits<ULONG>::max();
  for (size_t done = 0; ok && done < bytes.size();) {
    const size_t chunk = std::min(kMaxChunk, bytes.size() - done);
    ok = BCRYPT_SUCCESS(
        ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + done)),
                         static_cast<ULONG>(chunk), 0));
    done += chunk;
  }
  ok = ok && BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest, sizeof(digest), 0));
  ::BCryptDestroyHash(hash);
  return ok ? to_hex(digest, sizeof(digest)) : std::string(64, '?');
}

}  // namespace nelo
