#include "ui/frame_plan.h"

#include <gtest/gtest.h>

#include "tests/native/fake_text_width.h"
#include "ui/shapes.h"

#include <cmath>

namespace nelo {
namespace {

using testing_support::code_points;
using testing_support::fake_width;

template <class Op>
std::vector<Op> ops_of(const FramePlan& plan) {
  std::vector<Op> found;
  for (const DrawOp& op : plan.ops) {
    if (const auto* typed = std::get_if<Op>(&op)) {
      found.push_back(*typed);
    }
  }
  return found;
}

TEST(FramePlanTest, EveryFrameStartsWithShadowBorderCardAndLogo) {
  const FramePlan plan = plan_frame(UiSnapshot{}, 0.5f, NoAction, fake_width);
  ASSERT_GE(plan.ops.size(), 4u);
  EXPECT_TRUE(std::holds_alternative<ShadowOp>(plan.ops[0]));
  const auto& border = std::get<RoundedRectOp>(plan.ops[1]);
  EXPECT_EQ(border.rect, (RectF{44, 18, 504, 208}));
  EXPECT_EQ(border.radius, 22);
  EXPECT_EQ(border.colour, rgb(0x2C2C2C));
  const auto& card = std::get<RoundedRectOp>(plan.ops[2]);
  EXPECT_EQ(card.rect, (RectF{45, 19, 503, 207}));
  EXPECT_EQ(card.radius, 21);
  EXPECT_EQ(card.colour, rgb(0x161616));
  EXPECT_EQ(std::get<LogoOp>(plan.ops[3]).size, 72);
}

TEST(FramePlanTest, OnlyLaunchingPulsesTheLogo) {
  struct Case {
    Phase phase;
    float t;
    float size;
  };
  const Case cases[] = {
      {Checking{}, 0.4f, 72},
      {Offline{3, true}, 0.4f, 72},
      {Launching{}, 0.0f, 72},
      {Launching{}, 0.4f, 72 * 1.06f},  // a quarter period: the peak
      {Launching{}, 0.2f, 72 * (1 + 0.06f * std::sin(2 * 3.14159265f * 0.2f / 1.6f))},
      {Launching{}, 1.2f, 72},          // the sine's negative half leaves the logo at rest
      {Launching{}, 2.0f, 72 * 1.06f},  // the next period
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(logo_size(c.phase, c.t), c.size, 1e-3) << c.phase.index() << " t=" << c.t;
  }
}

TEST(FramePlanTest, LogoStaysCentredWhileItPulses) {
  const LogoPlacement rest = logo_placement(72);
  EXPECT_FLOAT_EQ(rest.scale, 72.0f / 128);
  EXPECT_FLOAT_EQ(rest.dx, 68);
  EXPECT_FLOAT_EQ(rest.dy, 77);
  const LogoPlacement peak = logo_placement(76.32f);
  EXPECT_FLOAT_EQ(peak.scale, 76.32f / 128);
  EXPECT_NEAR(peak.dx, 65.84f, 1e-4);
  EXPECT_NEAR(peak.dy, 74.84f, 1e-4);
  // The centre of the 128-unit logo lands on (104, 113) either way.
  EXPECT_NEAR(peak.dx + 64 * peak.scale, 104, 1e-4);
  EXPECT_NEAR(peak.dy + 64 * peak.scale, 113, 1e-4);
}

TEST(FramePlanTest, DeterminateBar) {
  struct Case {
    float fraction;
    bool filled;
    float right;
  };
  const Case cases[] = {
      {0.0f, false, 0},    {-0.2f, false, 0},     {0.001f, true, 168},  // never thinner than 8
      {0.025f, true, 168}, {0.04f, true, 172.8f}, {0.5f, true, 320},
      {1.0f, true, 480},   {1.5f, true, 480},  // more than announced: full, not past the track
  };
  for (const Case& c : cases) {
    FramePlan plan;
    add_progress_bar(plan, BarMode::Determinate, c.fraction, 3.0f);
    const auto rects = ops_of<RoundedRectOp>(plan);
    ASSERT_EQ(rects.size(), c.filled ? 2u : 1u) << c.fraction;
    EXPECT_EQ(rects[0].rect, (RectF{160, 128, 480, 136}));
    EXPECT_EQ(rects[0].radius, 4);
    EXPECT_EQ(rects[0].colour, rgb(0x2A2A2A));
    if (c.filled) {
      EXPECT_FLOAT_EQ(rects[1].rect.left, 160);
      EXPECT_FLOAT_EQ(rects[1].rect.top, 128);
      EXPECT_NEAR(rects[1].rect.right, c.right, 1e-4) << c.fraction;
      EXPECT_FLOAT_EQ(rects[1].rect.bottom, 136);
      EXPECT_EQ(rects[1].radius, 4);
      EXPECT_EQ(rects[1].colour, rgb(0xFC7A00));
    }
    EXPECT_TRUE(ops_of<MaskedRoundedRectOp>(plan).empty());
  }
}

TEST(FramePlanTest, SlidingBarCrossesTheTrackEvery1Point4Seconds) {
  struct Case {
    float t;
    float left;
  };
  const Case cases[] = {
      {0.0f, 32},        // enters from the left: wholly before the track
      {0.35f, 144},      // a quarter of the way
      {0.7f, 256},       // half way
      {1.4f, 32},        // the next crossing
      {2.45f, 368},      // three quarters of the second crossing
      {13.93f, 457.6f},  // 9.95 crossings in
  };
  for (const Case& c : cases) {
    FramePlan plan;
    add_progress_bar(plan, BarMode::Sliding, 0, c.t);
    ASSERT_EQ(ops_of<RoundedRectOp>(plan).size(), 1u);  // the track
    const auto segments = ops_of<MaskedRoundedRectOp>(plan);
    ASSERT_EQ(segments.size(), 1u);
    const MaskedRoundedRectOp& segment = segments[0];
    EXPECT_EQ(segment.mask, (RectF{160, 128, 480, 136}));
    EXPECT_EQ(segment.mask_radius, 4);
    EXPECT_NEAR(segment.rect.left, c.left, 2e-3) << c.t;
    EXPECT_NEAR(segment.rect.right - segment.rect.left, 128, 1e-4);
    EXPECT_EQ(segment.rect.top, 128);
    EXPECT_EQ(segment.rect.bottom, 136);
    EXPECT_EQ(segment.colour, rgb(0xFC7A00));
  }
}

TEST(FramePlanTest, TheSpinnerIsAThreeQuarterArcTurningOnceEvery0Point9Seconds) {
  // Its figure, drawn about the op's point: three quarters of a circle of radius 7, from (7, 0)
  // to (0, -7) the long way round. Wine 8 draws no arcs, so no screenshot shows it.
  EXPECT_EQ(kSpinnerStart, (PointF{7, 0}));
  EXPECT_EQ(kSpinnerArc.end, (PointF{0, -7}));
  EXPECT_EQ(kSpinnerArc.radius, 7);
  EXPECT_TRUE(kSpinnerArc.large);
  for (const float t : {0.0f, 0.45f, 0.9f, 2.0f}) {
    FramePlan plan;
    add_spinner(plan, t);
    const auto spinners = ops_of<SpinnerOp>(plan);
    ASSERT_EQ(spinners.size(), 1u);
    EXPECT_NEAR(spinners[0].angle_degrees, 400 * t, 1e-3);
    EXPECT_EQ(spinners[0].at, (PointF{169, 78}));
    EXPECT_EQ(spinners[0].colour, rgb(0xFC7A00));
  }
}

TEST(FramePlanTest, FooterEndsTheRightTextAtTheColumnEdge) {
  FramePlan plan;
  add_footer(plan, "42%", "Versão 1.2.3", fake_width);
  const auto texts = ops_of<TextOp>(plan);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, "42%");
  EXPECT_EQ(texts[0].box, (RectF{160, 144, 320, 160}));
  EXPECT_EQ(texts[0].format, TextFormat::Small);
  EXPECT_EQ(texts[0].colour, rgb(0x8F8F8F));
  EXPECT_EQ(texts[1].text, "Versão 1.2.3");  // 12 characters of 6 DIPs
  EXPECT_EQ(texts[1].box, (RectF{408, 144, 482, 160}));
  EXPECT_EQ(texts[1].format, TextFormat::Small);
  EXPECT_EQ(texts[1].colour, rgb(0x8F8F8F));
}

TEST(FramePlanTest, ButtonRowLaysOutAndHitTestsInTableOrder) {
  FramePlan plan;
  add_button_row(plan, 128, kConsentButtons, NoAction, fake_width);
  // "Aceitar e instalar": 18 x 7 + 28 = 154; "Ler os termos": 13 x 7 + 28 = 119, 8 further on.
  const std::vector<HitRect> expected = {
      {160, 128, 314, 164, Accept},
      {322, 128, 441, 164, OpenTerms},
  };
  EXPECT_EQ(plan.hits, expected);
  const auto fills = ops_of<RoundedRectOp>(plan);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].rect, (RectF{160, 128, 314, 164}));
  EXPECT_EQ(fills[0].radius, 11);
  EXPECT_EQ(fills[0].colour, rgb(0xFC7A00));
  EXPECT_EQ(fills[1].colour, rgb(0x2A2A2A));
  const auto labels = ops_of<TextOp>(plan);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].text, "Aceitar e instalar");
  EXPECT_EQ(labels[0].format, TextFormat::Button);
  EXPECT_EQ(labels[0].box, (RectF{160, 128, 314, 164}));
  EXPECT_EQ(labels[0].colour, rgb(0xFFFFFF));
  EXPECT_EQ(labels[1].text, "Ler os termos");
  // Each label is drawn after its own fill, so no fill covers a label.
  EXPECT_TRUE(std::holds_alternative<RoundedRectOp>(plan.ops[0]));
  EXPECT_TRUE(std::holds_alternative<TextOp>(plan.ops[1]));
}

TEST(FramePlanTest, HoveredButtonIsLighter) {
  struct Case {
    std::uint8_t hovered;
    Colour primary;
    Colour secondary;
  };
  const Case cases[] = {
      {NoAction, rgb(0xFC7A00), rgb(0x2A2A2A)},
      {OpenNow, rgb(0xFF8B1F), rgb(0x2A2A2A)},
      {Retry, rgb(0xFC7A00), rgb(0x343434)},
      {Accept, rgb(0xFC7A00), rgb(0x2A2A2A)},  // a code of no button here
  };
  for (const Case& c : cases) {
    FramePlan plan;
    add_button_row(plan, 124, kInstalledButtons, c.hovered, fake_width);
    const auto fills = ops_of<RoundedRectOp>(plan);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0].colour, c.primary) << int(c.hovered);
    EXPECT_EQ(fills[1].colour, c.secondary) << int(c.hovered);
  }
}

}  // namespace
}  // namespace nelo
