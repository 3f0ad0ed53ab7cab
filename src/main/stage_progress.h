// The stage mode's "progress D T" lines: the first at once, then after a received block
// whenever at least 250 ms have passed since the last line.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "install/download_progress.h"

namespace nelo {

constexpr std::chrono::milliseconds kProgressLineInterval{250};

class StageProgressPrinter {
 public:
  using LineWriter = std::function<void(std::string_view line)>;

  StageProgressPrinter(Clock& clock, LineWriter write) : clock_(clock), write_(std::move(write)) {}

  void operator()(const DownloadProgress& progress);

 private:
  Clock& clock_;
  LineWriter write_;
  std::optional<Clock::time_point> last_line_;
};

}  // namespace nelo
