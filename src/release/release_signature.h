// Signed releases: the manifest's minisign signature, checked against the release keys built
// into the launcher.
//
//   app/manifest.json            the manifest, byte for byte what was signed
//   app/manifest.json.minisig    untrusted comment: ...
//                                base64("Ed" or "ED" | key id (8) | Ed25519 signature (64))
//                                trusted comment: timestamp:N<TAB>file:manifest.json[<TAB>hashed]
//                                                 [<TAB>expires:M]
//                                base64(Ed25519 signature of the signature and the comment)
//
// "Ed" signs the manifest's bytes, "ED" their BLAKE2b-512 hash (what minisign writes by
// default). A launcher built without keys asks for no signature at all.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace nelo {

// A signature file is four short lines; anything much longer is not one, whether it comes from
// the server or from a version folder.
constexpr std::uint64_t kSignatureMaxBytes = 64 * 1024;

// The name the signature is served under (below "app/") and kept under in a version folder.
constexpr std::string_view kSignatureSuffix = ".minisig";

struct ReleaseKey {
  std::array<unsigned char, 8> id{};
  std::array<unsigned char, 32> public_key{};
};

// The keys of a minisign ".pub" text, one or more: "untrusted comment:" lines and blank lines
// are passed over, every other line must be one key ("Ed", its id, its 32 bytes, in base64).
// Nothing when any line is not a key, or when there is no key at all.
std::optional<std::vector<ReleaseKey>> parse_release_keys(std::string_view text);

struct ManifestSignature {
  bool prehashed = false;  // "ED": the signature is over the BLAKE2b-512 hash of the bytes
  std::array<unsigned char, 8> key_id{};
  std::array<unsigned char, 64> signature{};
  std::string trusted_comment;
  std::array<unsigned char, 64> global_signature{};
};

// The four lines of a minisign signature file (a line end after the last is optional; CR LF
// line ends are accepted). Nothing when the text is not one.
std::optional<ManifestSignature> parse_manifest_signature(std::string_view text);

// The N of a trusted comment that begins with "timestamp:N" (followed by a tab or nothing).
std::optional<std::int64_t> trusted_timestamp(std::string_view trusted_comment);

// The M of a tab-separated field "expires:M" of a trusted comment: the moment (seconds since
// 1970) after which the signature is no longer good. Nothing when the comment has no such field
// or it is not a decimal number.
std::optional<std::int64_t> trusted_expiry(std::string_view trusted_comment);

// How far a launcher's clock may run ahead before it takes a signature for expired.
constexpr std::int64_t kExpirySkewSeconds = 10 * 60;

// What a verified signature vouches for.
struct SignedRelease {
  std::int64_t signed_at = 0;              // the trusted timestamp
  std::optional<std::int64_t> expires_at;  // the trusted expiry, when there is one
};

// Verifies `signature_file` for the exact `document` bytes against `keys`: the key id must be
// one of them, the signature and the global signature (over the signature and the trusted
// comment) must verify, and the trusted comment must carry a timestamp. Gives the timestamp and
// the expiry, or "assinatura inválida".
Result<SignedRelease> verify_manifest_signature(std::string_view document,
                                                std::string_view signature_file,
                                                const std::vector<ReleaseKey>& keys);

// The signing time of a signature file that was verified before (a fetched manifest's, or a
// version folder's); nothing when it is not a signature file with a timestamp.
std::optional<std::int64_t> signing_time(std::string_view signature_file);

// The release keys this launcher was built with; empty when it was built without.
const std::vector<ReleaseKey>& built_in_release_keys();

// The number of release keys this launcher was built with (0: built without), or "chaves de
// versão ilegíveis" when it was built with key text that does not read as keys.
Result<std::size_t> check_built_in_release_keys();

// What a fetched manifest must show to be trusted beyond HTTPS.
struct ManifestTrust {
  std::vector<ReleaseKey> keys;  // none: no signature is asked for
  // When the current version was installed from a signed manifest, its signing time: an older
  // release is refused.
  std::optional<std::int64_t> installed_signed_at;
  // The current time, seconds since 1970: a manifest whose signature expired before it (less
  // the skew allowed) is refused.
  std::int64_t now = 0;
};

}  // namespace nelo
