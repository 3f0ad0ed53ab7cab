// Painting: one frame of the launcher window, from the shared record to the layered window.
#pragma once

#include "base/win_support.h"

#include "ui/window_record_win.h"

namespace nelo {

// One frame: snapshot, plan, new hit rectangles, and, when the plan, the window's place or the
// scale differs from what the window shows, drawing and UpdateLayeredWindow (a still screen
// costs a plan a tick, nothing more); or, when the session asked for it, DestroyWindow and
// nothing else. A draw that began always ends, also when the frame's planning throws; a target
// lost at EndDraw is made anew on the next frame, which is drawn whatever its plan.
void paint_frame(LauncherWindow& state, HWND window);

}  // namespace nelo
