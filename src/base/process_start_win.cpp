#include "base/process_start_win.h"

#include "base/system_error_win.h"

namespace nelo {

Result<StartedProcess> start_process(const std::filesystem::path& program,
                                     std::wstring command_line,
                                     const std::filesystem::path& working_folder, DWORD flags,
                                     HANDLE standard_output) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (standard_output != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = standard_output;
  }
  PROCESS_INFORMATION info{};
  // CreateProcessW may write to the command line: it works on this function's own copy.
  if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                        standard_output != nullptr, flags, nullptr, working_folder.c_str(),
                        &startup, &info)) {
    return fail(last_error_text());
  }
  StartedProcess started;
  started.process.reset(info.hProcess);
  started.thread.reset(info.hThread);
  started.id = info.dwProcessId;
  return started;
}

}  // namespace nelo
