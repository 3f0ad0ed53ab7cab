// The launcher update on the real disk: the place below the installation root, the self-test run
// as a process, the two renames.
#pragma once

#include "install/version_store_win.h"
#include "main/launcher_update.h"

namespace nelo {

// Puts the launcher `manifest` lists in place of the store's installed launcher
// (launcher_update.h), through `client`; every failure is a line in the launcher log.
LauncherUpdate update_installed_launcher(UpdateClient& client, const ReleaseManifest& manifest,
                                         WindowsVersionStore& store);

}  // namespace nelo
