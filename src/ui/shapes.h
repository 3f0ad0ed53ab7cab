// The fixed shapes of the window, as data: the logo (in its own 128 x 128 coordinates), the
// spinner's arc (about the origin) and the check mark (in DIPs). The Windows side turns them
// into path geometries and strokes as they are.
#pragma once

#include <array>
#include <cstdint>

namespace nelo {

struct PointF {
  float x = 0;
  float y = 0;

  bool operator==(const PointF&) const = default;
};

// A clockwise arc of rotation 0 from the previous point to `end`.
struct ArcTo {
  PointF end;
  float radius = 0;
  bool large = false;  // the longer of the two possible arcs
};

// The logo ring: two full circles of two small arcs each, filled with the alternate rule so
// that only the 16-wide annulus between them is painted. Centre (64, 58), radii 56 and 40.
struct CircleFigure {
  PointF start;
  std::array<ArcTo, 2> arcs;
};
inline constexpr std::array<CircleFigure, 2> kLogoRing = {{
    {{120, 58}, {{{{8, 58}, 56, false}, {{120, 58}, 56, false}}}},
    {{104, 58}, {{{{24, 58}, 40, false}, {{104, 58}, 40, false}}}},
}};

// The speech bubble's tail: one closed, filled triangle.
inline constexpr std::array<PointF, 3> kLogoTail = {{{30, 94}, {16, 126}, {58, 112}}};

// The five white bars of the logo, a sound wave centred on the ring's centre: (x, y, height),
// each 8 wide with radii 4.
struct LogoBar {
  float x;
  float y;
  float height;
};
inline constexpr float kLogoBarWidth = 8;
inline constexpr float kLogoBarRadius = 4;
inline constexpr std::array<LogoBar, 5> kLogoBars = {{
    {36, 49, 18},
    {48, 40, 36},
    {60, 30, 56},
    {72, 40, 36},
    {84, 49, 18},
}};
inline constexpr float kLogoExtent = 128;  // the logo's own coordinates run from 0 to 128
inline constexpr PointF kLogoGradientStart = {0, 0};
inline constexpr PointF kLogoGradientEnd = {128, 128};

// The spinner: an open, hollow arc of three quarters of a circle of radius 7 about the origin.
inline constexpr PointF kSpinnerStart = {7, 0};
inline constexpr ArcTo kSpinnerArc = {{0, -7}, 7, true};
inline constexpr float kSpinnerStrokeWidth = 2.6f;

// The check mark: two strokes of width 2.4 with round caps and joins.
inline constexpr std::array<PointF, 3> kCheckMark = {{{161.5f, 107.5f}, {165, 111}, {172, 103.5f}}};
inline constexpr float kCheckMarkStrokeWidth = 2.4f;

}  // namespace nelo
