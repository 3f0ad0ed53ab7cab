// The figures the download screens show, written the Brazilian way (comma as decimal separator).
#pragma once

#include <cstdint>
#include <string>

namespace nelo {

// Millions of bytes: one decimal place below 10 (3,4; 9,999,999 bytes is still below 10 and
// reads 10,0), none from 10 up (85).
std::string megabytes_text(std::uint64_t bytes);

// Millions of bytes per second, always with one decimal place (1,2).
std::string speed_text(double bytes_per_second);

// bytes_done / bytes_total in single precision, 0 when nothing is to be fetched.
float progress_fraction(std::uint64_t bytes_done, std::uint64_t bytes_total);

// The whole percent of the fraction, truncated, saturated to 0..UINT32_MAX, then "%": "85%".
std::string percent_text(float fraction);

}  // namespace nelo
