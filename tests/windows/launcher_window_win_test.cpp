// The launcher window on the screen: every screen photographed from the X display and checked
// pixel by pixel, and real pointer and keyboard input (window_toolkit.h has the means).
//
// Wine draws a layered window by cutting away its fully transparent pixels and painting the
// others without blending, so on this screen the shadow shows black wherever its alpha is above
// zero; the shadow's shape is therefore checked on the window's own surface instead.
//
// Without a window manager Wine takes 2 s to close a window, so the screen and input tests share
// one window. No test waits a fixed time: a message hook on the window's thread counts the frames
// and the input that the thread takes, and a test waits for the messages that show its change.
#include "ui/launcher_window_win.h"
#include "ui/paint_frame_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "tests/windows/test_support.h"
#include "tests/windows/window_toolkit.h"
#include "ui/frame_plan.h"
#include "ui/shadow.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;

// A button row as found in a screenshot: the runs of button colour along a line 9 DIPs below the
// buttons' top, under their round corners (radius 11) and above their labels.
struct FoundButton {
  float left;
  float right;
  Rgb colour;
};

std::vector<FoundButton> find_buttons(const Shot& shot, float top) {
  std::vector<FoundButton> buttons;
  const int y = static_cast<int>((top + 9) * shot.scale);
  const Rgb card = rgb_of(kCardColour);
  int x = static_cast<int>(150 * shot.scale);
  const int end = static_cast<int>(495 * shot.scale);
  while (x < end) {
    if (looks_like(shot.pixel(x, y), card, 3)) {
      ++x;
      continue;
    }
    const int start = x;
    const Rgb colour = shot.pixel(start + static_cast<int>(4 * shot.scale), y);
    while (x < end && !looks_like(shot.pixel(x, y), card, 3)) {
      ++x;
    }
    buttons.push_back({start / shot.scale, x / shot.scale, colour});
  }
  return buttons;
}

// What every screen shows whatever its phase.
void expect_frame(const Shot& shot) {
  EXPECT_TRUE(looks_like(shot.at(470, 30), rgb_of(kCardColour))) << "card";
  EXPECT_TRUE(looks_like(shot.at(300, 200), rgb_of(kCardColour))) << "card, low";
  EXPECT_TRUE(looks_like(shot.at(44.3f, 113), rgb_of(kCardBorderColour), 8)) << "left border";
  EXPECT_TRUE(looks_like(shot.at(503.7f, 113), rgb_of(kCardBorderColour), 8)) << "right border";
  // Fully transparent corners of the margin show the desktop behind, untouched.
  EXPECT_TRUE(looks_like(shot.pixel(0, 0), rgb_of(kBackdrop), 0)) << "top-left margin";
  EXPECT_TRUE(looks_like(shot.pixel(shot.width - 1, 0), rgb_of(kBackdrop), 0))
      << "top-right margin";
  // Where the shadow has some alpha the window covers the desktop (Wine paints it unblended).
  EXPECT_FALSE(looks_like(shot.at(274, 250), rgb_of(kBackdrop), 10)) << "shadow below the card";
  // The logo: its gradient tail and its middle white bar.
  const Rgb tail = shot.at(87.5f, 139);
  EXPECT_GT(tail.r, 230) << tail;
  EXPECT_LT(tail.b, 60) << tail;
  EXPECT_TRUE(looks_like(shot.at(104, 109), {255, 255, 255}, 10)) << "logo bar";
}

int white_pixels(const Shot& shot, float left, float top, float right, float bottom) {
  return shot.count(left, top, right, bottom, [](const Rgb& c) { return c.r > 200 && c.g > 200; });
}
int grey_pixels(const Shot& shot, float left, float top, float right, float bottom) {
  return shot.count(left, top, right, bottom, [](const Rgb& c) {
    return c.r > 70 && std::abs(c.r - c.g) < 8 && std::abs(c.g - c.b) < 8;
  });
}

enum class BarCheck { None, Empty, Half, Full, Sliding };

struct ScreenCase {
  const char* name;
  Phase phase;
  float title_top;
  float detail_top;
  BarCheck bar;
  bool check_mark;
  float buttons_top;  // 0: none
  int buttons;
};

void PrintTo(const ScreenCase& c, std::ostream* out) {
  *out << c.name;
}

// The screenshot's name, with what GoogleTest does not take in a test name made underscores.
std::string case_name(const ::testing::TestParamInfo<ScreenCase>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      c = '_';
    }
  }
  return "Phase" + name;
}

