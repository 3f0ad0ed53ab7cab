// Many small writes gathered into few large ones: a file written piece by piece as a download
// decodes costs a system call per megabyte instead of one per piece.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace nelo {

class GatheredWrites {
 public:
  // Takes the gathered bytes; its failure is the write's.
  using Sink = std::function<Status(std::string_view bytes)>;

  // Gathers up to `capacity` bytes before they go to `sink`. The buffer grows with what is
  // written, so that a small file costs no more than its own size.
  GatheredWrites(std::size_t capacity, Sink sink) : capacity_(capacity), sink_(std::move(sink)) {}

  // Adds `bytes`, handing the gathered bytes over whenever the buffer would pass its capacity;
  // a piece of at least the capacity goes to the sink at once, after what was gathered.
  Status write(std::string_view bytes);

  // Hands over whatever is gathered.
  Status flush();

 private:
  std::size_t capacity_;
  Sink sink_;
  std::string gathered_;
};

}  // namespace nelo
