// The last step of a normal run: starting the chosen version of the application and keeping the
// launcher's window up until the application's own main window is visible.
#pragma once

#include <memory>
#include <string_view>

#include "ui/launcher_ui.h"

namespace nelo {

// Refreshes the shell integration, starts "Nelo.exe" of the version `label` (passing "--hidden"
// on when `hidden`) and never waits for the application to end. With a window (`ui` not null)
// it shows Launching, reports a failed start, and waits for the hand-off before closing the
// window; without one a failed start is silent.
void launch_version(std::string_view label, const std::shared_ptr<LauncherUi>& ui, bool hidden);

}  // namespace nelo
