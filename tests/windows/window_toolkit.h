// The launcher window's tests' toolkit: photographs of the X screen (ImageMagick's import), real
// pointer and keyboard input through xdotool, a backdrop "desktop" under the window, a count of
// the messages the window's thread takes, and the one window that the screen and input tests
// share. Both Unix programs are started through Wine (Z:\\bin\\sh); a marker file says when each
// has finished. The screenshots are kept as PNGs in the build folder ("window-shots").
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ui/frame_plan.h"
#include "ui/launcher_window_win.h"

namespace nelo::testing_support {

// The colour of the backdrop under the launcher window.
constexpr COLORREF kBackdrop = RGB(0x5B, 0x7C, 0x99);

// The scale of the system's DPI, this process made DPI-aware first.
float system_scale();

// The folder of this DPI's screenshots, as a Unix path and as Wine's programs see it.
std::string shots_dir_unix();
std::filesystem::path from_unix(const std::string& path);

// Runs a command of the Unix side through /bin/sh and waits until it has finished (it touches a
// marker file last). False when it did not finish in time.
bool run_unix(const std::string& command,
              std::chrono::milliseconds timeout = std::chrono::seconds(20));
bool xdotool(const std::string& arguments);

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c);
Rgb rgb_of(Colour colour);
Rgb rgb_of(COLORREF colour);
::testing::AssertionResult looks_like(const Rgb& actual, const Rgb& expected, int tolerance = 6);

// A picture of the window's rectangle on the X screen.
struct Shot {
  int width = 0;
  int height = 0;
  float scale = 1;
  std::vector<unsigned char> rgb;  // 3 bytes a pixel, rows top-down

  bool valid() const { return !rgb.empty(); }
  Rgb pixel(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
  }
  // The pixel under a point given in DIPs of the window surface.
  Rgb at(float x, float y) const {
    return pixel(static_cast<int>(x * scale), static_cast<int>(y * scale));
  }
  // How many pixels of a DIP rectangle pass a test.
  template <class Test>
  int count(float left, float top, float right, float bottom, Test test) const {
    int found = 0;
    for (int y = static_cast<int>(top * scale); y < static_cast<int>(bottom * scale); ++y) {
      for (int x = static_cast<int>(left * scale); x < static_cast<int>(right * scale); ++x) {
        found += test(pixel(x, y));
      }
    }
    return found;
  }
};

HWND find_launcher_window();
// Photographs the launcher window's rectangle into <name>.png and reads its pixels back.
Shot take_shot(const std::string& name);

// A plain, opaque window in the backdrop colour under the launcher: the "desktop" that its
// transparent margin must show. Shown once per process, on a thread of its own that pumps its
// messages, and never closed: closing it would cost 2 s, and the process takes it away when it
// ends.
void show_backdrop();

std::uint8_t peek_action(LauncherUi& ui);
bool window_closed(LauncherUi& ui);

