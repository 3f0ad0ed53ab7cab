// The served pair: the manifest and its signature, which a launcher with keys fetches one after
// the other and trusts only together.
//
//   ROOT/app/manifest.json          the release manifest
//   ROOT/app/manifest.json.minisig  its signature (with signed releases)
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "nelo_publish/manifest_signing.h"

namespace nelo::publish {

// The paths of the pair below ROOT.
std::filesystem::path served_manifest_path(const std::filesystem::path& root);
std::filesystem::path served_signature_path(const std::filesystem::path& root);

// Puts `document` and `signature` (empty: an unsigned manifest, and any signature served
// already stays as it is, unless `drop_old_signature`: then it goes first) in place of the
// served pair. Both are written whole and put on the
// disk under temporary names first; then the signature takes its name, then the manifest. When
// the manifest cannot take its name, the signature that was served before is put back (or the
// new one removed, when there was none): a failure at any step leaves the previous manifest
// beside its own signature.
Status put_served_pair(const std::filesystem::path& root, std::string_view document,
                       std::string_view signature, bool drop_old_signature = false);

// Replaces the served signature alone, by one rename.
Status put_served_signature(const std::filesystem::path& root, std::string_view signature);

// The signing time of the signature served now below ROOT; nothing without one.
std::optional<std::int64_t> served_signing_time(const std::filesystem::path& root);

// The signing time for a new signature: the clock's, but never earlier than one second after
// the time already served, so that no launcher takes the new manifest for an older one.
std::int64_t next_signing_time(std::int64_t clock, std::optional<std::int64_t> served);

// A signature of `document` to serve below ROOT in place of the one served now.
struct NextSignature {
  std::string text;  // the signature file
  std::int64_t signed_at = 0;
  std::optional<std::int64_t> expires_at;
  bool clock_behind = false;  // the clock was behind the signature served before
};

// Signs `document` with `key` at next_signing_time(clock, what ROOT serves), good for
// `expires_after` seconds from then when given, for ever otherwise.
NextSignature sign_after_served(const std::filesystem::path& root, std::string_view document,
                                const SigningKey& key, std::int64_t clock,
                                std::optional<std::int64_t> expires_after);

}  // namespace nelo::publish
