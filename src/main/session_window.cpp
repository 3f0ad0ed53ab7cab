#include "main/session_window.h"

#include <algorithm>
#include <chrono>

namespace nelo {

void show_error_and_wait(LauncherUi& ui, std::string_view title, std::string_view message,
                         Clock& clock) {
  using namespace std::chrono_literals;
  set_phase(ui, Failed{std::string(message), std::string(title), false});
  const Clock::time_point deadline = clock.now() + 8s;
  while (clock.now() < deadline) {
    if (take_action(ui) != NoAction) {
      break;
    }
    clock.sleep_for(100ms);
  }
  request_close(ui);
}

void publish_progress(const ProgressContext& context, const DownloadProgress& progress) {
  if (context.has_installed) {
    set_phase(*context.ui, Updating{context.new_version, context.label, progress.bytes_done,
                                    progress.bytes_total, progress.file_count});
    return;
  }
  const double elapsed =
      std::chrono::duration<double>(context.clock->now() - context.started).count();
  // The average since the start; never divided by less than a tenth of a second, so the first
  // chunks do not show an absurd figure.
  const double speed = static_cast<double>(progress.bytes_done) / std::max(elapsed, 0.1);
  set_phase(*context.ui, Installing{progress.bytes_done, progress.bytes_total, speed});
}

}  // namespace nelo
