#include "ui/number_text.h"

#include <cmath>
#include <cstdio>

#include "ui/window_geometry.h"

namespace nelo {
namespace {

// printf with a fixed number of decimals, the point turned into a comma. printf's "C" locale is
// the program's; the comma is put in here rather than asked of a locale.
std::string fixed_text(double value, int decimals) {
  // The first call tells the length (a double can take over 300 digits), the second writes.
  const int length = std::snprintf(nullptr, 0, "%.*f", decimals, value);
  if (length <= 0) {
    return {};
  }
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
  text.resize(static_cast<std::size_t>(length));
  for (char& c : text) {
    if (c == '.') {
      c = ',';
    }
  }
  return text;
}

}  // namespace

std::string megabytes_text(std::uint64_t bytes) {
  const double megabytes = static_cast<double>(bytes) / 1'000'000.0;
  return fixed_text(megabytes, megabytes < 10 ? 1 : 0);
}

std::string speed_text(double bytes_per_second) {
  return fixed_text(bytes_per_second / 1'000'000.0, 1);
}

float progress_fraction(std::uint64_t bytes_done, std::uint64_t bytes_total) {
  if (bytes_total == 0) {
    return 0;
  }
  return static_cast<float>(bytes_done) / static_cast<float>(bytes_total);
}

std::string percent_text(float fraction) {
  return std::to_string(saturate_to_u32(std::trunc(fraction * 100.0f))) + "%";
}

}  // namespace nelo
