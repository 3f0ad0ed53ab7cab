#include "main/stage_progress.h"

namespace nelo {

void StageProgressPrinter::operator()(const DownloadProgress& progress) {
  const Clock::time_point now = clock_.now();
  if (last_line_ && now - *last_line_ < kProgressLineInterval) {
    return;
  }
  last_line_ = now;
  write_("progress " + std::to_string(progress.bytes_done) + " " +
         std::to_string(progress.bytes_total));
}

}  // namespace nelo
