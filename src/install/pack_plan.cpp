#include "install/pack_plan.h"

#include <algorithm>

namespace nelo {
namespace {

// A run of needed members of one pack, one after another in it.
struct Run {
  const ReleasePack* pack = nullptr;
  std::vector<const PackMember*> members;
};

std::uint64_t end_of(const PackMember& member,
                     const std::unordered_map<std::string, std::uint64_t>& zsize) {
  return member.offset + zsize.at(member.sha256);
}

}  // namespace

PackPlan plan_pack_ranges(const std::vector<ReleasePack>& packs,
                          const std::unordered_map<std::string, std::uint64_t>& zsize,
                          const std::unordered_set<std::string>& needed, std::size_t transfers) {
  PackPlan plan;
  std::unordered_set<std::string> planned;
  std::vector<Run> runs;
  std::uint64_t needed_bytes = 0;
  for (const ReleasePack& pack : packs) {
    std::vector<const PackMember*> members;
    for (const PackMember& member : pack.members) {
      if (needed.contains(member.sha256) && zsize.contains(member.sha256) &&
          planned.insert(member.sha256).second) {
        members.push_back(&member);
        needed_bytes += zsize.at(member.sha256);
      }
    }
    std::sort(members.begin(), members.end(),
              [](const PackMember* a, const PackMember* b) { return a->offset < b->offset; });
    for (const PackMember* member : members) {
      const bool joins =
          !runs.empty() && runs.back().pack == &pack &&
          member->offset <= end_of(*runs.back().members.back(), zsize) + kJoinGapBytes;
      if (!joins) {
        runs.push_back({&pack, {}});
      }
      runs.back().members.push_back(member);
    }
  }
  for (const std::string& sha256 : needed) {
    if (!planned.contains(sha256)) {
      plan.alone.push_back(sha256);
    }
  }
  std::sort(plan.alone.begin(), plan.alone.end());

  // Requests of about an equal share of the bytes each, so that every transfer has one.
  const std::uint64_t share = needed_bytes / std::max<std::size_t>(transfers, 1);
  const std::uint64_t target = std::clamp(share, kLeastPackRangeBytes, kMostPackRangeBytes);
  for (const Run& run : runs) {
    PackRange range;
    for (const PackMember* member : run.members) {
      const std::uint64_t end = end_of(*member, zsize);
      // A range that holds its share already ends; so does one this member would make too
      // long. A run joined across a gap is never cut for the gap's sake alone.
      if (!range.members.empty() &&
          (range.length >= target || end - range.offset > kMostPackRangeBytes)) {
        plan.ranges.push_back(std::move(range));
        range = PackRange();
      }
      if (range.members.empty()) {
        range.pack = run.pack;
        range.offset = member->offset;
      }
      range.members.push_back(member);
      range.length = end - range.offset;
    }
    if (!range.members.empty()) {
      plan.ranges.push_back(std::move(range));
    }
  }
  return plan;
}

}  // namespace nelo
