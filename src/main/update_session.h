// The update session of a start: finds out whether an intact version is installed, asks the
// server for the current release, installs it when it differs, and ends with the version to
// start, or with none. With the window it shows every step and lets the user retry, open the
// installed version or quit; the quiet session of a hidden start never waits for anybody.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/clock.h"
#include "install/version_store.h"
#include "net/update_client.h"
#include "ui/launcher_ui.h"

namespace nelo {

// Opens a client with the given time-out for name resolution, connecting and sending.
using ClientOpener = std::function<Result<std::unique_ptr<UpdateClient>>(std::uint32_t timeout_ms)>;

struct SessionServices {
  VersionStore& store;
  ClientOpener open_client;
  Clock& clock;
  // Filled by the session: the trusted manifest of the release it ends with, when it ends with
  // the server's release (installed now, or current already); nothing otherwise.
  std::optional<ReleaseManifest> release = std::nullopt;
};

// Texts and numbers that depend on whether an intact version is installed.
struct AttemptSettings {
  std::uint32_t timeout_ms;
  std::chrono::seconds countdown;
  const char* failure_title;
};
AttemptSettings attempt_settings(bool has_installed);

// Runs attempts, each shown in `ui`, until one ends the session.
std::optional<std::string> run_update_session(const std::shared_ptr<LauncherUi>& ui,
                                              SessionServices& services);

// The session of a start without a window: the intact installed version without asking the
// server; else the current release installed; nothing when that fails. Never waits.
std::optional<std::string> run_quiet_session(VersionStore& store, const ClientOpener& open_client);

}  // namespace nelo
