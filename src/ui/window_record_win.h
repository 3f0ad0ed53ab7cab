// The window thread's own record: what the window shows and how it draws it, the pointer's and
// the keyboard's state, and its readers. One per process, reachable from the window procedure.
#pragma once

#include "base/win_support.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ui/window_readers_win.h"
#include "base/clock.h"
#include "ui/drawing_resources_win.h"
#include "ui/frame_parts.h"
#include "ui/launcher_ui.h"
#include "ui/window_geometry.h"

namespace nelo {

struct LauncherWindow {
  std::vector<HitRect> hit_rects;  // the buttons of the last frame
  Clock::time_point start;         // time base of every animation
  std::shared_ptr<LauncherUi> ui;
  DrawingResources drawing;
  std::uint8_t hovered_action = NoAction;
  // The button the keyboard's focus is on (NoAction: never moved, the primary one), and
  // whether Tab has been used: only then is the focus ring drawn. Each new screen (another
  // kind of phase) starts again from its primary button, without a ring.
  std::uint8_t focused_action = NoAction;
  bool keys_used = false;
  std::size_t focus_screen = 0;  // the kind of phase the focus belongs to
  // What the window shows now: the plan last handed over, where and at what scale. A frame
  // whose plan, place and scale are the same is not drawn again.
  std::optional<FramePlan> shown_plan;
  POINT shown_at{};
  float shown_scale = 0;
  std::uint64_t frames_shown = 0;  // frames drawn and handed to the window
  // What screen readers are told of each frame, and their way in (WM_GETOBJECT).
  std::unique_ptr<WindowReaders> readers;
};

// The record of the running window, or null; used on the window thread only.
LauncherWindow* current_launcher_window();

}  // namespace nelo
