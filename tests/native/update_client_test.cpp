#include "net/update_client.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

TEST(BodySizeLimitTest, AQuarterOfMemoryButNeverLessThan256MiB) {
  EXPECT_EQ(body_size_limit(0), 256ull << 20) << "memory unknown";
  EXPECT_EQ(body_size_limit(512ull << 20), 256ull << 20);
  EXPECT_EQ(body_size_limit(24ull << 30), 6ull << 30);
  EXPECT_EQ(body_size_limit(~0ull), ~0ull / 4);
}

TEST(BodySizeLimitTest, AnExpectedSizeThatMemoryCouldHoldIsAlwaysAdmitted) {
  struct Case {
    std::uint64_t memory;
    std::uint64_t expected;
    std::uint64_t limit;
  };
  const Case cases[] = {
      {4ull << 30, 1536ull << 20, 1536ull << 20},  // 1.5 GiB file, 4 GiB machine: above a quarter
      {4ull << 30, 4ull << 30, 4ull << 30},        // all of memory: still worth a try
      {4ull << 30, (4ull << 30) + 1, 1ull << 30},  // more than memory: the hint is absurd
      {4ull << 30, 100, 1ull << 30},               // small files keep the usual bound
      {0, 8ull << 30, 8ull << 30},                 // memory unknown: the hint decides
      {24ull << 30, ~0ull, 6ull << 30},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(body_size_limit(c.memory, c.expected), c.limit) << c.memory << " " << c.expected;
  }
}

}  // namespace
}  // namespace nelo
