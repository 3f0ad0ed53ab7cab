#include "ui/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace nelo {
namespace {

TEST(NumberTextTest, Megabytes) {
  struct Case {
    std::uint64_t bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0,0"},
      {3'400'000, "3,4"},
      {3'449'999, "3,4"},
      {950'000, "0,9"},  // 0.95 is just below in binary: either neighbour is a nearest rounding
      {1'260'000, "1,3"},
      {9'940'000, "9,9"},
      {9'999'999, "10,0"},  // below 10 before rounding: one decimal place
      {10'000'000, "10"},
      {10'499'999, "10"},
      {85'000'000, "85"},
      {84'600'000, "85"},
      {1'234'567'890, "1235"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(megabytes_text(c.bytes), c.text) << c.bytes;
  }
}

TEST(NumberTextTest, SpeedAlwaysHasOneDecimal) {
  struct Case {
    double bytes_per_second;
    const char* text;
  };
  const Case cases[] = {
      {1'200'000, "1,2"}, {12'000'000, "12,0"},   {260'000, "0,3"},
      {40'000, "0,0"},    {123'456'789, "123,5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(speed_text(c.bytes_per_second), c.text) << c.bytes_per_second;
  }
}

TEST(NumberTextTest, NumbersLongerThanAnyBufferAreWhole) {
  // 1e64 bytes a second is about 1e58 MB/s: 59 digits, a comma and one decimal, past the 64
  // characters a fixed buffer would hold; 1e300 goes far further.
  for (const double speed : {1e64, 1e80, 1e300}) {
    const std::string text = speed_text(speed);
    EXPECT_EQ(text.size(), std::to_string(speed / 1e6).find('.') + 2) << text;
    EXPECT_TRUE(text.ends_with(",0")) << text;
    EXPECT_EQ(text.find_first_not_of("0123456789"), text.size() - 2) << text;
  }
  EXPECT_EQ(megabytes_text(~std::uint64_t{0}), "18446744073710");
}

TEST(NumberTextTest, Fraction) {
  EXPECT_EQ(progress_fraction(0, 0), 0.0f);
  EXPECT_EQ(progress_fraction(5, 0), 0.0f);
  EXPECT_EQ(progress_fraction(1, 4), 0.25f);
  EXPECT_EQ(progress_fraction(6, 4), 1.5f);
}

TEST(NumberTextTest, PercentTruncatesAndSaturates) {
  struct Case {
    float fraction;
    const char* text;
  };
  const Case cases[] = {
      {0.0f, "0%"},           {0.004f, "0%"},
      {0.2999f, "29%"},  // truncated, not rounded
      {0.5f, "50%"},          {1.0f, "100%"},
      {1.5f, "150%"},  // more bytes than announced read above 100
      {-0.5f, "0%"},          {std::numeric_limits<float>::quiet_NaN(), "0%"},
      {1e12f, "4294967295%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(percent_text(c.fraction), c.text) << c.fraction;
  }
  EXPECT_EQ(percent_text(progress_fraction(3'400'000, 85'000'000)), "4%");
  EXPECT_EQ(percent_text(progress_fraction(29, 100)), "29%");
}

}  // namespace
}  // namespace nelo