template <class Condition>
bool wait_until(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

// What the launcher window's thread has taken from its queue, counted by a message hook on that
// thread. The thread has handled a message once it takes the next one.
struct TakenMessages {
  std::atomic<int> frames{0};          // WM_TIMER: each begins a frame
  std::atomic<int> pointer_moves{0};   // WM_MOUSEMOVE: over a button, or while dragging
  std::atomic<int> pointer_leaves{0};  // WM_MOUSELEAVE: the pointer off the buttons again
  std::atomic<int> key_downs{0};
  std::atomic<int> button_ups{0};          // the left button released on the window
  std::atomic<bool> on_button{false};      // from a move to a leave: a button may be lit
  std::atomic<std::int64_t> pointer_at{};  // the screen point of the last pointer message
};
// What the message hook on the shared window's thread has counted.
TakenMessages& taken_messages();
std::int64_t packed(POINT point);

// A frame that begins after a change draws it, and has been drawn once the next frame begins.
constexpr int kFramesToDrawAChange = 2;

// Waits until `count` frames have begun since the call; fails when they did not within 10 s.
::testing::AssertionResult frames_passed(int count);

// Waits until the window's thread has taken messages of a kind up to `target`, then until what
// they did has been drawn.
::testing::AssertionResult taken(const std::atomic<int>& count, int target, const char* what);

// The launcher window that the screen and input tests share, started as the entry point starts
// it, on its own thread over the backdrop. It stays open from one test to the next; a test that
// closes it leaves the next one to open another.
struct SharedWindow {
  std::shared_ptr<LauncherUi> ui;
  RECT opened_at{};
  HHOOK hook = nullptr;
};

SharedWindow& shared_window();
bool shared_window_open();
::testing::AssertionResult open_shared_window();
// For the tests that make a window of their own (the process has one at a time), and for the
// end of the process.
::testing::AssertionResult close_shared_window();

// A test on the shared window, which it finds as a fresh one would be in all that the tests
// look at: no choice pending, no button lit, the pointer off the window, the window where it
// opened. Each test shows the phase that it needs.
class LauncherWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scale_ = system_scale();
    if (!shared_window_open()) {
      ASSERT_TRUE(open_shared_window());
    }
    const SharedWindow& shared = shared_window();
    ui_ = shared.ui;
    const HWND window = find_launcher_window();
    (void)take_action(*ui_);  // whatever an earlier test left
    bool changed = false;
    RECT now{};
    ::GetWindowRect(window, &now);
    POINT pointer{};
    if (::GetCursorPos(&pointer) && ::PtInRect(&now, pointer)) {
      ASSERT_TRUE(xdotool("mousemove 0 0"));
      changed = true;
    }
    if (taken_messages().on_button) {
      // Wine tells a window that the pointer left it on a timer, of the system's hover time.
      ASSERT_TRUE(wait_until([] { return !taken_messages().on_button; }, std::chrono::seconds(10)))
          << "no WM_MOUSELEAVE";
      changed = true;
    }
    if (!::EqualRect(&now, &shared.opened_at)) {
      ::SetWindowPos(window, nullptr, shared.opened_at.left, shared.opened_at.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      changed = true;
    }
    if (changed) {
      ASSERT_TRUE(frames_passed(kFramesToDrawAChange));
    }
    ::GetWindowRect(window, &rect_);
  }

  ::testing::AssertionResult show(Phase phase) {
    set_phase(*ui_, std::move(phase));
    return frames_passed(kFramesToDrawAChange);
  }

  // A point of the surface in DIPs as X screen coordinates for xdotool.
  std::string screen_point(float x, float y) const {
    return std::to_string(rect_.left + static_cast<int>(x * scale_)) + " " +
           std::to_string(rect_.top + static_cast<int>(y * scale_));
  }
  // xdotool sends its events in order, so that each click lands where the pointer went.
  bool click(float x, float y) { return click_each({{x, y}}); }
  bool click_each(std::initializer_list<std::pair<float, float>> points) {
    std::string arguments;
    for (const auto& [x, y] : points) {
      arguments += " mousemove " + screen_point(x, y) + " click 1";
    }
    return xdotool(arguments);
  }
  bool move_pointer(float x, float y) { return xdotool("mousemove " + screen_point(x, y)); }
  // Moves the pointer to a spot of the card and waits until the window has taken that move,
  // then until a frame has been drawn since. X input arrives in order, so everything sent before
  // has been taken and handled by then.
  ::testing::AssertionResult input_taken() {
    const POINT spot = {rect_.left + static_cast<int>(480 * scale_),
                        rect_.top + static_cast<int>(190 * scale_)};
    if (!move_pointer(480, 190)) {
      return ::testing::AssertionFailure() << "xdotool failed";
    }
    if (!wait_until([&spot] { return taken_messages().pointer_at == packed(spot); },
                    std::chrono::seconds(10))) {
      return ::testing::AssertionFailure() << "the window never took the pointer's move";
    }
    return frames_passed(kFramesToDrawAChange);
  }
  // Without a window manager the X server gives the keys to the window under the pointer: the
  // pointer goes onto the card first, away from the buttons.
  bool press(const std::string& keys) {
    return xdotool("mousemove " + screen_point(400, 60) + " key --clearmodifiers " + keys);
  }

  std::shared_ptr<LauncherUi> ui_;
  float scale_ = 1;
  RECT rect_{};
};

}  // namespace nelo::testing_support
