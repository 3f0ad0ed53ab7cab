#include "main/stage_progress.h"

#include <gtest/gtest.h>

#include "tests/native/fake_clock.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;

TEST(StageProgressTest, PrintsAtOnceThenEveryQuarterSecondAtMost) {
  testing_support::FakeClock clock;
  std::vector<std::string> lines;
  StageProgressPrinter printer(clock, [&](std::string_view line) { lines.emplace_back(line); });
  printer({0, 300, 2});
  clock.advance(100ms);
  printer({100, 300, 2});
  clock.advance(149ms);
  printer({150, 300, 2});
  clock.advance(1ms);
  printer({200, 300, 2});
  clock.advance(1000ms);
  printer({400, 300, 2});  // bytes_done may pass the total
  EXPECT_EQ(lines,
            (std::vector<std::string>{"progress 0 300", "progress 200 300", "progress 400 300"}));
}

TEST(StageProgressTest, WritesFullSixtyFourBitNumbers) {
  testing_support::FakeClock clock;
  std::vector<std::string> lines;
  StageProgressPrinter printer(clock, [&](std::string_view line) { lines.emplace_back(line); });
  printer({18446744073709551615ull, 0, 0});
  EXPECT_EQ(lines, std::vector<std::string>{"progress 18446744073709551615 0"});
}

}  // namespace
}  // namespace nelo
