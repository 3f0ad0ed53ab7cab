// Where the keyboard's focus is among the buttons of a screen: on the primary one (always the
// first) until Tab moves it, and on that button for as long as the screen shows it.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/window_geometry.h"

namespace nelo {

// The action of the focused button: `focused` while a button of `buttons` has it, else the
// first button's; NoAction for a screen without buttons.
std::uint8_t focused_button(const std::vector<HitRect>& buttons, std::uint8_t focused);

// The focus after Tab (`backwards`: Shift+Tab) from the focused button, wrapping at both ends.
std::uint8_t next_focus(const std::vector<HitRect>& buttons, std::uint8_t focused, bool backwards);

}  // namespace nelo
