// Starting a program: one call of CreateProcessW, its two handles owned.
#pragma once

#include "base/win_support.h"

#include <filesystem>
#include <string>

#include "base/result.h"
#include "base/unique_handle.h"

namespace nelo {

struct StartedProcess {
  unique_handle process;
  unique_handle thread;
  DWORD id = 0;
};

// Starts `program` (a full path: never looked for elsewhere) with `command_line` exactly as
// given, `working_folder` as its working folder and the creation `flags`; no handles are passed
// on. Fails with the system's text.
// With `standard_output` (an inheritable handle, such as a pipe's write end) the program writes its
// standard output there; it then inherits the process's inheritable handles.
Result<StartedProcess> start_process(const std::filesystem::path& program,
                                     std::wstring command_line,
                                     const std::filesystem::path& working_folder, DWORD flags = 0,
                                     HANDLE standard_output = nullptr);

}  // namespace nelo
