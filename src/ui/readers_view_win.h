// What the window's accessibility objects (MSAA's IAccessible, UI Automation's providers) read
// and do, shared between the window thread, which puts in each frame's readable screen, and the
// threads that screen readers call in on (Wine calls providers from a thread of its own). Every
// read is a copy taken under the view's lock; nothing here waits on the window thread.
#pragma once

#include "base/win_support.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "ui/readable_screen.h"
#include "ui/launcher_ui.h"

namespace nelo {

// Posted to the window to move the keyboard's focus to the button whose action is in wParam.
inline constexpr UINT kFocusButtonMessage = WM_APP + 1;

// One moment of the window as readers see it.
struct ReadersMoment {
  ReadableScreen screen;
  HWND window = nullptr;
  float scale = 1;
  bool open = false;  // false once the window is gone: every question then fails

  // A button's rectangle in screen pixels; the window's when `action` is NoAction.
  RECT on_screen(std::uint8_t action) const;
  // The button under a screen point, NoAction on the rest of the window.
  std::uint8_t button_at_point(POINT point) const;
};

class ReadersView {
 public:
  explicit ReadersView(std::shared_ptr<LauncherUi> ui) : ui_(std::move(ui)) {}

  // Window thread.
  void show(HWND window, ReadableScreen screen, float scale);
  void close();

  // Any thread.
  ReadersMoment moment() const;
  // A button of the screen shown now: its action goes to the session as a click's would.
  // False when no such button is shown (the screen changed since the reader looked).
  bool press(std::uint8_t action) const;
  // The keyboard's focus to a button of the screen shown now, as Tab would move it.
  bool focus(std::uint8_t action) const;

 private:
  std::shared_ptr<LauncherUi> ui_;
  mutable std::mutex mutex_;
  ReadersMoment moment_;
};

}  // namespace nelo
