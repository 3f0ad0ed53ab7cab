// The launcher log: failures of the window's own set-up, which no screen can show.
//
//   <install root>\launcher.log     UTF-8, only ever appended to; one line per failure:
//     <seconds since 1970 UTC> <message>\n
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nelo {

// Appends "<stamp> <message>\n" to launcher.log in the installation root, creating the root and
// the file when missing. Never fails towards the caller: a line that cannot be written is lost.
// Safe from any thread and any process at once (lines of simultaneous writers may interleave).
void append_log_line(std::string_view message);

// Whole seconds since 1970-01-01 00:00:00 UTC of a system time in 100-nanosecond units since
// 1601 (a FILETIME); 0 for any time before 1970.
std::uint64_t log_stamp(std::uint64_t file_time);

// "<stamp> <message>\n", the message unchanged.
std::string log_line(std::uint64_t stamp, std::string_view message);

}  // namespace nelo
