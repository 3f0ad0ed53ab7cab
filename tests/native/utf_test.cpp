#include "base/utf.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

TEST(UtfTest, RoundTripsEveryPlane) {
  const std::string text = "a\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, ç, €, 😀
  const auto wide = utf8_to_utf16(text);
  ASSERT_TRUE(wide);
  EXPECT_EQ(*wide, (std::u16string{u'a', 0xE7, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(utf16_to_utf8(*wide), text);
}

TEST(UtfTest, RefusesInvalidUtf8) {
  for (const std::string& bad : {
           std::string("\x80"),              // lone continuation byte
           std::string("\xC0\xAF"),          // overlong "/"
           std::string("\xE0\x80\xAF"),      // overlong, three bytes
           std::string("\xED\xA0\x80"),      // a surrogate
           std::string("\xF4\x90\x80\x80"),  // above U+10FFFF
           std::string("\xE2\x82"),          // cut short
           std::string("ok\xFF"),
       }) {
    EXPECT_FALSE(is_valid_utf8(bad)) << testing::PrintToString(bad);
    EXPECT_FALSE(utf8_to_utf16(bad)) << testing::PrintToString(bad);
  }
  EXPECT_TRUE(is_valid_utf8(std::string("\0x", 2)));
}

TEST(UtfTest, UnpairedSurrogatesAreReplacedOrRefused) {
  const std::u16string lone_high{u'a', 0xD800, u'b'};
  const std::u16string lone_low{0xDC00};
  const std::u16string reversed{0xDE00, 0xD83D};
  EXPECT_EQ(utf16_to_utf8_lossy(lone_high),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(utf16_to_utf8_lossy(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_FALSE(utf16_to_utf8(lone_high));
  EXPECT_FALSE(utf16_to_utf8(lone_low));
  EXPECT_FALSE(utf16_to_utf8(reversed));
}

}  // namespace
}  // namespace nelo
