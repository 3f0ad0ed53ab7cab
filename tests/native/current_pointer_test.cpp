#include "install/current_pointer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace nelo {
namespace {

struct PointerCase {
  std::string bytes;
  std::optional<std::string> label;
};

class CurrentPointerTest : public testing::TestWithParam<PointerCase> {};

TEST_P(CurrentPointerTest, ReadsTheLabel) {
  EXPECT_EQ(parse_current_pointer(GetParam().bytes), GetParam().label)
      << testing::PrintToString(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Pointers, CurrentPointerTest,
    testing::Values(PointerCase{"1.2.3", "1.2.3"}, PointerCase{"1.2.3\r\n", "1.2.3"},
                    PointerCase{"  1.2.3\t ", "1.2.3"}, PointerCase{"", std::nullopt},
                    PointerCase{"   ", std::nullopt}, PointerCase{"\r\n", std::nullopt},
                    PointerCase{"1.2 beta", "1.2 beta"}, PointerCase{"versão ção", "versão ção"},
                    // Unicode white space at the ends: NBSP, NEL, ideographic space, U+2029.
                    PointerCase{"\xC2\xA0"
                                "2.0\xE3\x80\x80",
                                "2.0"},
                    PointerCase{"\xC2\x85"
                                "2.0\xE2\x80\xA9",
                                "2.0"},
                    // Zero-width space is not white space.
                    PointerCase{"\xE2\x80\x8B"
                                "2.0",
                                "\xE2\x80\x8B"
                                "2.0"},
                    PointerCase{"1.0\xFF", std::nullopt},
                    PointerCase{"\xEF\xBB\xBF"
                                "1.0",
                                "\xEF\xBB\xBF"
                                "1.0"},
                    // Labels that are no plain folder name could reach outside "versions".
                    PointerCase{"..", std::nullopt}, PointerCase{"..\\..\\x", std::nullopt},
                    PointerCase{"a/b", std::nullopt}, PointerCase{"1.0.", std::nullopt},
                    PointerCase{"NUL", std::nullopt}));

TEST(StripWhiteSpaceTest, KeepsInnerSpace) {
  EXPECT_EQ(strip_unicode_white_space(" \x0B\x0C a b \xE2\x80\x8A"), "a b");
  EXPECT_EQ(strip_unicode_white_space("\xE1\x9A\x80"), "");
}

}  // namespace
}  // namespace nelo
