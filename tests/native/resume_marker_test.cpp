#include "install/resume_marker.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

TEST(ResumeMarkerTest, FreshForLessThanFiveMinutes) {
  constexpr std::int64_t kSecond = 10'000'000;
  const std::int64_t now = 133'000'000'000'000'000;
  struct Case {
    std::int64_t age;
    bool fresh;
  };
  const Case cases[] = {{0, true},
                        {10 * kSecond, true},
                        {60 * kSecond, true},
                        {300 * kSecond - 1, true},
                        {300 * kSecond, false},
                        {301 * kSecond, false},
                        {-1, false},  // written in the future
                        {-60 * kSecond, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(is_resume_fresh(now - c.age, now), c.fresh) << c.age;
  }
}

}  // namespace
}  // namespace nelo
