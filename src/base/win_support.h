// The one place that includes <windows.h>, with the target version pinned and every MinGW-w64
// header workaround the program needs.
#pragma once

// Windows 10: SetProcessDpiAwarenessContext, GetDpiForSystem and the per-monitor v2 context.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#ifndef WINVER
#define WINVER 0x0A00
#endif
// std::min and std::max must stay usable next to the Windows headers.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif

#include <windows.h>
