// Text widths without a font: every character of a button label is 7 DIPs wide, of a footer 6,
// of anything else 8.
#pragma once

#include <cstddef>
#include <string_view>

#include "ui/frame_plan.h"

namespace nelo::testing_support {

inline std::size_t code_points(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }
  return count;
}

inline float fake_width(std::string_view text, TextFormat format) {
  const float per_char = format == TextFormat::Button ? 7 : format == TextFormat::Small ? 6 : 8;
  return per_char * static_cast<float>(code_points(text));
}

}  // namespace nelo::testing_support
