// Helpers for the Windows tests: temporary folders, scoped environment variables, files, and
// child processes whose output is read through a pipe.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/win_support.h"

namespace nelo::testing_support {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets (or, with nothing, removes) a variable of this process and restores it afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, std::optional<std::wstring> value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> saved_;
};

void write_file(const std::filesystem::path& path, std::string_view bytes);
std::string read_file(const std::filesystem::path& path);

// Files the build made, as Windows paths.
std::filesystem::path launcher_exe();
std::filesystem::path standin_exe();

struct ChildRun {
  std::string output;  // everything the child wrote to its standard output and error
  DWORD exit_code = 0;
  bool finished = false;
};

// Runs `command_line` exactly as given (the program found from its first word, or `program`
// when given), its standard output and error going to a pipe that this process reads to the
// end; waits up to `timeout_ms` for the child.
ChildRun run_and_capture(const std::wstring& command_line, DWORD timeout_ms = 60000,
                         const std::filesystem::path& program = {});

}  // namespace nelo::testing_support
