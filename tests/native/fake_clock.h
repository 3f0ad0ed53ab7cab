// A virtual clock: sleeping moves time forward at once.
#pragma once

#include <chrono>

#include "base/clock.h"

namespace nelo::testing_support {

class FakeClock final : public Clock {
 public:
  time_point now() override { return now_; }
  void sleep_for(std::chrono::milliseconds duration) override {
    now_ += duration;
    slept_ += duration;
    ++sleeps_;
  }
  void advance(std::chrono::milliseconds duration) { now_ += duration; }

  std::chrono::milliseconds slept() const { return slept_; }
  int sleeps() const { return sleeps_; }

 private:
  time_point now_ = time_point{} + std::chrono::hours(1);
  std::chrono::milliseconds slept_{0};
  int sleeps_ = 0;
};

}  // namespace nelo::testing_support
