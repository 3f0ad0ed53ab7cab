#include "tools/make_icon/logo_raster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

using nelo::icon::Image;
using nelo::icon::Rgba;

std::uint32_t read_u16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b.at(at) | (b.at(at + 1) << 8);
}

std::uint32_t read_u32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return read_u16(b, at) | (read_u16(b, at + 2) << 16);
}

// The 256 px image maps one logo unit onto two pixels; this picks the pixel
// whose top-left corner is the given logo point.
Rgba pixel_at_logo(const Image& image, double x, double y) {
  const double scale = image.size / nelo::icon::kLogoExtent;
  return image.at(static_cast<int>(x * scale), static_cast<int>(y * scale));
}

const Image& image_256() {
  static const Image image = nelo::icon::render_logo(256, 8);
  return image;
}

void expect_near_colour(const Rgba& actual, const Rgba& expected, int tolerance) {
  EXPECT_LE(std::abs(actual.r - expected.r), tolerance) << "red " << int(actual.r);
  EXPECT_LE(std::abs(actual.g - expected.g), tolerance) << "green " << int(actual.g);
  EXPECT_LE(std::abs(actual.b - expected.b), tolerance) << "blue " << int(actual.b);
}

TEST(LogoShapes, RingIsAnnulusAroundItsCentre) {
  EXPECT_FALSE(nelo::icon::in_ring(64, 58));  // centre of the hole
  EXPECT_TRUE(nelo::icon::in_ring(64, 6));    // between the circles, top
  EXPECT_TRUE(nelo::icon::in_ring(112, 58));  // between the circles, right
  EXPECT_FALSE(nelo::icon::in_ring(64, 1));   // just outside the outer circle
  EXPECT_FALSE(nelo::icon::in_ring(64, 19));  // just inside the inner circle
}

TEST(LogoShapes, TailIsTriangle) {
  EXPECT_TRUE(nelo::icon::in_tail((30 + 16 + 58) / 3.0, (94 + 126 + 112) / 3.0));
  EXPECT_FALSE(nelo::icon::in_tail(50, 96));  // above the (30,94)-(58,112) edge
  EXPECT_FALSE(nelo::icon::in_tail(16, 100));
}

TEST(LogoShapes, BarsHaveRoundedEnds) {
  const nelo::icon::Bar& tall = nelo::icon::kBars[2];
  EXPECT_TRUE(nelo::icon::in_bar(tall, 64, 31));       // middle of the rounded top
  EXPECT_FALSE(nelo::icon::in_bar(tall, 60.3, 30.3));  // cut off by the corner
  EXPECT_TRUE(nelo::icon::in_bar(tall, 60.1, 58));     // straight side
  EXPECT_FALSE(nelo::icon::in_bar(tall, 68.5, 58));
  EXPECT_FALSE(nelo::icon::in_bar(tall, 64, 86.5));
}

TEST(LogoRender, RingCentreIsTallWhiteBar) {
  const Rgba centre = pixel_at_logo(image_256(), 64, 58);
  EXPECT_EQ(centre, (Rgba{255, 255, 255, 255}));
}

TEST(LogoRender, HoleBetweenBarsIsTransparent) {
  EXPECT_EQ(pixel_at_logo(image_256(), 58, 58).a, 0);  // gap between bars 2 and 3
  EXPECT_EQ(pixel_at_logo(image_256(), 64, 24).a, 0);  // above the tall bar
  EXPECT_EQ(pixel_at_logo(image_256(), 30, 58).a, 0);  // left of the short bar
}

TEST(LogoRender, RingIsOpaqueGradient) {
  const Rgba top = pixel_at_logo(image_256(), 64, 6);
  EXPECT_EQ(top.a, 255);
  // t = (64 + 6) / 256 between #FF9A1F and #FC5F00.
  expect_near_colour(top, Rgba{254, 138, 23, 255}, 2);

  // Further down the diagonal the gradient is redder.
  const Rgba bottom_right = pixel_at_logo(image_256(), 96, 96);
  EXPECT_EQ(bottom_right.a, 255);
  expect_near_colour(bottom_right, nelo::icon::gradient_at(96.25, 96.25), 1);
  EXPECT_LT(bottom_right.g, top.g);
}

