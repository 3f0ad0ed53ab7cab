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

}  // namespace
}  // namespace nelo
