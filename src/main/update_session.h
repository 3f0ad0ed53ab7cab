// The update session of a normal run: finds out whether an intact version is installed, asks
// the server for the current release, installs it when it differs, and ends with the version to
// start, or with none. With a window it shows every step and lets the user retry, open the
// installed version or quit; without one it never waits for anybody.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/clock.h"
#include "main/release_store.h"
#include "net/update_client.h"
#include "ui/launcher_ui.h"

namespace nelo {

struct SessionServices {
  ReleaseStore& store;
  // Opens a client with the given time-out for name resolution, connecting and sending.
  std::function<Result<std::unique_ptr<UpdateClient>>(std::uint32_t timeout_ms)> open_client;
  Clock& clock;
  // Deletes the launcher copy that the last self-install moved aside; failures are ignored.
  std::function<void()> delete_old_launcher;
};

// Texts and numbers that depend on whether an intact version is installed.
struct AttemptSettings {
  std::uint32_t timeout_ms;
  std::chrono::seconds countdown;
  const char* failure_title;
};
AttemptSettings attempt_settings(bool has_installed);

// Runs attempts until one ends the session; `ui` is null without a window.
std::optional<std::string> run_update_session(const std::shared_ptr<LauncherUi>& ui, bool hidden,
                                              SessionServices& services);

}  // namespace nelo
