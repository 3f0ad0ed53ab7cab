// The ways the program runs; each is one straight story from start to end, in a file of its own
// (normal_mode_win.cpp, hidden_mode_win.cpp, stage_mode_win.cpp, uninstall_mode_win.cpp,
// self_test_mode_win.cpp).
#pragma once

namespace nelo {

// The user's start: the window, the consent and the self-install when needed, the update
// session and the launch.
void run_normal_mode();

// A start without window or questions: the self-install when needed, the intact version or a
// quiet session, the launch with "--hidden" passed on.
void run_hidden_mode();

// Background preparation of the next release, reported as lines on standard output.
void run_stage_mode();

// Removal of Nelo for the current user.
void run_uninstall_mode();

// The check an updater runs before it installs this program as the launcher: its resources,
// typeface, release keys and own file; one line on standard output.
void run_self_test_mode();

}  // namespace nelo
