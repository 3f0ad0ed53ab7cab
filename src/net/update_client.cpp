#include "net/update_client.h"

#include <algorithm>

namespace nelo {

std::uint64_t body_size_limit(std::uint64_t physical_memory_bytes, std::uint64_t expected_bytes) {
  constexpr std::uint64_t kFloor = 256ull << 20;
  const std::uint64_t bound = std::max(kFloor, physical_memory_bytes / 4);
  const bool could_fit = physical_memory_bytes == 0 || expected_bytes <= physical_memory_bytes;
  return could_fit ? std::max(bound, expected_bytes) : bound;
}

}  // namespace nelo
