// Where the launcher window sits and what its parts answer to the pointer. Everything is in
// device-independent pixels (DIPs) of the 548 x 292 window surface unless it says pixels; one DIP
// is `scale` pixels, scale being the system DPI / 96.
//
//   (0,0) +---------------------------------------+
//         |  (44,18) +-------------------+        |   surface 548 x 292
//         |          |  card 460 x 190   |        |   the margin round the card holds only
//         |          +-------------------+        |   the shadow: 44 left and right, 18 above
//         |                       (504,208)       |   and 84 below
//         +---------------------------------------+ (548,292)
#pragma once

#include <cstdint>
#include <vector>

namespace nelo {

inline constexpr float kSurfaceWidthDips = 548;
inline constexpr float kSurfaceHeightDips = 292;

// The card, which is also the area that drags the window (edges included).
inline constexpr float kCardLeft = 44;
inline constexpr float kCardTop = 18;
inline constexpr float kCardRight = 504;
inline constexpr float kCardBottom = 208;

// A button of the last painted frame, in DIPs; `action` is its action code.
struct HitRect {
  float left = 0;
  float top = 0;
  float right = 0;
  float bottom = 0;
  std::uint8_t action = 0;

  bool operator==(const HitRect&) const = default;
};

struct SurfaceSize {
  std::uint32_t width = 0;  // pixels
  std::uint32_t height = 0;

  bool operator==(const SurfaceSize&) const = default;
};

struct ScreenRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;

  bool operator==(const ScreenPoint&) const = default;
};

// Saturating conversions: NaN gives 0, out-of-range values the nearest limit.
std::int32_t saturate_to_i32(double value);
std::uint32_t saturate_to_u32(double value);

// dpi / 96; a system that reports no DPI (0) counts as 96, so that no size or pointer position
// is ever divided by zero.
float scale_for_dpi(std::uint32_t dpi);

// The surface in pixels: ceil(548 x scale) by ceil(292 x scale), each at most INT32_MAX so that
// the negative height of a top-down bitmap stays representable.
SurfaceSize surface_size(float scale);

// Top-left pixel of the window that centres the card in the work area.
ScreenPoint window_position(const ScreenRect& work_area, float scale);

// Top-left pixel of a window wanted at `wanted`, moved the least so that its card lies inside
// the work area; a card larger than the area keeps to its left and top edges.
ScreenPoint keep_card_inside(ScreenPoint wanted, const ScreenRect& work_area, float scale);

// The action of the first button containing the point, edges included; NoAction when none.
std::uint8_t button_at(const std::vector<HitRect>& hits, float x, float y);

// Whether the point lies on the card, edges included.
bool in_drag_area(float x, float y);

// What a point of the window is to the system, with the values of WM_NCHITTEST.
enum class HitArea : int {
  Nowhere = 0,  // the margin round the card: takes no input
  Client = 1,   // a button
  Caption = 2,  // the rest of the card: drags the window
};

// Buttons win over the card; without a hit list (no window record yet) only the card counts.
HitArea hit_area(const std::vector<HitRect>* hits, float x, float y);

}  // namespace nelo
