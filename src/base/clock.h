// The program's one notion of time for everything that waits: a monotonic clock that can sleep.
// Tests hand in a virtual clock so that waits of seconds run in no time.
#pragma once

#include <chrono>

namespace nelo {

class Clock {
 public:
  using time_point = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;
  virtual time_point now() = 0;
  virtual void sleep_for(std::chrono::milliseconds duration) = 0;
};

// The real monotonic clock and a real sleep.
class SteadyClock final : public Clock {
 public:
  time_point now() override;
  void sleep_for(std::chrono::milliseconds duration) override;
};

}  // namespace nelo
