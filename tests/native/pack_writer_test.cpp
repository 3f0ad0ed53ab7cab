#include "nelo_publish/pack_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "release/sha256.h"

namespace nelo::publish {
namespace {

// `count` objects of `zsize` bytes each, with digests of their own (seeded by `seed`).
std::vector<PackCandidate> objects(std::size_t count, std::uint64_t zsize, int seed = 0) {
  std::vector<PackCandidate> list;
  for (std::size_t i = 0; i < count; ++i) {
    list.push_back({sha256_hex(std::to_string(seed) + "/" + std::to_string(i)), zsize});
  }
  return list;
}

std::uint64_t bytes_of(const std::vector<PackCandidate>& pack) {
  std::uint64_t bytes = 0;
  for (const PackCandidate& member : pack) {
    bytes += member.zsize;
  }
  return bytes;
}

std::vector<std::string> digests_of(const std::vector<std::vector<PackCandidate>>& packs) {
  std::vector<std::string> digests;
  for (const auto& pack : packs) {
    for (const PackCandidate& member : pack) {
      digests.push_back(member.sha256);
    }
  }
  return digests;
}

TEST(PackGroupingTest, PacksAreBoundedAndKeepTheOrderOfTheSmallObjectsOnly) {
  const struct {
    const char* name;
    std::vector<PackCandidate> objects;
  } cases[] = {
      {"many small files", objects(3000, 3300)},
      {"members near the bound", objects(40, kPackMemberBytes - 1)},
      {"mixed",
       [] {
         std::vector<PackCandidate> list = objects(500, 20000, 1);
         for (std::size_t i = 0; i < list.size(); i += 7) {
           list[i].zsize = i % 2 ? kPackMemberBytes : 0;  // alone, or nothing to pack
         }
         return list;
       }()},
  };
  for (const auto& c : cases) {
    const auto packs = group_pack_members(c.objects);
    std::vector<std::string> expected;
    for (const PackCandidate& object : c.objects) {
      if (object.zsize > 0 && object.zsize < kPackMemberBytes) {
        expected.push_back(object.sha256);
      }
    }
    EXPECT_EQ(digests_of(packs), expected) << c.name;
    for (std::size_t i = 0; i < packs.size(); ++i) {
      EXPECT_LE(bytes_of(packs[i]), kMostPackBytes) << c.name;
      if (i + 1 < packs.size()) {
        EXPECT_GE(bytes_of(packs[i]) + kPackMemberBytes, kLeastPackBytes) << c.name;
      }
    }
  }
  EXPECT_TRUE(group_pack_members({}).empty());
}

TEST(PackGroupingTest, AnObjectListedTwiceIsPackedOnce) {
  std::vector<PackCandidate> list = objects(10, 100);
  list.push_back(list[3]);
  EXPECT_EQ(digests_of(group_pack_members(list)).size(), 10u);
}

// Where packs end depends on the members, not on their positions: a release that changes a few
// files keeps the other packs as they were, and the server and the caches keep them.
TEST(PackGroupingTest, AChangedFileChangesOnlyThePacksAroundIt) {
  const std::vector<PackCandidate> before = objects(20000, 3300);
  const auto old_packs = group_pack_members(before);
  ASSERT_GE(old_packs.size(), 10u);
  std::set<std::vector<std::string>> old_sets;
  for (const auto& pack : old_packs) {
    old_sets.insert(digests_of({pack}));
  }
  struct Change {
    const char* name;
    std::vector<PackCandidate> after;
  };
  std::vector<Change> changes;
  changes.push_back({"one file changed", before});
  changes.back().after[10000].sha256 = sha256_hex("changed");
  changes.push_back({"one file added", before});
  changes.back().after.insert(changes.back().after.begin() + 5000, {sha256_hex("new"), 3300});
  changes.push_back({"one file removed", before});
  changes.back().after.erase(changes.back().after.begin() + 15000);
  for (const Change& change : changes) {
    const auto new_packs = group_pack_members(change.after);
    std::size_t fresh = 0;
    for (const auto& pack : new_packs) {
      fresh += old_sets.contains(digests_of({pack})) ? 0 : 1;
    }
    EXPECT_LE(fresh, 2u) << change.name << ": of " << new_packs.size();
  }
}

}  // namespace
}  // namespace nelo::publish
