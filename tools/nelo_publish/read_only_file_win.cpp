#include "nelo_publish/read_only_file.h"

namespace nelo::publish {

std::FILE* open_read_only(const std::filesystem::path& location) {
  return ::_wfopen(location.c_str(), L"rb");
}

bool seek_to(std::FILE* file, std::uint64_t offset) {
  return ::_fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
}

}  // namespace nelo::publish
