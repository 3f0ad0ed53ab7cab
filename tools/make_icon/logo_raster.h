// Rasterises the Nelo logo from the window's own geometry (ui/shapes.h) and packs
// the results into a Windows .ico file. Portable C++20, standard library only, so
// it can run as a build-host tool and be unit-tested natively.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ui/shapes.h"

namespace nelo::icon {

// The logo is drawn in a 128 x 128 coordinate space, y pointing down.
inline constexpr double kLogoExtent = nelo::kLogoExtent;

// Icon sizes written to the application icon, smallest first.
inline constexpr int kIconSizes[] = {16, 24, 32, 48, 256};

// Default supersampling grid (per axis) used for anti-aliasing.
inline constexpr int kDefaultSamples = 16;

struct Rgba {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  std::uint8_t a = 0;

  friend bool operator==(const Rgba&, const Rgba&) = default;
};

// A square image with straight (non-premultiplied) alpha, rows top-down.
struct Image {
  int size = 0;
  std::vector<Rgba> pixels;

  Rgba& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * size + x]; }
  const Rgba& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * size + x]; }
};

// A bar of the sound wave: spans (x, y) to (x + kBarWidth, y + height).
struct Bar {
  double x;
  double y;
  double height;
};

inline constexpr double kBarWidth = kLogoBarWidth;
inline constexpr double kBarCornerRadius = kLogoBarRadius;
inline constexpr Bar kBars[] = {
    {kLogoBars[0].x, kLogoBars[0].y, kLogoBars[0].height},
    {kLogoBars[1].x, kLogoBars[1].y, kLogoBars[1].height},
    {kLogoBars[2].x, kLogoBars[2].y, kLogoBars[2].height},
    {kLogoBars[3].x, kLogoBars[3].y, kLogoBars[3].height},
    {kLogoBars[4].x, kLogoBars[4].y, kLogoBars[4].height},
};

// Point-in-shape tests, in logo coordinates. Boundaries count as inside.
bool in_ring(double x, double y);
bool in_tail(double x, double y);
bool in_bar(const Bar& bar, double x, double y);
bool in_any_bar(double x, double y);

// Orange gradient used by the ring and tail, evaluated at a logo point. The
// returned colour is opaque.
Rgba gradient_at(double x, double y);

// Colour of the logo at a single logo point: a white bar over the gradient
// ring/tail over a transparent background. Alpha is 0 or 255.
Rgba logo_sample(double x, double y);

// Renders the pixel (px, py) of a size x size image using samples x samples
// points spread evenly over the pixel's area.
Rgba render_pixel(int size, int px, int py, int samples = kDefaultSamples);

// Renders the whole logo at size x size pixels.
Image render_logo(int size, int samples = kDefaultSamples);

// Encodes the images as a .ico file with one 32-bit BGRA DIB entry per image
// (alpha in the XOR bitmap plus a 1-bit AND mask for legacy consumers). Each
// image must be square with a size in 1..256.
std::vector<std::uint8_t> encode_ico(std::span<const Image> images);

}  // namespace nelo::icon
