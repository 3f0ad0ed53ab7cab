// The launcher window: a borderless, layered popup drawn with Direct2D and DirectWrite on a
// thread of its own, which shows whatever the shared LauncherUi says and stores the user's
// choice back into it.
#pragma once

#include "base/win_support.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accessibility/window_readers_win.h"
#include "base/clock.h"
#include "ui/drawing_resources_win.h"
#include "ui/frame_parts.h"
#include "ui/launcher_ui.h"
#include "ui/window_geometry.h"

namespace nelo {

// Starts run_launcher_window on a new, detached thread. When no thread can be started the
// window is marked closed at once, so that the session does not wait for it.
void start_launcher_window(std::shared_ptr<LauncherUi> ui);

// The whole life of the window thread: set-up, first frame, 16 ms timer, message loop. Returns
// once the window is gone or could not be made; either way `window_closed` is then set. A failed
// set-up writes one line to the launcher log ("janela: desenho ..." or "janela: criar ...").
void run_launcher_window(std::shared_ptr<LauncherUi> ui);

// The pieces of run_launcher_window, for programs that drive the frames themselves.

// The window thread's own record; one per process, reachable from the window procedure.
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

// Steps up to showing the window: DPI, Direct2D, DirectWrite and the font, the surface, the
// window class, the record, the window, its first frame, ShowWindow and the timer. Returns the
// window, or null after logging the failure and marking `ui` closed.
HWND open_launcher_window(const std::shared_ptr<LauncherUi>& ui);

// Runs the thread's message loop until WM_QUIT.
void run_message_loop();

// Releases the surface and marks the window closed; the last thing the window thread does.
void finish_launcher_window(LauncherUi& ui);

// The window moved to a display of another DPI: the drawing is made anew at the new scale and
// the window takes `suggested` (the system's rectangle for it), moved inside the work area of
// the monitor it is on. The next frame draws at the new scale. On failure the window keeps its
// scale and size, and the failure is logged ("janela: escala ...").
void change_display_scale(LauncherWindow& state, HWND window, std::uint32_t dpi,
                          const RECT& suggested);

}  // namespace nelo
