#include "ui/window_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ui/launcher_ui.h"

namespace nelo {
namespace {

TEST(WindowGeometryTest, SurfaceFollowsTheScale) {
  struct Case {
    std::uint32_t dpi;
    SurfaceSize size;
  };
  const Case cases[] = {
      {96, {548, 292}},   {120, {685, 365}}, {144, {822, 438}},
      {192, {1096, 584}}, {0, {548, 292}},  // a system reporting no DPI counts as 96
  };
  for (const Case& c : cases) {
    EXPECT_EQ(surface_size(scale_for_dpi(c.dpi)), c.size) << c.dpi;
  }
  // Fractions of a pixel round up: 548 x 1.25 = 685 exactly, 292 x 1.1 = 321.2 -> 322.
  EXPECT_EQ(surface_size(1.1f).height, 322u);
  EXPECT_EQ(surface_size(std::numeric_limits<float>::quiet_NaN()), (SurfaceSize{0, 0}));
  EXPECT_EQ(surface_size(1e30f).width, static_cast<std::uint32_t>(INT32_MAX));
}

TEST(WindowGeometryTest, WindowCentresTheCardInTheWorkArea) {
  struct Case {
    ScreenRect area;
    float scale;
    ScreenPoint expected;
  };
  const Case cases[] = {
      {{0, 0, 1920, 1040}, 1.0f, {686, 407}},
      // 1.5: 44 -> 66, 460 -> 690, 18 -> 27, 190 -> 285.
      {{0, 0, 1920, 1040}, 1.5f, {549, 350}},
      // A work area that does not start at the origin (taskbar at the left or top).
      {{100, 40, 1380, 1024}, 1.0f, {466, 419}},
      // Odd differences halve toward zero; 1.25: 44 -> 55, 460 -> 575, 18 -> 22 (22.5), 190 ->
      // 237 (237.5).
      {{0, 0, 1367, 767}, 1.25f, {341, 243}},
      // A work area smaller than the card: the halving of a negative number truncates toward 0.
      {{0, 0, 401, 101}, 1.0f, {-73, -62}},
      {{0, 0, 0, 0}, 1.0f, {-274, -113}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window_position(c.area, c.scale), c.expected)
        << c.area.right << "x" << c.area.bottom << " at " << c.scale;
  }
}

TEST(WindowGeometryTest, AWindowMovedToAnotherScaleKeepsItsCardInsideTheWorkArea) {
  // The card spans x 44..504 and y 18..208 DIPs of the window.
  struct Case {
    const char* name;
    ScreenPoint wanted;
    ScreenRect area;
    float scale;
    ScreenPoint expected;
  };
  const Case cases[] = {
      {"inside already", {100, 100}, {0, 0, 1920, 1040}, 1.0f, {100, 100}},
      {"the margin may lie outside", {-44, -18}, {0, 0, 1920, 1040}, 1.0f, {-44, -18}},
      {"off the left", {-300, 10}, {0, 0, 1920, 1040}, 1.5f, {-66, 10}},
      {"off the right and bottom", {1500, 900}, {0, 0, 1920, 1040}, 1.0f, {1416, 832}},
      // At 1.5 the card is 690 x 285: its right edge at 1920 - 690 - 66.
      {"off the right at 1.5", {1500, 0}, {0, 0, 1920, 1040}, 1.5f, {1164, 0}},
      {"a second monitor left of the first", {-2500, 50}, {-1920, 0, 0, 1080}, 2.0f, {-2008, 50}},
      {"an area smaller than the card keeps to its left and top",
       {500, 500},
       {0, 0, 300, 100},
       1.0f,
       {-44, -18}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keep_card_inside(c.wanted, c.area, c.scale), c.expected) << c.name;
  }
  const ScreenRect huge = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  EXPECT_EQ(keep_card_inside({INT32_MAX, INT32_MIN}, huge, 1.0f),
            (ScreenPoint{INT32_MAX - 504, INT32_MIN + 0}))
      << "no overflow at the edges of the coordinate space";
}

TEST(WindowGeometryTest, WindowPositionSaturatesInsteadOfOverflowing) {
  const ScreenRect huge = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  const ScreenPoint at = window_position(huge, 1.0f);
  EXPECT_LE(at.x, 0);
  EXPECT_GE(at.x, -300);
}

TEST(WindowGeometryTest, SaturatingConversions) {
  EXPECT_EQ(saturate_to_i32(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(saturate_to_i32(-1e20), INT32_MIN);
  EXPECT_EQ(saturate_to_i32(1e20), INT32_MAX);
  EXPECT_EQ(saturate_to_i32(-2.9), -2);
  EXPECT_EQ(saturate_to_u32(-3.0), 0u);
  EXPECT_EQ(saturate_to_u32(std::numeric_limits<double>::quiet_NaN()), 0u);
  EXPECT_EQ(saturate_to_u32(5e9), UINT32_MAX);
  EXPECT_EQ(saturate_to_u32(99.99), 99u);
}

const std::vector<HitRect> kTwoButtons = {
    {160, 124, 260, 160, OpenNow},
    {268, 124, 380, 160, Retry},
};

TEST(WindowGeometryTest, ButtonHitTestIncludesEveryEdge) {
  struct Case {
    float x;
    float y;
    std::uint8_t action;
  };
  const Case cases[] = {
      {160, 124, OpenNow},       // top-left corner
      {260, 160, OpenNow},       // bottom-right corner
      {200, 142, OpenNow},       // inside
      {260.01f, 142, NoAction},  // just right of the first
      {264, 142, NoAction},      // the gap between the two
      {268, 142, Retry},         // left edge of the second
      {380, 160, Retry},        {380.01f, 160, NoAction},
      {200, 123.99f, NoAction}, {200, 160.01f, NoAction},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(button_at(kTwoButtons, c.x, c.y), c.action) << c.x << "," << c.y;
  }
  EXPECT_EQ(button_at({}, 200, 142), NoAction);
}

TEST(WindowGeometryTest, OverlappingButtonsGoToTheFirst) {
  const std::vector<HitRect> overlapping = {{0, 0, 10, 10, Accept}, {5, 5, 15, 15, OpenTerms}};
  EXPECT_EQ(button_at(overlapping, 7, 7), Accept);
  EXPECT_EQ(button_at(overlapping, 12, 12), OpenTerms);
}

TEST(WindowGeometryTest, WindowAreas) {
  struct Case {
    float x;
    float y;
    HitArea area;
  };
  const Case cases[] = {
      {200, 142, HitArea::Client},     // a button
      {100, 50, HitArea::Caption},     // the card away from the buttons
      {44, 18, HitArea::Caption},      // the card's top-left corner
      {504, 208, HitArea::Caption},    // its bottom-right corner
      {43.9f, 100, HitArea::Nowhere},  // margin, left
      {504.1f, 100, HitArea::Nowhere}, {300, 17.9f, HitArea::Nowhere},
      {300, 208.1f, HitArea::Nowhere},  // where the shadow is heaviest: still no input
      {0, 0, HitArea::Nowhere},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hit_area(&kTwoButtons, c.x, c.y), c.area) << c.x << "," << c.y;
  }
  // Without a window record only the card counts.
  EXPECT_EQ(hit_area(nullptr, 200, 142), HitArea::Caption);
  EXPECT_EQ(hit_area(nullptr, 20, 142), HitArea::Nowhere);
  EXPECT_EQ(static_cast<int>(HitArea::Nowhere), 0);
  EXPECT_EQ(static_cast<int>(HitArea::Client), 1);
  EXPECT_EQ(static_cast<int>(HitArea::Caption), 2);
}

}  // namespace
}  // namespace nelo
