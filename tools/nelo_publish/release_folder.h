// The folder that holds a release, as nelo-publish reads it: its files, their names, their
// content.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/result.h"

namespace nelo::publish {

// One file of the release.
struct SourceFile {
  std::string path;                // UTF-8, "/"-separated, relative to the release folder
  std::filesystem::path location;  // where it is on disk
  std::uint64_t size = 0;
  std::string sha256;
};

// A path the launcher would take as written: every name a plain Windows name, not a name the
// version folder keeps for itself, a valid manifest path.
Status check_manifest_path(const std::string& path);

// Every regular file below `from`, sorted by path (byte-wise). Symbolic links and special
// files are refused, and so is a path `check_manifest_path` refuses.
Result<std::vector<SourceFile>> list_release(const std::filesystem::path& from);

// Two files Windows would take for one, or a file and a folder of the same name.
Status check_letter_case(const std::vector<SourceFile>& files);

// The whole content of a file, reserving `expected_size` bytes first.
Result<std::string> read_whole_file(const std::filesystem::path& location,
                                    std::uint64_t expected_size);

// True when the entry at `path` is a link of the platform's own (a symbolic link; on Windows any
// reparse point: a junction, a mount point, a cloud file's placeholder), not followed.
// Its two halves are release_folder_win.cpp and release_folder_posix.cpp.
bool is_link_elsewhere(const std::filesystem::path& path);

// True when `inner` is `outer` or lies below it.
bool is_within(const std::filesystem::path& inner, const std::filesystem::path& outer);

}  // namespace nelo::publish
