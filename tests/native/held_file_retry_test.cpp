#include "base/held_file_retry.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/native/fake_clock.h"

namespace nelo {
namespace {

using std::chrono::milliseconds;
using testing_support::FakeClock;

// A call that fails with `code` the first `failures` times, then succeeds.
struct FailingCall {
  std::uint32_t code;
  int failures;
  int calls = 0;
  std::uint32_t operator()() { return calls++ < failures ? code : 0; }
};

struct HoldCase {
  const char* name;
  std::uint32_t code;
  int failures;
  std::uint32_t result;
  int calls;
};

class HeldFileRetryTest : public ::testing::TestWithParam<HoldCase> {};

TEST_P(HeldFileRetryTest, RetriesOnlyBriefHolds) {
  const HoldCase& c = GetParam();
  FakeClock clock;
  FailingCall call{c.code, c.failures};
  HeldFileRetry retry(clock);
  EXPECT_EQ(retry.run(std::ref(call)), c.result);
  EXPECT_EQ(call.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, HeldFileRetryTest,
    ::testing::Values(
        HoldCase{"SucceedsAtOnce", 5, 0, 0, 1}, HoldCase{"AccessDeniedThreeTimes", 5, 3, 0, 4},
        HoldCase{"SharingViolation", 32, 5, 0, 6}, HoldCase{"LockViolation", 33, 2, 0, 3},
        // A scanner that found something keeps the file: never waited for.
        HoldCase{"VirusInfected", 225, 3, 225, 1}, HoldCase{"FileNotFound", 2, 3, 2, 1},
        HoldCase{"AlreadyExists", 183, 1, 183, 1}),
    [](const ::testing::TestParamInfo<HoldCase>& param_info) {
      return std::string(param_info.param.name);
    });

TEST(HeldFileRetryTimeTest, WaitsGrowAndStopAtTheBudget) {
  FakeClock clock;
  std::vector<milliseconds> waits;
  clock.on_sleep = [&, last = milliseconds{0}](milliseconds slept) mutable {
    waits.push_back(slept - last);
    last = slept;
  };
  FailingCall held_for_good{32, 1000000};
  HeldFileRetry retry(clock);
  EXPECT_EQ(retry.run(std::ref(held_for_good)), 32u);
  EXPECT_EQ(clock.slept(), kHeldFileBudget);
  ASSERT_GE(waits.size(), 7u);
  EXPECT_EQ(waits[0], milliseconds{25});
  EXPECT_EQ(waits[1], milliseconds{50});
  for (std::size_t i = 1; i + 1 < waits.size(); ++i) {
    EXPECT_LE(waits[i], milliseconds{1000});
    EXPECT_GE(waits[i], waits[i - 1]);
  }
  // About ten seconds in all: a few quick tries, then one a second.
  EXPECT_LT(held_for_good.calls, 20);
}

TEST(HeldFileRetryTimeTest, CallsShareOneBudget) {
  FakeClock clock;
  HeldFileRetry retry(clock, milliseconds{3000});
  FailingCall first{5, 1000000};
  EXPECT_EQ(retry.run(std::ref(first)), 5u);
  EXPECT_EQ(clock.slept(), milliseconds{3000});
  // The budget is spent: a second held file is tried once, and a free one still succeeds.
  FailingCall second{5, 1000000};
  EXPECT_EQ(retry.run(std::ref(second)), 5u);
  EXPECT_EQ(second.calls, 1);
  FailingCall free_file{5, 0};
  EXPECT_EQ(retry.run(std::ref(free_file)), 0u);
  EXPECT_EQ(clock.slept(), milliseconds{3000});
}

}  // namespace
}  // namespace nelo
