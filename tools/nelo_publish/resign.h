// Renewing the signature of the manifest already published, without touching anything else: a
// scheduled job keeps a signature with an expiry from running out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "base/result.h"
#include "nelo_publish/manifest_signing.h"

namespace nelo::publish {

struct ResignReport {
  std::int64_t signed_at = 0;
  std::optional<std::int64_t> expires_at;
  bool clock_behind = false;  // the clock was behind the signature served before
};

// Signs ROOT/app/manifest.json anew with `key` at `clock` (never earlier than one second after
// the signature served now), good for `expires_after` seconds when given, and replaces the
// served signature by one rename. The manifest must be there and be one the launcher accepts.
Result<ResignReport> resign_manifest(const std::filesystem::path& root, const SigningKey& key,
                                     std::int64_t clock, std::optional<std::int64_t> expires_after);

}  // namespace nelo::publish
