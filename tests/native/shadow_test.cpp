#include "ui/shadow.h"

#include <gtest/gtest.h>

#include <cmath>

namespace nelo {
namespace {

TEST(ShadowTest, ErfcApproximationIsCloseToTheRealOne) {
  for (float a = 0; a < 6; a += 0.05f) {
    EXPECT_NEAR(erfc_approx(a), std::erfc(a), 1e-6) << a;  // 1.5e-7 plus single precision
  }
}

// The expected alphas were worked out from the two-layer formula by hand (in double precision):
// for the card's centre pixel (273, 112) at scale 1, p = (-0.5, -0.5):
//   layer 1: r = 23.1, q = (-205.3, -70.3), d = -93.4, z = -14.59: v = 1
//   layer 2: r = 10.6, q = (-230.3, -55.3), d = -65.9, z = -2.865: v = 0.997916
//   sum = 0.109 + 0.184 x 0.997916 = 0.292617; x 255 = 74.62 -> 75.
// Just left of the card (column 43, p = (-230.5, -0.5)):
//   layer 1: d = 1.6, z = 0.25, v = 0.401294; layer 2: d = -10.9, z = -0.4739, v = 0.682219
//   sum = 0.169269; x 255 = 43.16 -> 43.
// Just below the card (row 208, p = (-0.5, 95.5)):
//   layer 1: d = 1.6, v = 0.401294; layer 2: d = -50.9, z = -2.213, v = 0.986553
//   sum = 0.225267; x 255 = 57.44 -> 57.
// Just above the card (row 17, p = (-0.5, -95.5)):
//   layer 1: d = 1.6, v = 0.401294; layer 2: d = 29.1, z = 1.265, v = 0.102897
//   sum = 0.062674; x 255 = 15.98 -> 16.
// The surface's top-left corner (p = (-273.5, -112.5)): layer 2 d = 60.38, z = 2.625,
//   v = 0.004330, sum = 0.000797; x 255 = 0.20 -> 0. Bottom-right (547, 291): d = 49.79,
//   v = 0.015207, sum = 0.002798; x 255 = 0.71 -> 1.
TEST(ShadowTest, AlphaAtKnownPixels) {
  struct Case {
    std::uint32_t x;
    std::uint32_t y;
    float scale;
    std::uint8_t alpha;
  };
  const Case cases[] = {
      {273, 112, 1.0f, 75},  // the card's centre
      {43, 112, 1.0f, 43},   // just outside the card's left edge
      {273, 208, 1.0f, 57},  // just below the card
      {273, 17, 1.0f, 16},   // just above the card: the shadow falls downwards
      {0, 0, 1.0f, 0},       // the surface's corner
      {547, 291, 1.0f, 1},  {410, 168, 1.5f, 75},  // the card's centre at 144 DPI
      {0, 0, 1.5f, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shadow_alpha(c.x, c.y, c.scale), c.alpha) << c.x << "," << c.y << " @" << c.scale;
  }
}

TEST(ShadowTest, CoverageIsSymmetricLeftToRightButNotTopToBottom) {
  for (float px : {10.0f, 150.0f, 229.0f, 240.0f, 270.0f}) {
    EXPECT_FLOAT_EQ(shadow_coverage(px, 30), shadow_coverage(-px, 30)) << px;
  }
  for (float py : {96.0f, 100.0f, 110.0f}) {
    EXPECT_GT(shadow_coverage(0, py), shadow_coverage(0, -py)) << py;
  }
}

TEST(ShadowTest, PixelsArePremultipliedBlack) {
  const SurfaceSize size = {548, 292};
  const std::vector<std::uint8_t> pixels = shadow_pixels(size, 1.0f);
  ASSERT_EQ(pixels.size(), 548u * 292u * 4u);
  bool colour_seen = false;
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    colour_seen |= pixels[i] != 0 || pixels[i + 1] != 0 || pixels[i + 2] != 0;
  }
  EXPECT_FALSE(colour_seen);
  const auto alpha_at = [&](std::uint32_t x, std::uint32_t y) {
    return pixels[(std::size_t{y} * size.width + x) * 4 + 3];
  };
  EXPECT_EQ(alpha_at(273, 112), 75);  // rows top-down: row 112 is the card's centre
  EXPECT_EQ(alpha_at(43, 112), 43);
  EXPECT_EQ(alpha_at(273, 208), 57);
  EXPECT_EQ(alpha_at(0, 0), 0);
}

TEST(ShadowTest, AHigherScaleSamplesTheSameShape) {
  // Pixel centres that fall on the same DIP give the same alpha at 1x and 2x.
  for (std::uint32_t y : {20u, 112u, 208u, 250u}) {
    for (std::uint32_t x : {10u, 43u, 273u, 500u}) {
      const float px = x + 0.5f - 274;
      const float py = y + 0.5f - 113;
      const int direct =
          static_cast<int>(std::round(std::fmin(shadow_coverage(px, py), 1.0f) * 255));
      EXPECT_EQ(shadow_alpha(x, y, 1.0f), direct);
      // At scale 2 the pixel 2x with its centre at x + 0.25 is close: within one step.
      EXPECT_NEAR(shadow_alpha(2 * x, 2 * y, 2.0f), direct, 1);
    }
  }
}

}  // namespace
}  // namespace nelo
