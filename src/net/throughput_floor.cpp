#include "net/throughput_floor.h"

namespace nelo {
namespace {

constexpr std::chrono::seconds kSampleSpacing{1};

}  // namespace

ThroughputFloor::ThroughputFloor(Clock::time_point start) {
  samples_.push_back({start, 0});
}

void ThroughputFloor::note(Clock::time_point now, std::uint64_t total) {
  total_ = total;
  if (now - samples_.back().at >= kSampleSpacing) {
    samples_.push_back({now, total});
  }
  // Keep one sample at or before the window's start, and nothing older.
  while (samples_.size() > 1 && samples_[1].at <= now - kFloorWindow) {
    samples_.pop_front();
  }
}

bool ThroughputFloor::stalled(Clock::time_point now) const {
  const Sample& oldest = samples_.front();
  if (now - oldest.at < kFloorWindow) {
    return false;  // no window has passed yet
  }
  // The oldest sample lies at or before the window's start: what came since is at least what
  // came in the window.
  return total_ - oldest.total < kFloorBytes;
}

}  // namespace nelo
