// Installing the launcher itself: the running copy becomes Nelo.exe in the installation root.
#pragma once

#include <filesystem>

#include "base/result.h"

namespace nelo {

// True when the running executable is the installed launcher: both paths made canonical and
// equal component by component. False when either cannot be had.
bool is_installed_copy();

// Copies the running executable to the installation root as Nelo.exe, moving a previous
// Nelo.exe aside as Nelo.exe.old, and drops the download mark. Fails with the system's text,
// "pasta: " and it, or "copiar: " and it.
Status install_launcher();

// Deletes Nelo.exe.old in the installation root; failures are ignored.
void delete_old_launcher();

}  // namespace nelo
