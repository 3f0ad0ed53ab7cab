#include "ui/frame_parts.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace nelo {
namespace {

// The logo's box at its resting size.
constexpr float kLogoLeft = 68;
constexpr float kLogoTop = 77;
constexpr float kLogoSize = 72;

// The text column and the progress track.
constexpr float kColumnLeft = 160;
constexpr float kColumnRight = 480;
constexpr RectF kTrack = {160, 128, 480, 136};
constexpr float kTrackRadius = 4;
constexpr float kMinimumFill = 8;
constexpr float kSlidingSegment = 128;
constexpr float kSlidingPeriod = 1.4f;

constexpr float kButtonPadding = 28;
constexpr float kButtonHeight = 36;
constexpr float kButtonGap = 8;
constexpr float kButtonRadius = 11;

// Appends one operation, built in place in the list.
template <class Op>
void push(FramePlan& plan, Op op) {
  plan.ops.emplace_back(std::in_place_type<Op>, std::move(op));
}

}  // namespace

LogoPlacement logo_placement(float size) {
  const float inset = (kLogoSize - size) / 2;
  return {size / kLogoExtent, kLogoLeft + inset, kLogoTop + inset};
}

float logo_size(const Phase& phase, float t) {
  if (!std::holds_alternative<Launching>(phase)) {
    return kLogoSize;
  }
  const float wave = std::sin(2 * std::numbers::pi_v<float> * t / 1.6f);
  return kLogoSize * (1 + 0.06f * std::max(0.0f, wave));
}

void add_text(FramePlan& plan, std::string text, TextFormat format, float x, float y, float width,
              float height, Colour colour) {
  push(plan, TextOp{std::move(text), format, {x, y, x + width, y + height}, colour});
}

void add_footer(FramePlan& plan, std::string left, std::string right, const MeasureText& measure) {
  constexpr float kTop = 144;
  constexpr float kHeight = 16;
  add_text(plan, std::move(left), TextFormat::Small, kColumnLeft, kTop, 160, kHeight,
           kFooterColour);
  const float width = measure(right, TextFormat::Small);
  // Two DIPs of slack so that rounding in the layout never cuts the last glyph.
  add_text(plan, std::move(right), TextFormat::Small, kColumnRight - width, kTop, width + 2,
           kHeight, kFooterColour);
}

void add_progress_bar(FramePlan& plan, BarMode mode, float fraction, float t) {
  push(plan, RoundedRectOp{kTrack, kTrackRadius, kTrackColour});
  if (mode == BarMode::Determinate) {
    if (fraction > 0) {
      const float width =
          std::max(std::min(fraction, 1.0f) * (kTrack.right - kTrack.left), kMinimumFill);
      push(plan, RoundedRectOp{{kTrack.left, kTrack.top, kTrack.left + width, kTrack.bottom},
                               kTrackRadius,
                               kAccentColour});
    }
    return;
  }
  const float cycle = t / kSlidingPeriod;
  const float x0 = kTrack.left - kSlidingSegment +
                   (kTrack.right - kTrack.left + kSlidingSegment) * (cycle - std::floor(cycle));
  push(plan, MaskedRoundedRectOp{kTrack,
                                 kTrackRadius,
                                 {x0, kTrack.top, x0 + kSlidingSegment, kTrack.bottom},
                                 kTrackRadius,
                                 kAccentColour});
}

void add_spinner(FramePlan& plan, float t) {
  push(plan, SpinnerOp{400 * t, {169, 78}, kAccentColour});
}

void add_check_mark(FramePlan& plan) {
  push(plan, CheckMarkOp{kCheckColour});
}

void add_focus_ring(FramePlan& plan, std::uint8_t focused) {
  for (const HitRect& button : plan.hits) {
    if (button.action == focused && focused != NoAction) {
      constexpr float kOut = 3;  // the ring's middle line, outside the button's edge
      push(plan, FocusRingOp{{button.left - kOut, button.top - kOut, button.right + kOut,
                              button.bottom + kOut},
                             kButtonRadius + kOut,
                             2,
                             kWhite});
      return;
    }
  }
}

void add_button_row(FramePlan& plan, float top, std::span<const ButtonSpec> buttons,
                    std::uint8_t hovered, const MeasureText& measure) {
  float x = kColumnLeft;
  for (const ButtonSpec& button : buttons) {
    const float width = measure(button.label, TextFormat::Button) + kButtonPadding;
    const bool hot = button.action == hovered;
    const Colour colour = button.primary ? (hot ? kAccentHoverColour : kAccentColour)
                                         : (hot ? kSecondaryHoverColour : kSecondaryColour);
    const RectF rect = {x, top, x + width, top + kButtonHeight};
    push(plan, RoundedRectOp{rect, kButtonRadius, colour});
    add_text(plan, std::string(button.label), TextFormat::Button, x, top, width, kButtonHeight,
             kWhite);
    plan.hits.push_back({rect.left, rect.top, rect.right, rect.bottom, button.action});
    x += width + kButtonGap;
  }
}

}  // namespace nelo
