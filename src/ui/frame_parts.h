// The parts a frame of the launcher window is drawn from, decided without drawing: the ordered
// list of draw operations and the buttons' hit rectangles, and the pieces every screen adds to
// it (texts, footer, progress bar, spinner, check mark, buttons). The Windows painter only
// carries the list out with Direct2D and DirectWrite; text widths come from the measuring
// function it hands in.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ui/launcher_ui.h"
#include "ui/shapes.h"
#include "ui/window_geometry.h"

namespace nelo {

// An opaque 8-bit RGB colour.
struct Colour {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;

  bool operator==(const Colour&) const = default;
};

constexpr Colour rgb(std::uint32_t hex) {
  return {static_cast<std::uint8_t>(hex >> 16), static_cast<std::uint8_t>(hex >> 8),
          static_cast<std::uint8_t>(hex)};
}

inline constexpr Colour kWhite = rgb(0xFFFFFF);
inline constexpr Colour kDetailColour = rgb(0xA3A3A3);
inline constexpr Colour kFooterColour = rgb(0x8F8F8F);
inline constexpr Colour kCardBorderColour = rgb(0x2C2C2C);
inline constexpr Colour kCardColour = rgb(0x161616);
inline constexpr Colour kTrackColour = rgb(0x2A2A2A);
inline constexpr Colour kAccentColour = rgb(0xFC7A00);  // progress fill, spinner, primary button
inline constexpr Colour kAccentHoverColour = rgb(0xFF8B1F);
inline constexpr Colour kSecondaryColour = rgb(0x2A2A2A);
inline constexpr Colour kSecondaryHoverColour = rgb(0x343434);
inline constexpr Colour kCheckColour = rgb(0x14C75E);
inline constexpr Colour kLogoGradientFrom = rgb(0xFF9A1F);
inline constexpr Colour kLogoGradientTo = rgb(0xFC5F00);

struct RectF {
  float left = 0;
  float top = 0;
  float right = 0;
  float bottom = 0;

  bool operator==(const RectF&) const = default;
};

// The five text formats of the window (weight, size, wrapping and alignment are the painter's).
enum class TextFormat {
  Title,   // 800, 18
  Body,    // 500, 13
  Wrap,    // 500, 13, wraps
  Small,   // 500, 12
  Button,  // 800, 13, centred both ways
};

// Width in DIPs of a UTF-8 text in a format, trailing white space included.
using MeasureText = std::function<float(std::string_view text, TextFormat format)>;

// The draw operations, carried out in list order.
struct ShadowOp {  // the shadow bitmap over the whole surface
  bool operator==(const ShadowOp&) const = default;
};
struct RoundedRectOp {
  RectF rect;
  float radius = 0;
  Colour colour;

  bool operator==(const RoundedRectOp&) const = default;
};
// A rounded rectangle seen only through a rounded-rectangle mask (the sliding bar in its track).
struct MaskedRoundedRectOp {
  RectF mask;
  float mask_radius = 0;
  RectF rect;
  float radius = 0;
  Colour colour;

  bool operator==(const MaskedRoundedRectOp&) const = default;
};
struct LogoOp {
  float size = 72;  // the box's side in DIPs; the box stays centred on (104, 113)

  bool operator==(const LogoOp&) const = default;
};
struct TextOp {
  std::string text;  // UTF-8
  TextFormat format = TextFormat::Body;
  RectF box;
  Colour colour;

  bool operator==(const TextOp&) const = default;
};
struct SpinnerOp {
  float angle_degrees = 0;  // clockwise rotation about its own origin
  PointF at;                // where its origin goes
  Colour colour;

  bool operator==(const SpinnerOp&) const = default;
};
struct CheckMarkOp {
  Colour colour;

  bool operator==(const CheckMarkOp&) const = default;
};
// The outline of a rounded rectangle, `width` DIPs wide, centred on its edge.
struct FocusRingOp {
  RectF rect;
  float radius = 0;
  float width = 0;
  Colour colour;

  bool operator==(const FocusRingOp&) const = default;
};

using DrawOp = std::variant<ShadowOp, RoundedRectOp, MaskedRoundedRectOp, LogoOp, TextOp, SpinnerOp,
                            CheckMarkOp, FocusRingOp>;

// Two plans that compare equal draw the same picture: a window that painted one need not paint
// the other.
struct FramePlan {
  std::vector<DrawOp> ops;
  std::vector<HitRect> hits;  // empty when the screen has no buttons

  bool operator==(const FramePlan&) const = default;
};

// The logo's placement for a size: scale size / 128 about the logo's origin, then this offset.
struct LogoPlacement {
  float scale = 0;
  float dx = 0;
  float dy = 0;
};
LogoPlacement logo_placement(float size);

// 72, or in Launching 72 x (1 + 0.06 x max(0, sin(2 pi t / 1.6))): a gentle pulse every 1.6 s.
float logo_size(const Phase& phase, float t);

// A button of a row: its label, the action it stores, and whether it is the primary one.
struct ButtonSpec {
  std::string_view label;
  std::uint8_t action = NoAction;
  bool primary = false;
};

inline constexpr std::array<ButtonSpec, 2> kConsentButtons = {{
    {"Aceitar e instalar", Accept, true},
    {"Ler os termos", OpenTerms, false},
}};
inline constexpr std::array<ButtonSpec, 2> kInstalledButtons = {{
    {"Abrir agora", OpenNow, true},
    {"Tentar de novo", Retry, false},
}};
inline constexpr std::array<ButtonSpec, 1> kNotInstalledButtons = {{
    {"Tentar de novo", Retry, true},
}};

// Drawing primitives: each appends its operations to the plan.

// A text in the box (x, y, width, height), unclipped.
void add_text(FramePlan& plan, std::string text, TextFormat format, float x, float y, float width,
              float height, Colour colour);

// The footer line at y 144 in the small format: `left` from x 160, `right` ending at x 480.
void add_footer(FramePlan& plan, std::string left, std::string right, const MeasureText& measure);

enum class BarMode {
  Determinate,  // filled to the fraction, never thinner than 8 DIPs once started
  Sliding,      // a 128-DIP segment crossing the track every 1.4 s
};
void add_progress_bar(FramePlan& plan, BarMode mode, float fraction, float t);

// The spinner left of a title at (169, 78), turning clockwise once every 0.9 s.
void add_spinner(FramePlan& plan, float t);

void add_check_mark(FramePlan& plan);

// The keyboard's focus around the button of `focused` among the plan's hit rectangles: a white
// ring 2 DIPs wide, 2 to 4 DIPs outside the button (half the gap between two buttons), drawn
// over nothing else. Nothing when no button has that action.
void add_focus_ring(FramePlan& plan, std::uint8_t focused);

// Buttons from x 160 rightwards, each as wide as its label plus 28 and 36 high, 8 apart; the
// hovered one lighter. Appends one hit rectangle per button, in table order.
void add_button_row(FramePlan& plan, float top, std::span<const ButtonSpec> buttons,
                    std::uint8_t hovered, const MeasureText& measure);

}  // namespace nelo
