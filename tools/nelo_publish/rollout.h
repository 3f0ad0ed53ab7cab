// Changing the share of installations the published release is for: raising a staged rollout,
// ending it (100) or halting it (0), with nothing else of the release touched.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "base/result.h"
#include "nelo_publish/manifest_signing.h"

namespace nelo::publish {

struct RolloutChange {
  std::uint64_t share = 100;      // 0 to 100; 100 removes the field: the release is for everybody
  std::optional<SigningKey> key;  // required when the served manifest is signed
  std::int64_t clock = 0;         // seconds since 1970, for the signature
  std::optional<std::int64_t> expires_after;
};

struct RolloutReport {
  std::string version;
  std::optional<std::uint64_t> was;  // the share before; none: all installations
  std::optional<std::int64_t> signed_at;
  std::optional<std::int64_t> expires_at;
  bool clock_behind = false;
};

// Rewrites ROOT/app/manifest.json with the new share (the files, their order and every other
// field as they were), signs it anew when a key is given (never earlier than one second after
// the signature served now), and puts the pair in place together; the publisher's copy of the
// release follows. Refuses a signed manifest without a key: the old signature would not match.
Result<RolloutReport> change_rollout(const std::filesystem::path& root,
                                     const RolloutChange& change);

}  // namespace nelo::publish
