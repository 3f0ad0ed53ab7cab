#include "ui/launcher_ui.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace nelo {

void set_phase(LauncherUi& ui, Phase phase) {
  Phase previous;
  {
    std::lock_guard lock(ui.mutex);
    previous = std::exchange(ui.phase, std::move(phase));
  }
  // `previous` and its strings go after the lock is released.
}

void set_version_text(LauncherUi& ui, std::string_view text) {
  std::string copy(text);
  std::lock_guard lock(ui.mutex);
  ui.version_text.swap(copy);
}

std::uint8_t take_action(LauncherUi& ui) {
  std::lock_guard lock(ui.mutex);
  if (ui.window_closed) {
    return Quit;
  }
  return std::exchange(ui.action, static_cast<std::uint8_t>(NoAction));
}

void request_close(LauncherUi& ui) {
  std::lock_guard lock(ui.mutex);
  ui.close_requested = true;
}

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
  if (!context.ui) {
    return;
  }
  if (context.has_installed) {
    set_phase(*context.ui, Updating{context.new_version, context.label, progress.bytes_done,
                                    progress.bytes_total, progress.file_count});
    return;
  }
  const Clock::time_point now =
      context.clock != nullptr ? context.clock->now() : std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(now - context.started).count();
  // The average since the start; never divided by less than a tenth of a second, so the first
  // chunks do not show an absurd figure.
  const double speed = static_cast<double>(progress.bytes_done) / std::max(elapsed, 0.1);
  set_phase(*context.ui, Installing{progress.bytes_done, progress.bytes_total, speed});
}

ProgressSink progress_sink(ProgressContext context) {
  return [context = std::move(context)](const DownloadProgress& progress) {
    publish_progress(context, progress);
  };
}

UiSnapshot take_snapshot(LauncherUi& ui) {
  std::lock_guard lock(ui.mutex);
  return UiSnapshot{ui.version_text, ui.phase, ui.close_requested};
}

void store_action(LauncherUi& ui, std::uint8_t action) {
  std::lock_guard lock(ui.mutex);
  ui.action = action;
}

void mark_window_closed(LauncherUi& ui) {
  std::lock_guard lock(ui.mutex);
  ui.window_closed = true;
}

}  // namespace nelo
