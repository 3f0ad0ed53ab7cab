#include "ui/keyboard_focus.h"

#include <gtest/gtest.h>

#include "ui/frame_parts.h"
#include "ui/launcher_ui.h"

namespace nelo {
namespace {

const std::vector<HitRect> kConsent = {{160, 100, 300, 136, Accept},
                                       {308, 100, 420, 136, OpenTerms}};
const std::vector<HitRect> kOffline = {{160, 124, 260, 160, OpenNow}, {268, 124, 380, 160, Retry}};
const std::vector<HitRect> kOneButton = {{160, 124, 280, 160, Retry}};

TEST(KeyboardFocusTest, TabWrapsAmongTheButtonsFromThePrimaryOne) {
  const struct {
    const char* name;
    std::vector<HitRect> buttons;
    std::uint8_t focused;
    bool backwards;
    std::uint8_t next;
  } cases[] = {
      {"first Tab", kConsent, NoAction, false, OpenTerms},
      {"first Shift+Tab", kConsent, NoAction, true, OpenTerms},
      {"Tab at the end wraps", kConsent, OpenTerms, false, Accept},
      {"Shift+Tab at the start wraps", kOffline, OpenNow, true, Retry},
      {"a focus the screen no longer has starts from the primary", kOffline, OpenTerms, false,
       Retry},
      {"one button keeps it", kOneButton, Retry, false, Retry},
      {"no buttons", {}, NoAction, false, NoAction},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(next_focus(c.buttons, c.focused, c.backwards), c.next) << c.name;
  }
}

TEST(KeyboardFocusTest, TheFocusedButtonIsThePrimaryUntilMoved) {
  EXPECT_EQ(focused_button(kConsent, NoAction), Accept) << "Enter as before";
  EXPECT_EQ(focused_button(kConsent, OpenTerms), OpenTerms);
  EXPECT_EQ(focused_button(kOffline, OpenTerms), OpenNow) << "another screen's button";
  EXPECT_EQ(focused_button({}, Accept), NoAction);
}

TEST(KeyboardFocusTest, TheRingSurroundsTheFocusedButtonAndMovesNothing) {
  FramePlan plan;
  plan.hits = kOffline;
  add_focus_ring(plan, Retry);
  ASSERT_EQ(plan.ops.size(), 1u);
  const auto* ring = std::get_if<FocusRingOp>(&plan.ops[0]);
  ASSERT_NE(ring, nullptr);
  EXPECT_EQ(ring->rect, (RectF{265, 121, 383, 163}));
  EXPECT_EQ(ring->width, 2);
  EXPECT_EQ(ring->colour, kWhite);
  // Its outer edge stays within half the gap to the next button.
  EXPECT_GE(ring->rect.left - ring->width / 2, kOffline[0].right + 4);
  EXPECT_EQ(plan.hits, kOffline);

  FramePlan none;
  none.hits = kOffline;
  add_focus_ring(none, Accept);
  add_focus_ring(none, NoAction);
  EXPECT_TRUE(none.ops.empty());
}

}  // namespace
}  // namespace nelo
