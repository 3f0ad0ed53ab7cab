#include "ui/shadow.h"

#include <algorithm>
#include <cmath>

namespace nelo {
namespace {

// The card's centre and half size in DIPs, and its corner radius.
constexpr float kCentreX = 274;
constexpr float kCentreY = 113;
constexpr float kHalfWidth = 230;
constexpr float kHalfHeight = 95;
constexpr float kCornerRadius = 22;

struct ShadowLayer {
  float weight;
  float sigma;
  float offset;  // downwards
  float spread;  // grows (or, negative, shrinks) the rectangle on every side
};

constexpr ShadowLayer kLayers[] = {
    {0.109f, 6.4f, 0.0f, -1.1f},
    {0.184f, 23.0f, 40.0f, 11.4f},
};

// Signed distance from a rounded rectangle centred on the origin (negative inside).
float rounded_rect_distance(float x, float y, float half_width, float half_height, float radius) {
  const float qx = std::fabs(x) - half_width + radius;
  const float qy = std::fabs(y) - half_height + radius;
  return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) -
         radius;
}

// Coverage of the layer's shape blurred by a Gaussian of its sigma.
float layer_coverage(const ShadowLayer& layer, float px, float py) {
  const float radius = std::max(kCornerRadius - layer.spread, 0.0f);
  const float d = rounded_rect_distance(px, py - layer.offset, kHalfWidth + layer.spread,
                                        kHalfHeight + layer.spread, radius);
  const float z = d / layer.sigma;
  const float v = 0.5f * erfc_approx(std::fabs(z) / std::sqrt(2.0f));
  return z < 0 ? 1.0f - v : v;
}

}  // namespace

float erfc_approx(float a) {
  constexpr float p = 0.3275911f;
  constexpr float a1 = 0.254829592f;
  constexpr float a2 = -0.284496736f;
  constexpr float a3 = 1.421413741f;
  constexpr float a4 = -1.453152027f;
  constexpr float a5 = 1.061405429f;
  const float t = 1.0f / (1.0f + p * a);
  const float polynomial = t * (a1 + t * (a2 + t * (a3 + t * (a4 + t * a5))));
  return polynomial * std::exp(-a * a);
}

float shadow_coverage(float px, float py) {
  float sum = 0;
  for (const ShadowLayer& layer : kLayers) {
    sum += layer.weight * layer_coverage(layer, px, py);
  }
  return sum;
}

std::uint8_t shadow_alpha(std::uint32_t x, std::uint32_t y, float scale) {
  const float px = (static_cast<float>(x) + 0.5f) / scale - kCentreX;
  const float py = (static_cast<float>(y) + 0.5f) / scale - kCentreY;
  const float alpha = std::round(std::min(shadow_coverage(px, py), 1.0f) * 255.0f);
  return static_cast<std::uint8_t>(std::clamp(alpha, 0.0f, 255.0f));
}

std::vector<std::uint8_t> shadow_pixels(SurfaceSize size, float scale) {
  std::vector<std::uint8_t> pixels(std::size_t{size.width} * size.height * 4, 0);
  std::size_t at = 3;
  for (std::uint32_t y = 0; y < size.height; ++y) {
    for (std::uint32_t x = 0; x < size.width; ++x, at += 4) {
      pixels[at] = shadow_alpha(x, y, scale);
    }
  }
  return pixels;
}

}  // namespace nelo
