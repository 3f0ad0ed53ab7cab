// The calendar parts of a moment in UTC, by the platform's thread-safe call.
#pragma once

#include <cstdint>
#include <ctime>

namespace nelo::publish {

// `seconds` since 1970 as a UTC date and time.
std::tm utc_parts(std::int64_t seconds);

}  // namespace nelo::publish
