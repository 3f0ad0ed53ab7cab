// Files seen as memory: an older file a patch starts from, and the new file a patch is decoded
// into. The pages are the file's, not the process's own: a file of gigabytes costs no memory
// beyond what the system keeps cached.
#pragma once

#include <span>
#include <string_view>

#include "base/result.h"

namespace nelo {

// An existing file's content, read-only.
class FileView {
 public:
  virtual ~FileView() = default;
  virtual std::string_view bytes() const = 0;
};

// A new file of a fixed size, written in place.
class MappedNewFile {
 public:
  virtual ~MappedNewFile() = default;
  virtual std::span<char> bytes() = 0;
  // Puts everything written on the disk and closes the file. Fails with the system's error
  // text. A file dropped before its commit is removed again.
  virtual Status commit() = 0;
};

}  // namespace nelo
