// The hand-off: after starting the application, the launcher keeps its window up until the
// application shows its own main window, the application ends, or a deadline passes.
#pragma once

#include <chrono>

#include "base/clock.h"

namespace nelo {

constexpr std::chrono::seconds kHandoffDeadline{40};
constexpr std::chrono::milliseconds kHandoffPollInterval{100};
// Splash screens are narrower than this; a main window is at least this wide.
constexpr long kMainWindowMinWidth = 301;

enum class ChildState { Running, Ended, Unknown };

// What the wait needs to know about the started process; the Windows side enumerates top-level
// windows and asks the process handle, tests hand in a script.
class HandoffProbe {
 public:
  virtual ~HandoffProbe() = default;
  // True when a visible top-level window of the process is at least kMainWindowMinWidth wide.
  virtual bool main_window_visible() = 0;
  // Whether the process still runs; Unknown when the question itself failed.
  virtual ChildState child_state() = 0;
};

// True for a window that ends the hand-off. A window whose rectangle could not be read counts as
// zero pixels wide.
bool is_main_window(bool belongs_to_child, bool visible, bool rect_known, long left, long right);

enum class HandoffEnd { MainWindow, ChildEnded, WaitFailed, Deadline };

// Polls every 100 ms until one of the ends is reached; `started` is the instant the process was
// started, from which the 40-second deadline runs.
HandoffEnd wait_for_handoff(HandoffProbe& probe, Clock& clock, Clock::time_point started);

}  // namespace nelo
