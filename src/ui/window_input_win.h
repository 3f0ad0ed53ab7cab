// Input: the window procedure, which takes the pointer, the keyboard, the frame timer and the
// system's notes about the window (a new display scale) and turns them into choices in the
// shared record, the keyboard's focus and frames.
#pragma once

#include "base/win_support.h"

#include <cstdint>

#include "ui/window_record_win.h"

namespace nelo {

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The window moved to a display of another DPI: the drawing is made anew at the new scale and
// the window takes `suggested` (the system's rectangle for it), moved inside the work area of
// the monitor it is on. The next frame draws at the new scale. On failure the window keeps its
// scale and size, and the failure is logged ("janela: escala ...").
void change_display_scale(LauncherWindow& state, HWND window, std::uint32_t dpi,
                          const RECT& suggested);

}  // namespace nelo
