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

std::string error_code_text(std::string_view system_message, std::uint32_t code) {
  while (!system_message.empty() &&
         (system_message.back() == '\r' || system_message.back() == '\n' ||
          system_message.back() == ' ' || system_message.back() == '\t')) {
    system_message.remove_suffix(1);
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  if (system_message.empty()) {
    return hex;
  }
  return std::string(system_message) + " (" + hex + ")";
}

}  // namespace nelo
