#include "install/launcher_log.h"

#include <cstdio>

namespace nelo {

std::uint64_t log_stamp(std::uint64_t file_time) {
  // 1970-01-01 in 100-nanosecond units since 1601-01-01.
  constexpr std::uint64_t kUnixEpoch = 116444736000000000;
  if (file_time < kUnixEpoch) {
    return 0;
  }
  return (file_time - kUnixEpoch) / 10000000;
}

std::string log_line(std::uint64_t stamp, std::string_view message) {
  std::string line = std::to_string(stamp);
  line += ' ';
  line += message;
  line += '\n';
  return line;
}

}  // namespace nelo
