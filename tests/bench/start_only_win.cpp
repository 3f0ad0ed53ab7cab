// The least a launcher can do: start the program it is given with "--hidden" and end. The
// reference for the launcher's hidden start, which costs one Wine process more than starting the
// application directly.
//
//   start-only PROGRAM
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    return 2;
  }
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" --hidden";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return 1;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return 0;
}
