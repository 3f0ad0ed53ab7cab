#include "base/clock.h"

#include <thread>

namespace nelo {

Clock::time_point SteadyClock::now() {
  return std::chrono::steady_clock::now();
}

void SteadyClock::sleep_for(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

}  // namespace nelo
