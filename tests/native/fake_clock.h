// A virtual clock: sleeping moves time forward at once, then runs `on_sleep` (when set) with the
// time slept so far, so that a test can act while the code under test waits.
#pragma once

#include <chrono>
#include <functional>

#include "base/clock.h"

namespace nelo::testing_support {

class FakeClock final : public Clock {
 public:
  time_point now() override { return now_; }
  void sleep_for(std::chrono::milliseconds duration) override {
    now_ += duration;
    slept_ += duration;
    ++sleeps_;
    if (on_sleep) {
      on_sleep(slept_);
    }
  }
  void advance(std::chrono::milliseconds duration) { now_ += duration; }

  std::chrono::milliseconds slept() const { return slept_; }
  int sleeps() const { return sleeps_; }

  std::function<void(std::chrono::milliseconds slept)> on_sleep;

 private:
  time_point now_ = time_point{} + std::chrono::hours(1);
  std::chrono::milliseconds slept_{0};
  int sleeps_ = 0;
};

}  // namespace nelo::testing_support
