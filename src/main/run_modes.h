// The three ways the program runs; each is one straight story from start to end.
#pragma once

#include "main/command_line.h"

namespace nelo {

// The user's start: self-install when needed, the update session and the launch.
void run_normal_mode(const LaunchOptions& options);

// Background preparation of the next release, reported as lines on standard output.
void run_stage_mode();

// Removal of Nelo for the current user.
void run_uninstall();

}  // namespace nelo
