// Which byte ranges of which packs a staging asks for: runs of the members it needs, joined
// across gaps cheaper than a round trip, cut so that the transfers in flight stay busy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "release/pack.h"

namespace nelo {

// Two runs of needed members are fetched as one when the bytes between them are at most this
// many: at 50 ms of round trip, 64 KiB is what a link of 10 Mbit/s carries in one, so fetching
// the gap costs less than asking again on any link slower than that.
constexpr std::uint64_t kJoinGapBytes = std::uint64_t{64} << 10;

// A request asks for at most this many bytes of a pack: a failure costs at most this much
// again, and no one answer holds the others back for long.
constexpr std::uint64_t kMostPackRangeBytes = std::uint64_t{4} << 20;

// Runs are cut, between members, into requests of about the needed bytes shared out over the
// transfers in flight, but never below this: below it the round trip costs more than the bytes.
constexpr std::uint64_t kLeastPackRangeBytes = std::uint64_t{256} << 10;

// One range request of a pack, and the members it brings, in order.
struct PackRange {
  const ReleasePack* pack = nullptr;
  std::uint64_t offset = 0;  // the first member's offset
  std::uint64_t length = 0;  // to the end of the last member
  std::vector<const PackMember*> members;
};

struct PackPlan {
  std::vector<PackRange> ranges;
  std::vector<std::string> alone;  // needed objects no pack holds: fetched one by one
};

// Plans the fetching of `needed` (object digests) from `packs`, where `zsize` gives each
// object's length. An object held by several packs comes from the first; one a pack lists
// without a known length is fetched alone. `transfers` is how many requests run at once.
PackPlan plan_pack_ranges(const std::vector<ReleasePack>& packs,
                          const std::unordered_map<std::string, std::uint64_t>& zsize,
                          const std::unordered_set<std::string>& needed, std::size_t transfers);

}  // namespace nelo
