#include "base/error_code_text.h"

#include <cstdio>

namespace nelo {

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
