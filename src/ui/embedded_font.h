// The typeface the window draws with, carried whole in the program's read-only data.
#pragma once

#include <cstddef>
#include <span>

namespace nelo {

// Plus Jakarta Sans, variable TrueType: 176,288 bytes, the last 2 padding it to a multiple of 4.
constexpr std::size_t kEmbeddedFontSize = 176288;

std::span<const std::byte> embedded_font();

}  // namespace nelo
