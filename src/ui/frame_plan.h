// The plan of a whole frame: the card and the logo every screen shares, then the screen of the
// phase (screens.h), all drawn from the parts of frame_parts.h. The plan flows one way: this
// file calls the screens, and the screens call only the parts.
#pragma once

#include <cstdint>

#include "ui/frame_parts.h"
#include "ui/launcher_ui.h"

namespace nelo {

// The whole frame: shadow, card border, card, logo, then the phase's own content.
FramePlan plan_frame(const UiSnapshot& snapshot, float t, std::uint8_t hovered,
                     const MeasureText& measure);

}  // namespace nelo
