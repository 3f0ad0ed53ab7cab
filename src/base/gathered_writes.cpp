#include "base/gathered_writes.h"

namespace nelo {

Status GatheredWrites::write(std::string_view bytes) {
  if (gathered_.size() + bytes.size() > capacity_) {
    if (Status flushed = flush(); !flushed) {
      return flushed;
    }
  }
  if (bytes.size() >= capacity_) {
    return sink_(bytes);
  }
  gathered_.append(bytes);
  return {};
}

Status GatheredWrites::flush() {
  if (gathered_.empty()) {
    return {};
  }
  Status written = sink_(gathered_);
  gathered_.clear();
  return written;
}

}  // namespace nelo
