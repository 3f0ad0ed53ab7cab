#include "net/update_client.h"

#include <algorithm>

namespace nelo {

std::uint64_t body_size_limit(std::uint64_t physical_memory_bytes) {
  constexpr std::uint64_t kFloor = 256ull << 20;
  return std::max(kFloor, physical_memory_bytes / 4);
}

}  // namespace nelo