class ScreenTest : public LauncherWindowTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenTest, LooksAsItsRowOfTheCatalogueSays) {
  const ScreenCase& c = GetParam();
  ASSERT_TRUE(show(c.phase));
  const Shot shot = take_shot(c.name);
  ASSERT_TRUE(shot.valid()) << "no screenshot";
  EXPECT_EQ(shot.width, static_cast<int>(surface_size(scale_).width));
  EXPECT_EQ(shot.height, static_cast<int>(surface_size(scale_).height));
  expect_frame(shot);

  EXPECT_GT(white_pixels(shot, 160, c.title_top, 480, c.title_top + 24), 40) << "title";
  EXPECT_GT(grey_pixels(shot, 160, c.detail_top, 480, c.detail_top + 18), 20) << "detail";

  const Rgb accent = rgb_of(kAccentColour);
  const Rgb track = rgb_of(kTrackColour);
  switch (c.bar) {
    case BarCheck::None:
      // Right of every button, where a track would end.
      EXPECT_TRUE(looks_like(shot.at(476, 132), rgb_of(kCardColour))) << "no bar";
      break;
    case BarCheck::Empty:
      EXPECT_TRUE(looks_like(shot.at(164, 132), track)) << "empty track";
      EXPECT_TRUE(looks_like(shot.at(470, 132), track)) << "track";
      break;
    case BarCheck::Half:
      EXPECT_TRUE(looks_like(shot.at(164, 132), accent)) << "fill";
      EXPECT_TRUE(looks_like(shot.at(310, 132), accent)) << "fill";
      EXPECT_TRUE(looks_like(shot.at(330, 132), track)) << "track";
      EXPECT_TRUE(looks_like(shot.at(470, 132), track)) << "track";
      break;
    case BarCheck::Full:
      EXPECT_TRUE(looks_like(shot.at(164, 132), accent)) << "fill";
      EXPECT_TRUE(looks_like(shot.at(470, 132), accent)) << "fill";
      break;
    case BarCheck::Sliding:
      // Wine ignores the layer's mask: the segment is seen, not its clipping to the track. It
      // enters at the track's left end and leaves past its right one, so at the start and the
      // end of a pass it lies (nearly) outside the track: it is looked for from the logo's right
      // (whose orange is not the segment) to the surface's edge, where some of it always is.
      EXPECT_GT(shot.count(110, 129, 547, 135, [&](const Rgb& p) { return looks_like(p, accent); }),
                0)
          << "sliding segment";
      break;
  }
  if (c.check_mark) {
    EXPECT_TRUE(looks_like(shot.at(163.2f, 109.2f), rgb_of(kCheckColour), 30)) << "check mark";
  } else {
    // Other screens may have text there, but nothing green.
    EXPECT_FALSE(looks_like(shot.at(163.2f, 109.2f), rgb_of(kCheckColour), 60)) << "check mark";
  }
  if (c.buttons == 0) {
    EXPECT_EQ(shot.count(160, 150, 480, 200, [&](const Rgb& p) { return looks_like(p, accent); }),
              0);
    return;
  }
  const std::vector<FoundButton> found = find_buttons(shot, c.buttons_top);
  ASSERT_EQ(static_cast<int>(found.size()), c.buttons);
  EXPECT_NEAR(found[0].left, 160, 1.5);
  EXPECT_TRUE(looks_like(found[0].colour, accent)) << "primary";
  if (c.buttons == 2) {
    EXPECT_NEAR(found[1].left - found[0].right, 8, 1.5) << "gap";
    EXPECT_TRUE(looks_like(found[1].colour, rgb_of(kSecondaryColour))) << "secondary";
  }
  // Labels in white on the buttons.
  EXPECT_GT(white_pixels(shot, found[0].left + 4, c.buttons_top + 10, found[0].right - 4,
                         c.buttons_top + 28),
            20);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPhase, ScreenTest,
    ::testing::Values(
        ScreenCase{"0-consent", Consent{}, 52, 82, BarCheck::None, false, 128, 2},
        ScreenCase{"1-installing", Installing{42'500'000, 85'000'000, 2'400'000}, 66, 98,
                   BarCheck::Half, false, 0, 0},
        ScreenCase{"1-installing-start", Installing{0, 0, 0}, 66, 98, BarCheck::Empty, false, 0, 0},
        ScreenCase{"2-checking", Checking{}, 66, 98, BarCheck::Sliding, false, 0, 0},
        ScreenCase{"3-updating", Updating{"2.4.0", "Sons e vídeo", 6'000'000, 12'000'000, 3}, 66,
                   98, BarCheck::Half, false, 0, 0},
        ScreenCase{"4-updated", Updated{}, 66, 98, BarCheck::Full, true, 0, 0},
        ScreenCase{"5-launching", Launching{false}, 66, 98, BarCheck::Sliding, false, 0, 0},
        ScreenCase{"5-launching-resuming", Launching{true}, 66, 98, BarCheck::Sliding, false, 0, 0},
        ScreenCase{"6-offline", Offline{4, true}, 60, 92, BarCheck::None, false, 124, 2},
        ScreenCase{"6-offline-first-install", Offline{12, false}, 60, 92, BarCheck::None, false,
                   124, 1},
        ScreenCase{"7-failed", Failed{"lista inválida", "Não deu para atualizar", true}, 60, 92,
                   BarCheck::None, false, 124, 2},
        ScreenCase{"7-failed-first-install", Failed{"sem internet", "Não deu para instalar", false},
                   60, 92, BarCheck::None, false, 124, 1}),
    case_name);

