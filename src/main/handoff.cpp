#include "main/handoff.h"

namespace nelo {

bool is_main_window(bool belongs_to_child, bool visible, bool rect_known, long left, long right) {
  const long width = rect_known ? right - left : 0;
  return belongs_to_child && visible && width >= kMainWindowMinWidth;
}

HandoffEnd wait_for_handoff(HandoffProbe& probe, Clock& clock, Clock::time_point started) {
  const Clock::time_point deadline = started + kHandoffDeadline;
  for (;;) {
    if (clock.now() > deadline) {
      return HandoffEnd::Deadline;
    }
    if (probe.main_window_visible()) {
      return HandoffEnd::MainWindow;
    }
    switch (probe.child_state()) {
      case ChildState::Ended:
        return HandoffEnd::ChildEnded;
      case ChildState::Unknown:
        return HandoffEnd::WaitFailed;
      case ChildState::Running:
        break;
    }
    clock.sleep_for(kHandoffPollInterval);
  }
}

}  // namespace nelo
