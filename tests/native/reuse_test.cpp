#include "install/reuse.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace nelo {
namespace {

TEST(ReuseIndexTest, TheLastExistingEntryOfADigestWins) {
  ReleaseManifest previous;
  const std::string a(64, 'a');
  const std::string b(64, 'b');
  previous.files = {{"one", a, 0, 0}, {"two", a, 0, 0}, {"gone", a, 0, 0}, {"dir\\three", b, 0, 0}};
  const auto index = build_reuse_index("/v/1", previous, [](const std::filesystem::path& p) {
    return p.generic_string() != "/v/1/gone";
  });
  ASSERT_EQ(index.size(), 2u);
  ASSERT_NE(find_reusable(index, a), nullptr);
  EXPECT_EQ(find_reusable(index, a)->generic_string(), "/v/1/two");
  EXPECT_EQ(find_reusable(index, b)->generic_string(), "/v/1/dir/three");
  EXPECT_EQ(find_reusable(index, std::string(64, 'A')), nullptr) << "digests match exactly";
  EXPECT_TRUE(build_reuse_index("/v/1", std::nullopt, [](auto&) { return true; }).empty());
}

TEST(PruneTest, KeepsTheNewAndThePreviousVersionOnly) {
  struct Case {
    std::string name;
    bool pruned;
  };
  const Case with_previous[] = {{"3", false},        {"2", false},  {"1", true},
                                {"3.partial", true}, {"2.0", true}, {"B", true}};
  for (const Case& c : with_previous) {
    EXPECT_EQ(should_prune(c.name, "3", std::string("2")), c.pruned) << c.name;
  }
  EXPECT_TRUE(should_prune("2", "3", std::nullopt));
  EXPECT_FALSE(should_prune("3", "3", std::nullopt));
  EXPECT_TRUE(should_prune("b", "B", std::nullopt)) << "exact bytes, no case folding";
}

TEST(SameFolderNameTest, IgnoresLetterCase) {
  EXPECT_TRUE(same_folder_name("Beta-1.0", "beta-1.0"));
  EXPECT_FALSE(same_folder_name("beta", "beta2"));
  EXPECT_FALSE(same_folder_name("1.0", "1,0"));
}

}  // namespace
}  // namespace nelo
