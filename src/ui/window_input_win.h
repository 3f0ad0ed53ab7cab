// Input: the window procedure, which takes the pointer, the keyboard, the frame timer and the
// system's notes about the window (a new display scale) and turns them into choices in the
// shared record, the keyboard's focus and frames.
#pragma once

#include "base/win_support.h"

namespace nelo {

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace nelo
