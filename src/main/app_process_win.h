// Starting the application of a version and watching for its main window.
#pragma once

#include <string_view>

#include "base/clock.h"
#include "base/result.h"
#include "base/unique_handle.h"
#include "main/handoff.h"

namespace nelo {

struct AppProcess {
  unique_handle process;
  unique_handle thread;
  DWORD id = 0;
  Clock::time_point started;
};

// Starts "Nelo.exe" of the version folder directly, with that folder as working folder and the
// command line "<full path in quotes>", followed by " --hidden" when `hidden`. No creation
// flags, no handles passed on. Fails with the system's text for the failed start.
Result<AppProcess> start_app(std::string_view label, bool hidden, Clock& clock);

// Waits, polling every 100 ms, until a visible top-level window of the process at least 301
// pixels wide exists, the process ends, the question fails, or 40 s have passed since its start.
HandoffEnd wait_for_app_window(const AppProcess& app, Clock& clock);

}  // namespace nelo
