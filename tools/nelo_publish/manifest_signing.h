// Signing a manifest the way minisign does, with a minisign secret key file.
//
//   secret key file:  untrusted comment: ...
//                     base64("Ed" | kdf "Sc" or 0 0 | "B2" | salt (32) | opslimit (8) |
//                            memlimit (8) | key id (8) + secret key (64) + checksum (32))
//
// The last 104 bytes are XORed with scrypt(password, salt) when the kdf is "Sc" and stored as
// they are when it is 0 0 (a key made by "minisign -G -W"); the checksum is the BLAKE2b-256 of
// "Ed", the key id and the secret key.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace nelo {

struct SigningKey {
  std::array<unsigned char, 8> id{};
  std::array<unsigned char, 64> secret_key{};
};

// True when the key file is protected by a password.
bool signing_key_needs_password(std::string_view key_file);

// Reads a minisign secret key file, unlocking it with `password` when it has one. Fails with a
// message that says what is wrong (not a key, a wrong password).
Result<SigningKey> read_signing_key(std::string_view key_file, std::string_view password);

// The four lines of a minisign signature file: `algorithm` 'd' signs `signed_bytes` as they are
// ("Ed"), 'D' takes them for the BLAKE2b-512 hash of what is signed ("ED"); the global signature
// covers the signature and `trusted_comment`.
std::string signature_file_text(std::string_view signed_bytes, char algorithm,
                                const SigningKey& key, std::string_view trusted_comment);

// The signature file of `document` (minisign's "ED": over its BLAKE2b-512 hash) with the
// trusted comment "timestamp:N<TAB>file:NAME<TAB>hashed", as minisign writes it, followed by
// "<TAB>expires:M" when the signature is to expire at M (seconds since 1970).
std::string sign_manifest(std::string_view document, const SigningKey& key, std::int64_t timestamp,
                          std::string_view file_name,
                          std::optional<std::int64_t> expires_at = std::nullopt);

}  // namespace nelo
