#include "ui/keyboard_focus.h"

#include <algorithm>

#include "ui/launcher_ui.h"

namespace nelo {
namespace {

// The place of the focused button among `buttons`, which is not empty.
std::size_t focused_index(const std::vector<HitRect>& buttons, std::uint8_t focused) {
  const auto found = std::find_if(buttons.begin(), buttons.end(),
                                  [focused](const HitRect& b) { return b.action == focused; });
  return found == buttons.end() ? 0 : static_cast<std::size_t>(found - buttons.begin());
}

}  // namespace

std::uint8_t focused_button(const std::vector<HitRect>& buttons, std::uint8_t focused) {
  if (buttons.empty()) {
    return NoAction;
  }
  return buttons[focused_index(buttons, focused)].action;
}

std::uint8_t next_focus(const std::vector<HitRect>& buttons, std::uint8_t focused, bool backwards) {
  if (buttons.empty()) {
    return NoAction;
  }
  const std::size_t count = buttons.size();
  const std::size_t at = focused_index(buttons, focused);
  return buttons[backwards ? (at + count - 1) % count : (at + 1) % count].action;
}

}  // namespace nelo
