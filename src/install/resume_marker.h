// Whether the application will reopen where the user left it: the application writes
// %APPDATA%\Nelo\resume.json, and a marker written less than five minutes ago means it will.
// The launcher never opens, writes or deletes the marker; only its last-write time counts.
#pragma once

#include <cstdint>

namespace nelo {

// 300 seconds in the system's 100-nanosecond units.
constexpr std::int64_t kResumeFreshness = 3'000'000'000;

// True when `now` is not earlier than `last_write` and less than 300 s after it (both in
// 100-nanosecond units since 1601).
bool is_resume_fresh(std::int64_t last_write, std::int64_t now);

// Asks the file system for the marker's last-write time; every problem gives false.
bool resume_is_fresh();

}  // namespace nelo