TEST_F(LauncherWindowTest, IsALayeredPopupCentredInTheWorkArea) {
  const HWND window = find_launcher_window();
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const ScreenPoint expected =
      window_position({work.left, work.top, work.right, work.bottom}, scale_);
  EXPECT_EQ(rect_.left, expected.x);
  EXPECT_EQ(rect_.top, expected.y);
  EXPECT_EQ(static_cast<std::uint32_t>(rect_.right - rect_.left), surface_size(scale_).width);
  EXPECT_EQ(static_cast<std::uint32_t>(rect_.bottom - rect_.top), surface_size(scale_).height);
  EXPECT_EQ(::GetWindowLongW(window, GWL_STYLE) & WS_POPUP, static_cast<LONG>(WS_POPUP));
  EXPECT_EQ(::GetWindowLongW(window, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_EQ(::GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_LAYERED | WS_EX_APPWINDOW),
            WS_EX_LAYERED | WS_EX_APPWINDOW);
  EXPECT_EQ(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_NE(::SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
}

TEST_F(LauncherWindowTest, SystemDpiIsTheOneAsked) {
  // CTest sets NELO_EXPECT_DPI to the DPI of the prefix, so that the run fails if the prefix did
  // not take the setting.
  wchar_t asked[16] = L"";
  if (::GetEnvironmentVariableW(L"NELO_EXPECT_DPI", asked, 16) == 0) {
    GTEST_SKIP() << "no DPI asked for";
  }
  const UINT dpi = static_cast<UINT>(std::wcstoul(asked, nullptr, 10));
  EXPECT_EQ(::GetDpiForSystem(), dpi);
  // The 548 x 292 DIPs of the surface in pixels at that DPI.
  struct WindowSize {
    UINT dpi;
    LONG width;
    LONG height;
  };
  constexpr WindowSize kSizes[] = {{96, 548, 292}, {144, 822, 438}};
  const auto size = std::find_if(std::begin(kSizes), std::end(kSizes),
                                 [dpi](const WindowSize& s) { return s.dpi == dpi; });
  ASSERT_NE(size, std::end(kSizes)) << "no size known for " << dpi << " DPI";
  EXPECT_EQ(rect_.right - rect_.left, size->width);
  EXPECT_EQ(rect_.bottom - rect_.top, size->height);
}

TEST_F(LauncherWindowTest, PrimaryButtonLightsUpUnderThePointerAndGoesBackAfter) {
  ASSERT_TRUE(show(Offline{5, true}));
  // From outside the window (where every test starts) onto the button.
  int moves = taken_messages().pointer_moves;
  ASSERT_TRUE(move_pointer(166, 142));
  ASSERT_TRUE(taken(taken_messages().pointer_moves, moves + 1, "the pointer's move"));
  const Shot hovered = take_shot("6-offline-hover");
  ASSERT_TRUE(hovered.valid());
  std::vector<FoundButton> buttons = find_buttons(hovered, 124);
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_TRUE(looks_like(buttons[0].colour, rgb_of(kAccentHoverColour), 2)) << "hovered primary";
  EXPECT_TRUE(looks_like(buttons[1].colour, rgb_of(kSecondaryColour), 2));

  // Onto the secondary button, then off the buttons onto the card.
  moves = taken_messages().pointer_moves;
  ASSERT_TRUE(move_pointer((buttons[1].left + buttons[1].right) / 2, 130));
  ASSERT_TRUE(taken(taken_messages().pointer_moves, moves + 1, "the pointer's move"));
  buttons = find_buttons(take_shot("6-offline-hover-secondary"), 124);
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_TRUE(looks_like(buttons[0].colour, rgb_of(kAccentColour), 2));
  EXPECT_TRUE(looks_like(buttons[1].colour, rgb_of(kSecondaryHoverColour), 2))
      << "hovered secondary";

  const int leaves = taken_messages().pointer_leaves;
  ASSERT_TRUE(move_pointer(400, 60));
  ASSERT_TRUE(taken(taken_messages().pointer_leaves, leaves + 1, "WM_MOUSELEAVE"));
  buttons = find_buttons(take_shot("6-offline-hover-gone"), 124);
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_TRUE(looks_like(buttons[0].colour, rgb_of(kAccentColour), 2));
  EXPECT_TRUE(looks_like(buttons[1].colour, rgb_of(kSecondaryColour), 2))
      << "highlight left behind";
}

TEST_F(LauncherWindowTest, ClickOnTryAgainStoresRetry) {
  ASSERT_TRUE(show(Offline{9, false}));
  ASSERT_TRUE(click(200, 142));
  EXPECT_TRUE(wait_until([this] { return peek_action(*ui_) == Retry; }, 3s))
      << int(peek_action(*ui_));
  EXPECT_EQ(take_action(*ui_), Retry);
  EXPECT_EQ(take_action(*ui_), NoAction);
}

TEST_F(LauncherWindowTest, ClickOnTheButtonsEdgeCounts) {
  ASSERT_TRUE(show(Offline{9, false}));
  // The button's left edge at x 160 (its corners are round, so the middle of the edge).
  ASSERT_TRUE(click(160.2f, 142));
  EXPECT_TRUE(wait_until([this] { return peek_action(*ui_) == Retry; }, 3s));
}

TEST_F(LauncherWindowTest, EnterOnTheConsentScreenStoresAccept) {
  ASSERT_TRUE(show(Consent{}));
  ASSERT_TRUE(press("Return"));
  EXPECT_TRUE(wait_until([this] { return peek_action(*ui_) == Accept; }, 3s))
      << int(peek_action(*ui_));
}

// Each case starts on a new screen, where the focus is on the primary button.
TEST_F(LauncherWindowTest, TabMovesTheFocusAndSpaceOrEnterPressesTheFocusedButton) {
  const struct {
    const char* name;
    Phase phase;
    const char* keys;
    std::uint8_t action;
  } cases[] = {
      {"consent, Tab", Consent{}, "Tab Return", OpenTerms},
      {"consent, Tab twice wraps", Consent{}, "Tab Tab space", Accept},
      {"consent, Shift+Tab wraps back", Consent{}, "shift+Tab space", OpenTerms},
      {"consent, Space alone", Consent{}, "space", Accept},
      {"offline, Tab", Offline{30, true}, "Tab space", Retry},
      {"offline, Shift+Tab twice", Offline{30, true}, "shift+Tab shift+Tab Return", OpenNow},
      {"offline without a version", Offline{30, false}, "Tab Return", Retry},
      {"failed, Tab", Failed{"sem internet", "Não deu para atualizar", true}, "Tab Return", Retry},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(show(Checking{}));
    ASSERT_TRUE(show(c.phase));
    ASSERT_TRUE(press(c.keys));
    EXPECT_TRUE(wait_until([&] { return peek_action(*ui_) == c.action; }, 3s))
        << c.name << ": " << int(peek_action(*ui_));
    (void)take_action(*ui_);
  }
  ASSERT_TRUE(show(Checking{}));
}

// The ring shows once Tab has been used, around the focused button, and never for a pointer.
TEST_F(LauncherWindowTest, TheFocusRingShowsOnlyAfterTab) {
  ASSERT_TRUE(show(Checking{}));
  ASSERT_TRUE(show(Offline{30, true}));
  const auto white_around = [](const Shot& shot, const FoundButton& button) {
    // The ring's middle line, 3 DIPs left of the button, at the button's middle height.
    return shot.count(button.left - 4, 138, button.left - 2, 146,
                      [](const Rgb& p) { return looks_like(p, rgb_of(kWhite), 40) ? 1 : 0; });
  };
  const Shot before = take_shot("6-offline-no-ring");
  ASSERT_TRUE(before.valid());
  const std::vector<FoundButton> buttons = find_buttons(before, 124);
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(white_around(before, buttons[0]), 0);
  EXPECT_EQ(white_around(before, buttons[1]), 0);
  ASSERT_TRUE(move_pointer((buttons[1].left + buttons[1].right) / 2, 142));
  ASSERT_TRUE(frames_passed(kFramesToDrawAChange));
  EXPECT_EQ(white_around(take_shot("6-offline-pointer-no-ring"), buttons[1]), 0)
      << "a pointer over a button draws no ring";
  // Off the button again, and its highlight gone (Wine says so on a timer).
  ASSERT_TRUE(move_pointer(400, 60));
  ASSERT_TRUE(wait_until([] { return !taken_messages().on_button; }, 10s)) << "no WM_MOUSELEAVE";
  ASSERT_TRUE(frames_passed(kFramesToDrawAChange));

  const int keys = taken_messages().key_downs;
  ASSERT_TRUE(press("Tab"));
  ASSERT_TRUE(taken(taken_messages().key_downs, keys + 1, "Tab"));
  ASSERT_TRUE(frames_passed(kFramesToDrawAChange));
  const Shot ring = take_shot("6-offline-focus-ring");
  EXPECT_EQ(white_around(ring, buttons[0]), 0);
  EXPECT_GT(white_around(ring, buttons[1]), 0) << "the ring around the focused button";
  // The buttons are where and as they were: their edges, just inside, in their colours.
  for (const FoundButton& button : buttons) {
    for (const float x :
         {button.left + 1.5f, (button.left + button.right) / 2, button.right - 1.5f}) {
      EXPECT_TRUE(looks_like(ring.at(x, 142), before.at(x, 142), 2)) << x;
    }
  }
  ASSERT_TRUE(show(Checking{}));
}

// The buttons' spans along the middle of the consent row, in pixels of the window, as the
// window's own hit test gives them (client area = a button).
std::vector<std::pair<LONG, LONG>> hit_spans(HWND window, LONG y_pixel) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  std::vector<std::pair<LONG, LONG>> spans;
  bool inside = false;
  for (LONG x = 0; x < rect.right - rect.left; ++x) {
    const LRESULT area =
        ::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(rect.left + x, rect.top + y_pixel));
    if (area == HTCLIENT && !inside) {
      spans.push_back({x, x});
    }
    if (area == HTCLIENT) {
      spans.back().second = x;
    }
    inside = area == HTCLIENT;
  }
  return spans;
}

TEST_F(LauncherWindowTest, ADisplayScaleChangeRedrawsAndHitTestsAtTheNewScale) {
  // From the system's DPI to the other of 96 and 144, and back.
  const UINT own_dpi = static_cast<UINT>(std::lround(96 * scale_));
  const UINT other_dpi = own_dpi == 96 ? 144 : 96;
  const float other = scale_for_dpi(other_dpi);
  const SurfaceSize other_size = surface_size(other);
  const LONG width = static_cast<LONG>(other_size.width);
  const LONG height = static_cast<LONG>(other_size.height);
  ASSERT_TRUE(show(Consent{}));
  const HWND window = find_launcher_window();
  const std::vector<std::pair<LONG, LONG>> own_spans =
      hit_spans(window, static_cast<LONG>(146 * scale_));
  ASSERT_EQ(own_spans.size(), 2u);

  // Wine never sends WM_DPICHANGED: sent as Windows would when the window reaches a display of
  // the other DPI, with a suggested rectangle partly off the left of the work area.
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT suggested = {work.left - 300, work.top + 10, work.left - 300 + width,
                    work.top + 10 + height};
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(other_dpi, other_dpi),
                 reinterpret_cast<LPARAM>(&suggested));
  ASSERT_TRUE(frames_passed(kFramesToDrawAChange));
  RECT now{};
  ::GetWindowRect(window, &now);
  EXPECT_EQ(now.right - now.left, width);
  EXPECT_EQ(now.bottom - now.top, height);
  EXPECT_EQ(now.left + static_cast<LONG>(kCardLeft * other), work.left)
      << "the card moved the least to lie inside the work area";
  EXPECT_EQ(now.top, suggested.top);

  const std::vector<std::pair<LONG, LONG>> other_spans =
      hit_spans(window, static_cast<LONG>(146 * other));
  ASSERT_EQ(other_spans.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(other_spans[i].first, own_spans[i].first * other / scale_, 2) << i;
    EXPECT_NEAR(other_spans[i].second, own_spans[i].second * other / scale_, 2) << i;
  }
  // The same scale again, at a place inside the work area, for the photograph (the X screen
  // cannot photograph what lies off its edge).
  suggested = {work.left + 20, work.top + 20, work.left + 20 + width, work.top + 20 + height};
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(other_dpi, other_dpi),
                 reinterpret_cast<LPARAM>(&suggested));
  ASSERT_TRUE(frames_passed(kFramesToDrawAChange));
  ::GetWindowRect(window, &now);
  EXPECT_TRUE(::EqualRect(&now, &suggested));
  Shot shot = take_shot("dpi-changed-" + std::to_string(other_dpi));
  ASSERT_TRUE(shot.valid());
  shot.scale = other;
  const std::vector<FoundButton> buttons = find_buttons(shot, 128);
  ASSERT_EQ(buttons.size(), 2u) << "the buttons drawn at the new scale";
  EXPECT_NEAR(buttons[0].left, 160, 1.5);
  EXPECT_TRUE(looks_like(buttons[0].colour, rgb_of(kAccentColour)));
  EXPECT_TRUE(looks_like(shot.at(300, 60), rgb_of(kCardColour))) << "the card, at the new scale";

  // And back, where it opened.
  const RECT opened = shared_window().opened_at;
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(own_dpi, own_dpi),
                 reinterpret_cast<LPARAM>(&opened));
  ASSERT_TRUE(frames_passed(kFramesToDrawAChange));
  ::GetWindowRect(window, &now);
  EXPECT_TRUE(::EqualRect(&now, &opened));
  EXPECT_EQ(hit_spans(window, static_cast<LONG>(146 * scale_)), own_spans);
}

