// Installing the launcher itself: the running copy becomes Nelo.exe in the installation root.
#pragma once

#include <filesystem>

#include "base/result.h"

namespace nelo {

// The running executable's full path. Fails with the system's text.
Result<std::filesystem::path> running_executable();

// True when the running executable is the installed launcher: both paths made canonical and
// equal component by component. False when either cannot be had.
bool is_installed_copy();

// Copies the running executable to the installation root as Nelo.exe, moving a previous
// Nelo.exe aside as Nelo.exe.old, and drops the download mark. Fails with the system's text,
// "pasta: " and it, or "copiar: " and it.
Status install_launcher();

// Deletes Nelo.exe.old in the installation root; failures are ignored. When Nelo.exe is
// missing (a launcher update stopped between its two renames), Nelo.exe.old is put back as
// Nelo.exe instead.
void delete_old_launcher();

// Puts Nelo.exe.old back as Nelo.exe when Nelo.exe is missing and it is there; nothing else.
void restore_launcher_if_missing();

}  // namespace nelo
