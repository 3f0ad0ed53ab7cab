// The least a body must bring to be worth waiting for: a transfer that receives less than
// `kFloorBytes` in any window of `kFloorWindow` has stalled, however often a byte trickles in
// (a read time-out alone never ends a body that sends one byte every few seconds).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

#include "base/clock.h"

namespace nelo {

constexpr std::uint64_t kFloorBytes = 1024;
constexpr std::chrono::seconds kFloorWindow{60};

class ThroughputFloor {
 public:
  // Counts from `start`, the moment the body began.
  explicit ThroughputFloor(Clock::time_point start);

  // Notes that `total` bytes of the body have arrived by `now`.
  void note(Clock::time_point now, std::uint64_t total);

  // True when less than `kFloorBytes` arrived during the last `kFloorWindow` before `now`
  // (a body younger than the window has not stalled yet).
  bool stalled(Clock::time_point now) const;

 private:
  struct Sample {
    Clock::time_point at;
    std::uint64_t total = 0;
  };
  // One sample a second at most, the oldest at or before the window's start: the window is
  // measured to within a second, in a few dozen samples whatever the rate.
  std::deque<Sample> samples_;
  std::uint64_t total_ = 0;
};

}  // namespace nelo