TEST(LogoRender, TailIsOpaqueGradient) {
  const Rgba tail = pixel_at_logo(image_256(), 34, 110);
  EXPECT_EQ(tail.a, 255);
  expect_near_colour(tail, nelo::icon::gradient_at(34.25, 110.25), 1);
}

TEST(LogoRender, CornersAreTransparent) {
  for (int size : nelo::icon::kIconSizes) {
    const Image image = nelo::icon::render_logo(size, 4);
    const int last = size - 1;
    EXPECT_EQ(image.at(0, 0), (Rgba{})) << size;
    EXPECT_EQ(image.at(last, 0), (Rgba{})) << size;
    EXPECT_EQ(image.at(last, last), (Rgba{})) << size;
  }
}

TEST(LogoRender, EdgePixelsHavePartialAlphaAndStraightColour) {
  // At 16 px the top of the outer circle (logo y = 2) crosses the first row
  // about a quarter of the way down: partly covered, colour not darkened.
  const Image image = nelo::icon::render_logo(16);
  const Rgba edge = image.at(8, 0);
  EXPECT_GT(edge.a, 120);
  EXPECT_LT(edge.a, 220);
  expect_near_colour(edge, nelo::icon::gradient_at(68, 5), 3);

  // At 24 px the tall bar's left side (logo x 60) cuts pixel column 11 a
  // quarter of the way in: white with partial alpha, never grey.
  const Rgba bar_edge = nelo::icon::render_logo(24).at(11, 10);
  EXPECT_GT(bar_edge.a, 150);
  EXPECT_LT(bar_edge.a, 230);
  EXPECT_EQ(bar_edge, (Rgba{255, 255, 255, bar_edge.a}));
}

TEST(LogoRender, CoverageIsMirrorSymmetricAboveTheTail) {
  // Ring and bars are symmetric about logo x = 64; only the tail (from logo
  // y = 94 down) is not. Samples placed off-centre within a pixel would shift
  // the drawing sideways and break this.
  const Image image = nelo::icon::render_logo(48);
  const int rows_above_tail = 94 * 48 / 128;
  int partial = 0;
  for (int y = 0; y < rows_above_tail; ++y) {
    for (int x = 0; x < 24; ++x) {
      ASSERT_EQ(image.at(x, y).a, image.at(47 - x, y).a) << x << "," << y;
      partial += image.at(x, y).a > 0 && image.at(x, y).a < 255;
    }
  }
  EXPECT_GT(partial, 20);  // anti-aliased edges exist to compare
}

class IcoFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (int size : nelo::icon::kIconSizes) {
      images_.push_back(nelo::icon::render_logo(size, 4));
    }
    ico_ = nelo::icon::encode_ico(images_);
  }

  static std::vector<Image> images_;
  static std::vector<std::uint8_t> ico_;
};

std::vector<Image> IcoFile::images_;
std::vector<std::uint8_t> IcoFile::ico_;

