// Checking a deployment as the launchers will see it: the manifest (and its signature, with
// keys) as the launcher reads it, then every object and patch it lists fetched and decoded,
// and from a URL the server's headers held to what the deploy guide asks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "release/release_signature.h"
#include "nelo_publish/release_source.h"

namespace nelo::publish {

struct VerifyOptions {
  std::vector<ReleaseKey> keys;  // none: the signature is not looked at
  std::int64_t now = 0;          // seconds since 1970, for the signature's expiry
  std::size_t transfers = 8;     // requests in flight
};

struct VerifyProgress {
  std::size_t done = 0;  // objects, patches and packs checked
  std::size_t total = 0;
  std::uint64_t bytes = 0;  // fetched so far
};

struct VerifyReport {
  std::string version;                     // empty when no manifest could be read
  std::optional<std::uint64_t> rollout;    // the release's share, when it has one
  std::optional<SignedRelease> signature;  // when keys were given and it verified
  std::size_t objects = 0;                 // distinct objects checked
  std::size_t patches = 0;                 // patches checked
  std::size_t packs = 0;                   // packs checked, member by member
  std::size_t patches_by_size_only = 0;    // their older content is not served (or too large)
  std::uint64_t bytes = 0;                 // bytes fetched
  std::vector<std::string> faults;         // what breaks launchers
  std::vector<std::string> warnings;       // departures from the deploy guide
};

// Checks the deployment `source` serves. Every finding goes into the report; `progress` is
// called (from several threads, one at a time) after each object or patch.
VerifyReport verify_deployment(ReleaseSource& source, const VerifyOptions& options,
                               const std::function<void(const VerifyProgress&)>& progress = {});

// The files `verify` fetches for a patch's check in memory at most: larger ones are checked by
// their size only.
constexpr std::uint64_t kMostPatchCheckBytes = std::uint64_t{256} << 20;

}  // namespace nelo::publish
