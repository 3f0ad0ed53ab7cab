#include "ui/embedded_font.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace nelo {
namespace {

TEST(EmbeddedFontTest, CarriesTheWholeFile) {
  const auto font = embedded_font();
  ASSERT_EQ(font.size(), kEmbeddedFontSize);
  std::ifstream file(NELO_FONT_FILE, std::ios::binary);
  const std::vector<char> expected{std::istreambuf_iterator<char>(file), {}};
  ASSERT_EQ(expected.size(), kEmbeddedFontSize);
  EXPECT_EQ(std::memcmp(font.data(), expected.data(), expected.size()), 0);
  // A TrueType file starts with the sfnt version 1.0.
  EXPECT_EQ(std::to_integer<int>(font[0]), 0);
  EXPECT_EQ(std::to_integer<int>(font[1]), 1);
}

}  // namespace
}  // namespace nelo
