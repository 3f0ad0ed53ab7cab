// Files written under a temporary name in the same folder, put on the disk, then renamed over
// the final name: the final name always holds a whole file or nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/result.h"

namespace nelo::publish {

// An open file of the platform: a HANDLE on Windows, a descriptor elsewhere; -1 is none.
using NativeFile = std::intptr_t;
constexpr NativeFile kNoFile = -1;

// A file being written; it takes the final name only by `commit`, and a file never committed
// is removed.
class AtomicFile {
 public:
  // Creates ".<name>.<random>.tmp" beside `final_path`: hidden, and never a name the launcher
  // asks for. Fails with "não foi possível criar <temporary>: " and the system's text.
  static Result<AtomicFile> create(const std::filesystem::path& final_path);

  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&&) = delete;
  ~AtomicFile();

  // Appends every byte; fails with "não foi possível gravar <temporary>: " and the system's text.
  Status write(std::string_view bytes);
  std::uint64_t size() const { return size_; }
  // Puts the content on the disk, closes and renames over the final name.
  Status commit();
  // The two halves of `commit`, for files that take their names together: first every file
  // is put on the disk and closed, then each is renamed.
  Status finish_writing();
  Status take_final_name();

 private:
  AtomicFile(std::filesystem::path final_path, std::filesystem::path temporary, NativeFile file)
      : final_(std::move(final_path)), temporary_(std::move(temporary)), file_(file) {}

  std::filesystem::path final_;
  std::filesystem::path temporary_;  // empty once renamed
  NativeFile file_ = kNoFile;
  std::uint64_t size_ = 0;
};

// Writes `bytes` as the file at `path` through an AtomicFile: a reader sees the old file or the
// whole new one.
Status write_whole_file(const std::filesystem::path& path, std::string_view bytes);

// Makes the renames done in `folder` durable where the platform needs it (POSIX; Windows
// writes the rename through). Best effort: some file systems refuse to sync a folder.
void sync_folder(const std::filesystem::path& folder);

// The platform's half; each fails with the system's text alone.
namespace native {
Result<NativeFile> create_new_file(const std::filesystem::path& path);
Status write_file(NativeFile file, std::string_view bytes);
Status flush_file(NativeFile file);
Status close_file(NativeFile file);
Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to);
}  // namespace native

}  // namespace nelo::publish
