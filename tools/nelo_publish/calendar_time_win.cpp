#include "nelo_publish/calendar_time.h"

namespace nelo::publish {

std::tm utc_parts(std::int64_t seconds) {
  const std::time_t moment = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_s(&parts, &moment);
  return parts;
}

}  // namespace nelo::publish
