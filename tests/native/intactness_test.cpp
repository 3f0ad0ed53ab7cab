#include "install/intactness.h"

#include <gtest/gtest.h>

#include <map>

namespace nelo {
namespace {

TEST(IntactnessTest, EveryFileMustHaveItsExactSize) {
  ReleaseManifest manifest;
  manifest.files = {{"Nelo.exe", "", 10, 0}, {"a/b.dll", "", 0, 0}, {"c", "", 5, 0}};
  std::map<std::string, std::uint64_t> disk = {{"Nelo.exe", 10}, {"a/b.dll", 0}, {"c", 5}};
  std::vector<std::string> asked;
  const FileSizeProbe probe = [&](std::string_view path) -> std::optional<std::uint64_t> {
    asked.emplace_back(path);
    const auto it = disk.find(std::string(path));
    return it == disk.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
  };
  EXPECT_TRUE(is_version_intact(manifest, probe));

  disk["a/b.dll"] = 1;
  asked.clear();
  EXPECT_FALSE(is_version_intact(manifest, probe));
  EXPECT_EQ(asked, (std::vector<std::string>{"Nelo.exe", "a/b.dll"})) << "stops at the first";

  disk["a/b.dll"] = 0;
  disk.erase("c");
  EXPECT_FALSE(is_version_intact(manifest, probe));
}

}  // namespace
}  // namespace nelo
