// The launcher window: a borderless, layered popup drawn with Direct2D and DirectWrite on a
// thread of its own, which shows whatever the shared LauncherUi says and stores the user's
// choice back into it.
#pragma once

#include "base/win_support.h"

#include <memory>

#include "ui/launcher_ui.h"
#include "ui/window_record_win.h"

namespace nelo {

// Starts run_launcher_window on a new, detached thread. When no thread can be started the
// window is marked closed at once, so that the session does not wait for it.
void start_launcher_window(std::shared_ptr<LauncherUi> ui);

// The whole life of the window thread: set-up, first frame, 16 ms timer, message loop. Returns
// once the window is gone or could not be made; either way `window_closed` is then set. A failed
// set-up writes one line to the launcher log ("janela: desenho ..." or "janela: criar ...").
void run_launcher_window(std::shared_ptr<LauncherUi> ui);

// The pieces of run_launcher_window, for programs that drive the frames themselves.

// Steps up to showing the window: DPI, Direct2D, DirectWrite and the font, the surface, the
// window class, the record, the window, its first frame, ShowWindow and the timer. Returns the
// window, or null after logging the failure and marking `ui` closed.
HWND open_launcher_window(const std::shared_ptr<LauncherUi>& ui);

// Runs the thread's message loop until WM_QUIT.
void run_message_loop();

// Releases the surface and marks the window closed; the last thing the window thread does.
void finish_launcher_window(LauncherUi& ui);

}  // namespace nelo
