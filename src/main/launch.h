// The last step of a start with the window: starting the chosen version of the application and
// keeping the launcher's window up until the application's own main window is visible.
#pragma once

#include <string_view>

#include "ui/launcher_ui.h"

namespace nelo {

// Refreshes the shell integration, shows Launching, starts "Nelo.exe" of the version `label`
// and never waits for the application to end. A failed start is shown for 8 s; otherwise the
// window is closed once the application's main window shows, the application ends, or 40 s pass.
// True when the application started.
bool launch_version(std::string_view label, LauncherUi& ui);

}  // namespace nelo
