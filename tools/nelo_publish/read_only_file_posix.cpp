#include "nelo_publish/read_only_file.h"

#include <sys/types.h>

namespace nelo::publish {

std::FILE* open_read_only(const std::filesystem::path& location) {
  return std::fopen(location.c_str(), "rb");
}

bool seek_to(std::FILE* file, std::uint64_t offset) {
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace nelo::publish
