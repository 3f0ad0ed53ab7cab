#include "ui/launcher_ui.h"

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
