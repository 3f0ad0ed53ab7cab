#include "base/unicode_lower.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace nelo {
namespace {

std::string hex(char32_t code_point) {
  char text[16];
  std::snprintf(text, sizeof(text), "U+%04X", static_cast<unsigned>(code_point));
  return text;
}

struct Mapping {
  char32_t upper;
  char32_t lower;
};

TEST(UnicodeLowerTest, MapsCapitalsOfEveryCasedScript) {
  const Mapping cases[] = {
      {U'A', U'a'},       {U'Z', U'z'},       {0x00C0, 0x00E0},    // À
      {0x00C3, 0x00E3},   {0x00C7, 0x00E7},   {0x00DE, 0x00FE},    // Ã Ç Þ
      {0x0100, 0x0101},   {0x012E, 0x012F},   {0x0178, 0x00FF},    // Ā Į Ÿ
      {0x0181, 0x0253},   {0x01C4, 0x01C6},   {0x01C5, 0x01C6},    // Ɓ Ǆ ǅ
      {0x1E9E, 0x00DF},   {0x2C62, 0x026B},   {0xA7AE, 0x026A},    // ẞ Ɫ Ɪ
      {0x0386, 0x03AC},   {0x0391, 0x03B1},   {0x03A3, 0x03C3},    // Ά Α Σ
      {0x03F4, 0x03B8},   {0x1F08, 0x1F00},   {0x1FFC, 0x1FF3},    // ϴ Ἀ ῼ
      {0x0400, 0x0450},   {0x0401, 0x0451},   {0x0416, 0x0436},    // Ѐ Ё Ж
      {0x042F, 0x044F},   {0x0460, 0x0461},   {0x04C0, 0x04CF},    // Я Ѡ Ӏ
      {0x0531, 0x0561},   {0x10A0, 0x2D00},   {0x1C90, 0x10D0},    // Armenian, Georgian
      {0x13A0, 0xAB70},   {0x13F0, 0x13F8},   {0x2C00, 0x2C30},    // Cherokee, Glagolitic
      {0x2160, 0x2170},   {0x24B6, 0x24D0},   {0xFF21, 0xFF41},    // Ⅰ Ⓐ Ａ
      {0x212A, U'k'},     {0x212B, 0x00E5},   {0x2126, 0x03C9},    // Kelvin, Angstrom, Ohm
      {0x10400, 0x10428}, {0x104B0, 0x104D8}, {0x1E900, 0x1E922},  // Deseret, Osage, Adlam
      {0x118A0, 0x118C0}, {0x16E40, 0x16E60}, {0x10C80, 0x10CC0},  // Warang Citi, Medefaidrin
  };
  for (const Mapping& mapping : cases) {
    EXPECT_EQ(hex(simple_lower_case(mapping.upper)), hex(mapping.lower)) << hex(mapping.upper);
  }
}

TEST(UnicodeLowerTest, LeavesWhatHasNoLowerCaseForm) {
  for (const char32_t unchanged : {
           U'a',
           U'0',
           U'\\',
           U':',
           U'.',
           char32_t{0x00D7},  // × lies between two runs of capitals
           char32_t{0x00DF},  // ß is lower case
           char32_t{0x0101},  // ā sits between capitals in a run of every other code point
           char32_t{0x0131},  // dotless ı
           char32_t{0x03C2},  // final ς
           char32_t{0x0436},  // ж
           char32_t{0x4E2D},  // 中
           char32_t{0xFFFD},
           char32_t{0x10428},
           char32_t{0x10FFFF},
       }) {
    EXPECT_EQ(hex(simple_lower_case(unchanged)), hex(unchanged));
  }
}

TEST(UnicodeLowerTest, EveryMappingLandsOnALowerCaseForm) {
  // Lower-casing twice must change nothing: a wrong offset in the table shows up as a result
  // that is itself a capital, a surrogate or out of range.
  for (char32_t code_point = 0; code_point <= 0x10FFFF; ++code_point) {
    const char32_t lowered = simple_lower_case(code_point);
    ASSERT_EQ(hex(simple_lower_case(lowered)), hex(lowered)) << hex(code_point);
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    ASSERT_EQ(lowered >= 0xD800 && lowered <= 0xDFFF, surrogate) << hex(code_point);
    ASSERT_LE(lowered, char32_t{0x10FFFF}) << hex(code_point);
  }
}

TEST(UnicodeLowerTest, LowerCasesUtf16TextWithSurrogatePairs) {
  const std::u16string text = u"C:\\Users\\JOÃO\\Ж\\\U00010400x";
  EXPECT_EQ(lower_case(text), U"c:\\users\\joão\\ж\\\U00010428x");
}

TEST(UnicodeLowerTest, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::u16string text{u'A', 0xD800, u'B', 0xDC00, 0xDE00, 0xD83D};
  EXPECT_EQ(lower_case(text), (std::u32string{U'a', 0xFFFD, U'b', 0xFFFD, 0xFFFD, 0xFFFD}));
}

TEST(UnicodeLowerTest, CapitalIWithDotTakesItsFullMapping) {
  EXPECT_EQ(lower_case(u"İSTANBUL"),
            (std::u32string{U'i', 0x0307, U's', U't', U'a', U'n', U'b', U'u', U'l'}));
}

TEST(UnicodeLowerTest, SigmaLowerCasesAlikeWhereverItStands) {
  // No final-sigma rule: the end of a prefix lower-cases as the same letter inside a longer text.
  EXPECT_EQ(lower_case(u"ΟΔΟΣ"), U"οδοσ");
  EXPECT_EQ(lower_case(u"ΟΔΟΣΑ"), U"οδοσα");
}

}  // namespace
}  // namespace nelo
