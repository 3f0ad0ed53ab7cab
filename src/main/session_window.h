// What the update session shows in the launcher window: its download progress as a phase, and a
// failure that ends the run.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "install/download_progress.h"
#include "ui/launcher_ui.h"

namespace nelo {

// Shows `Failed` (nothing installed to open) and waits until 8 s have passed since, polling the
// user's choice every 100 ms and stopping at the first one; then asks the window to close.
void show_error_and_wait(LauncherUi& ui, std::string_view title, std::string_view message,
                         Clock& clock);

// What the progress sink of a staging needs to turn DownloadProgress into a phase.
struct ProgressContext {
  std::shared_ptr<LauncherUi> ui;
  Clock* clock = nullptr;      // time of the speed figure
  Clock::time_point started;   // when the staging began
  bool has_installed = false;  // Updating when true, else Installing
  std::string new_version;
  std::string label;
};

// Installing with the average speed since `started` (elapsed time at least 0.1 s), or Updating.
void publish_progress(const ProgressContext& context, const DownloadProgress& progress);

}  // namespace nelo