TEST_F(LauncherWindowTest, EnterWithoutButtonsDoesNothingButEscapeStoresQuit) {
  ASSERT_TRUE(show(Installing{1'000'000, 85'000'000, 500'000}));
  const int keys = taken_messages().key_downs;
  ASSERT_TRUE(press("Return"));
  ASSERT_TRUE(taken(taken_messages().key_downs, keys + 1, "the key"));
  EXPECT_EQ(peek_action(*ui_), NoAction);
  ASSERT_TRUE(press("Escape"));
  EXPECT_TRUE(wait_until([this] { return peek_action(*ui_) == Quit; }, 3s))
      << int(peek_action(*ui_));
}

TEST_F(LauncherWindowTest, ClicksAwayFromTheButtonsStoreNothing) {
  ASSERT_TRUE(show(Offline{5, true}));
  const std::vector<FoundButton> buttons = find_buttons(take_shot("6-offline-clicks-away"), 124);
  ASSERT_EQ(buttons.size(), 2u);
  ASSERT_TRUE(click_each({
      {20, 240},                                        // the margin, where only the shadow is
      {274, 275},                                       // below the card
      {400, 60},                                        // the card, away from the buttons
      {(buttons[0].right + buttons[1].left) / 2, 142},  // between the buttons
      {170, 122},                                       // just above the primary button
  }));
  ASSERT_TRUE(input_taken());
  EXPECT_EQ(peek_action(*ui_), NoAction);
  EXPECT_TRUE(::IsWindow(find_launcher_window()));
  // The same window still takes a click on a button.
  ASSERT_TRUE(click(170, 142));
  EXPECT_TRUE(wait_until([this] { return peek_action(*ui_) == OpenNow; }, 3s));
}

TEST_F(LauncherWindowTest, TwoClicksBeforeAPollKeepTheLast) {
  ASSERT_TRUE(show(Offline{5, true}));
  const Shot shot = take_shot("6-offline-two-clicks");
  const std::vector<FoundButton> buttons = find_buttons(shot, 124);
  ASSERT_EQ(buttons.size(), 2u);
  ASSERT_TRUE(click(170, 142));
  ASSERT_TRUE(wait_until([this] { return peek_action(*ui_) == OpenNow; }, 3s));
  ASSERT_TRUE(click((buttons[1].left + buttons[1].right) / 2, 142));
  EXPECT_TRUE(wait_until([this] { return peek_action(*ui_) == Retry; }, 3s));
  EXPECT_EQ(take_action(*ui_), Retry);
}

TEST_F(LauncherWindowTest, DraggingTheCardMovesTheWindowAndItStaysThere) {
  ASSERT_TRUE(show(Checking{}));
  const int ups = taken_messages().button_ups;
  ASSERT_TRUE(
      xdotool("mousemove --sync " + screen_point(400, 60) +
              " mousedown 1 sleep 0.2 mousemove_relative "
              "--sync 60 40 sleep 0.2 mousemove_relative --sync 60 40 sleep 0.2 mouseup 1"));
  ASSERT_TRUE(taken(taken_messages().button_ups, ups + 1, "the button's release"));
  RECT moved{};
  ::GetWindowRect(find_launcher_window(), &moved);
  EXPECT_EQ(moved.left - rect_.left, 120);
  EXPECT_EQ(moved.top - rect_.top, 80);
  EXPECT_EQ(peek_action(*ui_), NoAction);
  // Every frame places the window where it is now: a few more must leave it there.
  ASSERT_TRUE(frames_passed(10));
  RECT later{};
  ::GetWindowRect(find_launcher_window(), &later);
  EXPECT_EQ(later.left, moved.left);
  EXPECT_EQ(later.top, moved.top);
}

TEST_F(LauncherWindowTest, ClosingTheWindowReadsAsQuit) {
  ASSERT_TRUE(show(Offline{5, true}));
  store_action(*ui_, OpenNow);  // not yet taken when the window goes
  ASSERT_TRUE(press("alt+F4"));
  EXPECT_TRUE(wait_until([this] { return window_closed(*ui_); }, 10s));
  EXPECT_EQ(take_action(*ui_), Quit);
  EXPECT_EQ(take_action(*ui_), Quit);
}

TEST_F(LauncherWindowTest, CloseRequestEndsTheWindow) {
  ASSERT_FALSE(window_closed(*ui_));
  store_action(*ui_, OpenNow);  // not yet taken when the window goes
  request_close(*ui_);
  EXPECT_TRUE(wait_until([this] { return window_closed(*ui_); }, 10s));
  EXPECT_EQ(find_launcher_window(), nullptr);
  EXPECT_EQ(take_action(*ui_), Quit);
}

// The window driven on this thread, so that its surface can be read between frames.
TEST(LauncherWindowSurfaceTest, ShadowIsOnTheSurfaceDarkerBelowTheCard) {
  ASSERT_TRUE(close_shared_window());
  auto ui = std::make_shared<LauncherUi>();
  set_phase(*ui, Checking{});
  const HWND window = open_launcher_window(ui);
  ASSERT_NE(window, nullptr);
  ::KillTimer(window, 1);
  LauncherWindow& state = *current_launcher_window();
  paint_frame(state, window);
  DIBSECTION section{};
  ASSERT_EQ(::GetObjectW(state.drawing.surface_bitmap.get(), sizeof(section), &section),
            static_cast<int>(sizeof(section)));
  const auto* pixels = static_cast<const unsigned char*>(section.dsBm.bmBits);
  const SurfaceSize size = state.drawing.surface;
  const float scale = state.drawing.scale;
  ASSERT_EQ(section.dsBm.bmWidth, static_cast<LONG>(size.width));
  ASSERT_EQ(section.dsBm.bmHeight, static_cast<LONG>(size.height));
  const auto alpha = [&](std::uint32_t x, std::uint32_t y) {
    return static_cast<int>(pixels[(std::size_t{y} * size.width + x) * 4 + 3]);
  };
  const auto pixel_of = [scale](float dips) { return static_cast<std::uint32_t>(dips * scale); };

  // Where only the shadow is, the surface holds exactly the computed alpha.
  for (const auto& [x, y] : {std::pair{0.0f, 0.0f},
                             {10.0f, 10.0f},
                             {274.0f, 250.0f},
                             {20.0f, 150.0f},
                             {274.0f, 8.0f},
                             {540.0f, 285.0f}}) {
    const std::uint32_t px = pixel_of(x);
    const std::uint32_t py = pixel_of(y);
    EXPECT_NEAR(alpha(px, py), shadow_alpha(px, py, scale), 1) << x << "," << y;
  }
  // The shadow falls downwards: the same distance from the card is darker below than above.
  EXPECT_GT(alpha(pixel_of(274), pixel_of(208 + 8)), alpha(pixel_of(274), pixel_of(18 - 8)) + 20);
  EXPECT_GT(alpha(pixel_of(274), pixel_of(250)), 20);
  // The card itself is opaque.
  EXPECT_EQ(alpha(pixel_of(300), pixel_of(40)), 255);
  // Premultiplied: no colour channel exceeds its alpha.
  for (std::uint32_t y = 0; y < size.height; y += 7) {
    for (std::uint32_t x = 0; x < size.width; x += 7) {
      const unsigned char* p = pixels + (std::size_t{y} * size.width + x) * 4;
      ASSERT_LE(std::max({p[0], p[1], p[2]}), p[3] + 1) << x << "," << y;
    }
  }

  // A target lost at the last EndDraw is made anew, with its shadow, and the frame is the same.
  std::vector<unsigned char> before(pixels, pixels + std::size_t{size.width} * size.height * 4);
  // Held here, so that the new objects cannot take the old ones' addresses.
  const Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> lost = state.drawing.render_target;
  const Microsoft::WRL::ComPtr<ID2D1Bitmap> lost_shadow = state.drawing.shadow;
  state.drawing.target_lost = true;
  paint_frame(state, window);
  EXPECT_FALSE(state.drawing.target_lost);
  EXPECT_NE(state.drawing.render_target.Get(), lost.Get());
  EXPECT_TRUE(state.drawing.shadow_built);
  EXPECT_NE(state.drawing.shadow.Get(), lost_shadow.Get());
  EXPECT_NE(state.drawing.shadow.Get(), nullptr);
  EXPECT_EQ(alpha(pixel_of(10), pixel_of(10)),
            before[(std::size_t{pixel_of(10)} * size.width + pixel_of(10)) * 4 + 3]);
  EXPECT_EQ(alpha(pixel_of(300), pixel_of(40)), 255);

  request_close(*ui);
  paint_frame(state, window);  // sees the request and destroys the window
  EXPECT_FALSE(::IsWindow(window));
  run_message_loop();  // WM_QUIT is waiting
  finish_launcher_window(*ui);
  EXPECT_EQ(take_action(*ui), Quit);
}

// A tick draws and hands over a frame only when the picture changes: a screen waiting for the
// user costs a plan a tick, an animated one is drawn every tick.
TEST(LauncherWindowSurfaceTest, AStillScreenIsDrawnOnceAndAnAnimatedOneEveryFrame) {
  ASSERT_TRUE(close_shared_window());
  auto ui = std::make_shared<LauncherUi>();
  set_phase(*ui, Consent{});
  const HWND window = open_launcher_window(ui);
  ASSERT_NE(window, nullptr);
  ::KillTimer(window, 1);
  LauncherWindow& state = *current_launcher_window();
  const std::uint64_t first = state.frames_shown;
  EXPECT_GE(first, 1u) << "the window opens with its first frame";
  const auto later = [&state] { state.start -= std::chrono::milliseconds(100); };
  for (int i = 0; i < 5; ++i) {
    later();
    paint_frame(state, window);
  }
  EXPECT_EQ(state.frames_shown, first) << "nothing changed on the consent screen";
  EXPECT_EQ(state.hit_rects.size(), 2u) << "the buttons stay where they are";

  const struct {
    const char* name;
    std::function<void()> change;
  } changes[] = {
      {"the pointer over a button", [&] { state.hovered_action = Accept; }},
      {"the pointer away", [&] { state.hovered_action = NoAction; }},
      {"the window moved",
       [&] {
         RECT where{};
         ::GetWindowRect(window, &where);
         ::SetWindowPos(window, nullptr, where.left + 10, where.top, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
       }},
      {"another screen", [&] { set_phase(*ui, Checking{}); }},
      {"the spinner turning", later},
      {"the spinner turning on", later},
      {"a target lost", [&] { state.drawing.target_lost = true; }},
  };
  for (const auto& change : changes) {
    const std::uint64_t before = state.frames_shown;
    change.change();
    paint_frame(state, window);
    EXPECT_EQ(state.frames_shown, before + 1) << change.name;
  }

  request_close(*ui);
  paint_frame(state, window);
  run_message_loop();
  finish_launcher_window(*ui);
}

// A window class of the same name registered first, whose windows refuse to be created: the
// launcher's own registration then fails and CreateWindowExW with it.
LRESULT CALLBACK refusing_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    return FALSE;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

TEST(LauncherWindowFailureTest, AWindowThatCannotBeCreatedIsLoggedOnce) {
  ASSERT_TRUE(close_shared_window());  // its class could not be replaced while it is open
  TempFolder local_app_data;
  ScopedEnvironment environment(L"LOCALAPPDATA", local_app_data.path().wstring());
  const HINSTANCE module = ::GetModuleHandleW(nullptr);
  ::UnregisterClassW(L"NeloLauncher", module);  // an earlier test's registration
  WNDCLASSW refusing{};
  refusing.lpfnWndProc = refusing_proc;
  refusing.hInstance = module;
  refusing.lpszClassName = L"NeloLauncher";
  ASSERT_NE(::RegisterClassW(&refusing), 0);

  auto ui = std::make_shared<LauncherUi>();
  run_launcher_window(ui);  // returns at once: there is no window to run
  ::UnregisterClassW(L"NeloLauncher", module);

  EXPECT_TRUE(window_closed(*ui));
  EXPECT_EQ(take_action(*ui), Quit);
  const std::string log =
      testing_support::read_file(local_app_data.path() / L"Nelo" / L"launcher.log");
  EXPECT_TRUE(std::regex_match(log, std::regex("[0-9]+ janela: criar [^\\n]*0x[0-9A-F]{8}\\)?\\n")))
      << log;
}

}  // namespace
}  // namespace nelo
