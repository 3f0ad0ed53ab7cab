// A throw-away release key for tests of signed manifests.
#pragma once

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "release/release_signature.h"
#include "nelo_publish/manifest_signing.h"

namespace nelo::testing_support {

struct Signer {
  SigningKey key;
  ReleaseKey release_key;

  Signer() {
    EXPECT_GE(sodium_init(), 0);
    randombytes_buf(key.id.data(), key.id.size());
    crypto_sign_keypair(release_key.public_key.data(), key.secret_key.data());
    release_key.id = key.id;
  }
  // The signature file of `document`, signed at `at`, good until `expires_at` when given.
  std::string sign(std::string_view document, std::int64_t at,
                   std::optional<std::int64_t> expires_at = std::nullopt) const {
    return sign_manifest(document, key, at, "manifest.json", expires_at);
  }
};

}  // namespace nelo::testing_support
