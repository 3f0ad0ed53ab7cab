// A file written piece by piece, as the staging writes downloaded content.
#pragma once

#include <string_view>

#include "base/result.h"

namespace nelo {

class FileWriter {
 public:
  virtual ~FileWriter() = default;

  // Appends `bytes`. Fails with the system's error text.
  virtual Status write(std::string_view bytes) = 0;

  // Puts everything written on the disk and closes the file. Fails with the system's error text.
  virtual Status commit() = 0;
};

}  // namespace nelo