TEST_F(IcoFile, DirectoryListsFiveSizesWithConsistentOffsets) {
  ASSERT_GE(ico_.size(), 6u + 5 * 16);
  EXPECT_EQ(read_u16(ico_, 0), 0u);
  EXPECT_EQ(read_u16(ico_, 2), 1u);
  ASSERT_EQ(read_u16(ico_, 4), 5u);

  const int sizes[] = {16, 24, 32, 48, 256};
  std::size_t expected_offset = 6 + 5 * 16;
  for (int i = 0; i < 5; ++i) {
    const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
    const int n = sizes[i];
    EXPECT_EQ(ico_[entry], n % 256) << n;  // 256 is stored as 0
    EXPECT_EQ(ico_[entry + 1], n % 256) << n;
    EXPECT_EQ(read_u16(ico_, entry + 4), 1u);
    EXPECT_EQ(read_u16(ico_, entry + 6), 32u);

    const std::uint32_t bytes = read_u32(ico_, entry + 8);
    const std::uint32_t offset = read_u32(ico_, entry + 12);
    const std::size_t mask_row = ((n + 31) / 32) * 4;
    EXPECT_EQ(bytes, 40u + n * n * 4u + mask_row * n) << n;
    EXPECT_EQ(offset, expected_offset) << n;
    ASSERT_LE(offset + static_cast<std::size_t>(bytes), ico_.size()) << n;

    // BITMAPINFOHEADER: height covers XOR bitmap plus AND mask.
    EXPECT_EQ(read_u32(ico_, offset), 40u);
    EXPECT_EQ(read_u32(ico_, offset + 4), static_cast<std::uint32_t>(n));
    EXPECT_EQ(read_u32(ico_, offset + 8), static_cast<std::uint32_t>(2 * n));
    EXPECT_EQ(read_u16(ico_, offset + 14), 32u);
    EXPECT_EQ(read_u32(ico_, offset + 16), 0u);  // uncompressed
    expected_offset = offset + bytes;
  }
  EXPECT_EQ(expected_offset, ico_.size());
}

TEST_F(IcoFile, PixelsAreBottomUpBgraWithMatchingMask) {
  // Check the 48 px entry against the rendered image, pixel for pixel.
  const std::size_t entry = 6 + 16 * 3;
  const Image& image = images_[3];
  ASSERT_EQ(image.size, 48);
  const std::size_t pixels = read_u32(ico_, entry + 12) + 40;
  const std::size_t mask = pixels + 48 * 48 * 4;
  const std::size_t mask_row = 8;

  int transparent = 0;
  int opaque = 0;
  for (int y = 0; y < 48; ++y) {
    const std::size_t stored_row = static_cast<std::size_t>(47 - y);
    for (int x = 0; x < 48; ++x) {
      const Rgba& p = image.at(x, y);
      const std::size_t at = pixels + (stored_row * 48 + x) * 4;
      ASSERT_EQ(ico_[at], p.b) << x << "," << y;
      ASSERT_EQ(ico_[at + 1], p.g) << x << "," << y;
      ASSERT_EQ(ico_[at + 2], p.r) << x << "," << y;
      ASSERT_EQ(ico_[at + 3], p.a) << x << "," << y;

      const bool mask_bit = (ico_[mask + stored_row * mask_row + x / 8] >> (7 - x % 8)) & 1;
      ASSERT_EQ(mask_bit, p.a == 0) << x << "," << y;
      (p.a == 0 ? transparent : opaque)++;
    }
  }
  // The image must actually contain both, or the checks above prove little.
  EXPECT_GT(transparent, 0);
  EXPECT_GT(opaque, 0);
  // Rows are not symmetric (the tail is at the bottom), so a top-down write
  // would fail above: make sure the first and last rows differ.
  EXPECT_NE(std::vector<Rgba>(image.pixels.begin(), image.pixels.begin() + 48),
            std::vector<Rgba>(image.pixels.end() - 48, image.pixels.end()));
}

TEST(IcoEncode, RejectsImagesThatCannotBeStored) {
  std::vector<Image> too_big{Image{257, std::vector<Rgba>(257 * 257)}};
  EXPECT_THROW(nelo::icon::encode_ico(too_big), std::invalid_argument);
  std::vector<Image> wrong_buffer{Image{16, std::vector<Rgba>(10)}};
  EXPECT_THROW(nelo::icon::encode_ico(wrong_buffer), std::invalid_argument);
  EXPECT_THROW(nelo::icon::encode_ico({}), std::invalid_argument);
}

}  // namespace
