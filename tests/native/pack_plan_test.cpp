#include "install/pack_plan.h"

#include <gtest/gtest.h>

#include <string>

namespace nelo {
namespace {

std::string digest(int n) {
  return std::string(63, '0') + static_cast<char>('a' + n);
}

// A pack of `sizes.size()` members laid end to end, member i of digest(i + first).
struct Packs {
  std::vector<ReleasePack> packs;
  std::unordered_map<std::string, std::uint64_t> zsize;

  void add(const std::string& name, const std::vector<std::uint64_t>& sizes, int first = 0) {
    ReleasePack pack;
    pack.name = name;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      const std::string sha256 = digest(first + static_cast<int>(i));
      pack.members.push_back({sha256, pack.size});
      zsize[sha256] = sizes[i];
      pack.size += sizes[i];
    }
    packs.push_back(std::move(pack));
  }
};

// Each range as "name offset+length: members".
std::vector<std::string> shown(const PackPlan& plan) {
  std::vector<std::string> lines;
  for (const PackRange& range : plan.ranges) {
    std::string line = range.pack->name + " " + std::to_string(range.offset) + "+" +
                       std::to_string(range.length) + ":";
    for (const PackMember* member : range.members) {
      line += " " + std::string(1, member->sha256.back());
    }
    lines.push_back(line);
  }
  return lines;
}

constexpr std::uint64_t kKiB = 1024;

TEST(PackPlanTest, RunsOfNeededMembersJoinAcrossCheapGapsOnly) {
  Packs packs;
  // a b c d e: 100 KiB each but c, which is as large as the gap bound allows, and e, larger.
  packs.add("p",
            {100 * kKiB, 100 * kKiB, kJoinGapBytes, 100 * kKiB, kJoinGapBytes + 1, 100 * kKiB});
  const struct {
    const char* name;
    std::unordered_set<std::string> needed;
    std::vector<std::string> ranges;
  } cases[] = {
      {"one member", {digest(0)}, {"p 0+102400: a"}},
      {"neighbours in one", {digest(0), digest(1)}, {"p 0+204800: a b"}},
      {"a gap of the bound joins",
       {digest(1), digest(3)},
       {"p 102400+" + std::to_string(200 * kKiB + kJoinGapBytes) + ": b d"}},
      {"a larger gap does not",
       {digest(3), digest(5)},
       {"p " + std::to_string(200 * kKiB + kJoinGapBytes) + "+102400: d",
        "p " + std::to_string(364 * kKiB + kJoinGapBytes + 1) + "+102400: f"}},
      {"nothing needed", {}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shown(plan_pack_ranges(packs.packs, packs.zsize, c.needed, 1)), c.ranges) << c.name;
  }
}

TEST(PackPlanTest, LongRunsAreCutSoThatEveryTransferHasWork) {
  Packs packs;
  packs.add("p", std::vector<std::uint64_t>(64, 64 * kKiB));  // 4 MiB in 64 members
  std::unordered_set<std::string> all;
  for (int i = 0; i < 64; ++i) {
    all.insert(digest(i));
  }
  struct Case {
    std::size_t transfers;
    std::size_t ranges;
  };
  for (const Case c : {Case{1, 1}, Case{2, 2}, Case{8, 8}, Case{64, 16}}) {
    const PackPlan plan = plan_pack_ranges(packs.packs, packs.zsize, all, c.transfers);
    EXPECT_EQ(plan.ranges.size(), c.ranges) << c.transfers << " in flight";
    std::size_t members = 0;
    std::uint64_t expected_offset = 0;
    for (const PackRange& range : plan.ranges) {
      EXPECT_EQ(range.offset, expected_offset) << "cut between members, nothing left out";
      EXPECT_LE(range.length, std::max(kLeastPackRangeBytes, 4 * 1024 * kKiB / c.transfers));
      expected_offset = range.offset + range.length;
      members += range.members.size();
    }
    EXPECT_EQ(members, 64u);
  }
  // Never more than the largest request, however few transfers.
  Packs large;
  large.add("q", std::vector<std::uint64_t>(40, 512 * kKiB));  // 20 MiB
  std::unordered_set<std::string> every;
  for (int i = 0; i < 40; ++i) {
    every.insert(digest(i));
  }
  for (const PackRange& range : plan_pack_ranges(large.packs, large.zsize, every, 1).ranges) {
    EXPECT_LE(range.length, kMostPackRangeBytes);
  }
}

TEST(PackPlanTest, WhatNoPackHoldsIsFetchedAloneAndNothingTwice) {
  Packs packs;
  packs.add("p", {10, 10, 10});  // a b c
  packs.add("q", {10, 10}, 1);   // b c again
  packs.add("r", {10}, 3);       // d
  packs.zsize.erase(digest(3));  // a member of no known length
  const PackPlan plan =
      plan_pack_ranges(packs.packs, packs.zsize, {digest(1), digest(2), digest(3), digest(7)}, 4);
  EXPECT_EQ(shown(plan), std::vector<std::string>{"p 10+20: b c"}) << "the first pack serves";
  EXPECT_EQ(plan.alone, (std::vector<std::string>{digest(3), digest(7)}));
}

}  // namespace
}  // namespace nelo
