#include "logo_raster.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace nelo::icon {
namespace {

// The ring and the tail of the window's own logo: each circle of the ring starts at its
// rightmost point.
constexpr double kRingOuterRadius = kLogoRing[0].arcs[0].radius;
constexpr double kRingInnerRadius = kLogoRing[1].arcs[0].radius;
constexpr double kRingCentreX = kLogoRing[0].start.x - kRingOuterRadius;
constexpr double kRingCentreY = kLogoRing[0].start.y;

struct Point {
  double x;
  double y;
};

constexpr Point kTail[] = {{kLogoTail[0].x, kLogoTail[0].y},
                           {kLogoTail[1].x, kLogoTail[1].y},
                           {kLogoTail[2].x, kLogoTail[2].y}};

constexpr Rgba kGradientStart = {0xFF, 0x9A, 0x1F, 0xFF};  // at (0, 0)
constexpr Rgba kGradientEnd = {0xFC, 0x5F, 0x00, 0xFF};    // at (128, 128)
constexpr Rgba kWhite = {0xFF, 0xFF, 0xFF, 0xFF};
constexpr Rgba kTransparent = {0, 0, 0, 0};

constexpr std::size_t kIconDirSize = 6;
constexpr std::size_t kIconDirEntrySize = 16;
constexpr std::size_t kBitmapInfoHeaderSize = 40;

// Signed area test: which side of the edge a -> b the point p lies on.
double edge(const Point& a, const Point& b, const Point& p) {
  return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

std::uint8_t lerp_channel(std::uint8_t from, std::uint8_t to, double t) {
  return static_cast<std::uint8_t>(std::lround(from + (to - from) * t));
}

std::uint8_t to_byte(double value) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

void put_u8(std::vector<std::uint8_t>& out, std::uint8_t value) {
  out.push_back(value);
}

void put_u16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put_u16(out, value & 0xFFFF);
  put_u16(out, value >> 16);
}

// Bytes per row of the 1-bit AND mask; DIB rows are padded to 32 bits.
std::size_t mask_row_bytes(int size) {
  return static_cast<std::size_t>((size + 31) / 32) * 4;
}

std::size_t dib_size(int size) {
  const auto n = static_cast<std::size_t>(size);
  return kBitmapInfoHeaderSize + n * n * 4 + mask_row_bytes(size) * n;
}

void append_dib(std::vector<std::uint8_t>& out, const Image& image) {
  const int n = image.size;
  const std::size_t pixel_bytes = static_cast<std::size_t>(n) * n * 4;
  const std::size_t mask_bytes = mask_row_bytes(n) * static_cast<std::size_t>(n);

  // BITMAPINFOHEADER. The height covers the XOR bitmap and the AND mask
  // stacked together, hence twice the image height.
  put_u32(out, kBitmapInfoHeaderSize);
  put_u32(out, static_cast<std::uint32_t>(n));
  put_u32(out, static_cast<std::uint32_t>(2 * n));
  put_u16(out, 1);   // planes
  put_u16(out, 32);  // bits per pixel
  put_u32(out, 0);   // BI_RGB
  put_u32(out, static_cast<std::uint32_t>(pixel_bytes + mask_bytes));
  put_u32(out, 0);  // horizontal resolution
  put_u32(out, 0);  // vertical resolution
  put_u32(out, 0);  // colours used
  put_u32(out, 0);  // important colours

  // XOR bitmap: BGRA, bottom row first.
  for (int y = n - 1; y >= 0; --y) {
    for (int x = 0; x < n; ++x) {
      const Rgba& p = image.at(x, y);
      put_u8(out, p.b);
      put_u8(out, p.g);
      put_u8(out, p.r);
      put_u8(out, p.a);
    }
  }

  // AND mask: a set bit marks a fully transparent pixel, most significant bit
  // first, bottom row first.
  const std::size_t row_bytes = mask_row_bytes(n);
  for (int y = n - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(row_bytes, 0);
    for (int x = 0; x < n; ++x) {
      if (image.at(x, y).a == 0) {
        row[static_cast<std::size_t>(x) / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

}  // namespace

bool in_ring(double x, double y) {
  const double dx = x - kRingCentreX;
  const double dy = y - kRingCentreY;
  const double d2 = dx * dx + dy * dy;
  return d2 <= kRingOuterRadius * kRingOuterRadius && d2 >= kRingInnerRadius * kRingInnerRadius;
}

bool in_tail(double x, double y) {
  const Point p{x, y};
  const double e0 = edge(kTail[0], kTail[1], p);
  const double e1 = edge(kTail[1], kTail[2], p);
  const double e2 = edge(kTail[2], kTail[0], p);
  // Accept either winding so the test does not depend on vertex order.
  return (e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0);
}

bool in_bar(const Bar& bar, double x, double y) {
  if (x < bar.x || x > bar.x + kBarWidth || y < bar.y || y > bar.y + bar.height) {
    return false;
  }
  // Inside the bounding box: distance to the rectangle shrunk by the corner
  // radius decides whether the point lies within a rounded corner.
  const double r = kBarCornerRadius;
  const double cx = std::clamp(x, bar.x + r, bar.x + kBarWidth - r);
  const double cy = std::clamp(y, bar.y + r, bar.y + bar.height - r);
  const double dx = x - cx;
  const double dy = y - cy;
  return dx * dx + dy * dy <= r * r;
}

bool in_any_bar(double x, double y) {
  return std::any_of(std::begin(kBars), std::end(kBars),
                     [&](const Bar& bar) { return in_bar(bar, x, y); });
}

Rgba gradient_at(double x, double y) {
  // Projection onto the diagonal from (0, 0) to (128, 128).
  const double t = std::clamp((x + y) / (2.0 * kLogoExtent), 0.0, 1.0);
  return {lerp_channel(kGradientStart.r, kGradientEnd.r, t),
          lerp_channel(kGradientStart.g, kGradientEnd.g, t),
          lerp_channel(kGradientStart.b, kGradientEnd.b, t), 0xFF};
}

Rgba logo_sample(double x, double y) {
  if (in_any_bar(x, y)) {
    return kWhite;
  }
  if (in_ring(x, y) || in_tail(x, y)) {
    return gradient_at(x, y);
  }
  return kTransparent;
}

Rgba render_pixel(int size, int px, int py, int samples) {
  const double scale = kLogoExtent / size;
  // Every shape is opaque, so each sample is either fully covered by its
  // topmost shape or empty. Averaging the colour over covered samples only
  // gives the straight (non-premultiplied) colour; alpha is the covered
  // fraction.
  double sum_r = 0;
  double sum_g = 0;
  double sum_b = 0;
  int covered = 0;
  for (int sy = 0; sy < samples; ++sy) {
    const double y = (py + (sy + 0.5) / samples) * scale;
    for (int sx = 0; sx < samples; ++sx) {
      const double x = (px + (sx + 0.5) / samples) * scale;
      const Rgba s = logo_sample(x, y);
      if (s.a == 0) {
        continue;
      }
      sum_r += s.r;
      sum_g += s.g;
      sum_b += s.b;
      ++covered;
    }
  }
  if (covered == 0) {
    return kTransparent;
  }
  return {to_byte(sum_r / covered), to_byte(sum_g / covered), to_byte(sum_b / covered),
          to_byte(255.0 * covered / (samples * samples))};
}

Image render_logo(int size, int samples) {
  if (size <= 0 || samples <= 0) {
    throw std::invalid_argument("render_logo: size and samples must be positive");
  }
  Image image{size, std::vector<Rgba>(static_cast<std::size_t>(size) * size)};
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      image.at(x, y) = render_pixel(size, x, y, samples);
    }
  }
  return image;
}

std::vector<std::uint8_t> encode_ico(std::span<const Image> images) {
  if (images.empty() || images.size() > 0xFFFF) {
    throw std::invalid_argument("encode_ico: need between 1 and 65535 images");
  }
  for (const Image& image : images) {
    if (image.size < 1 || image.size > 256 ||
        image.pixels.size() != static_cast<std::size_t>(image.size) * image.size) {
      throw std::invalid_argument("encode_ico: images must be square, 1..256 pixels");
    }
  }

  std::vector<std::uint8_t> out;
  // ICONDIR
  put_u16(out, 0);  // reserved
  put_u16(out, 1);  // resource type: icon
  put_u16(out, static_cast<std::uint32_t>(images.size()));

  // ICONDIRENTRY per image; image data follows the directory in order.
  std::size_t offset = kIconDirSize + kIconDirEntrySize * images.size();
  for (const Image& image : images) {
    const std::size_t bytes = dib_size(image.size);
    // A dimension of 256 does not fit in a byte and is stored as 0.
    put_u8(out, static_cast<std::uint8_t>(image.size % 256));
    put_u8(out, static_cast<std::uint8_t>(image.size % 256));
    put_u8(out, 0);    // palette colours
    put_u8(out, 0);    // reserved
    put_u16(out, 1);   // colour planes
    put_u16(out, 32);  // bits per pixel
    put_u32(out, static_cast<std::uint32_t>(bytes));
    put_u32(out, static_cast<std::uint32_t>(offset));
    offset += bytes;
  }

  for (const Image& image : images) {
    append_dib(out, image);
  }
  return out;
}

}  // namespace nelo::icon
