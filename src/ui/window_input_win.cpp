// The window procedure: buttons by pointer and keyboard, dragging by the card, frames by the
// timer, a new display scale, and screen readers' requests. Choices go into LauncherUi; the
// session acts on them when it polls.
#include "ui/window_input_win.h"

#include <windowsx.h>

#include <exception>
#include <string>

#include "base/system_error_win.h"
#include "install/launcher_log.h"
#include "ui/keyboard_focus.h"
#include "ui/paint_frame_win.h"

namespace nelo {
namespace {

// A point in client pixels, in DIPs of the surface.
struct DipPoint {
  float x;
  float y;
};

DipPoint to_dips(int x, int y, float scale) {
  return {static_cast<float>(x) / scale, static_cast<float>(y) / scale};
}

constexpr char kScaleFailure[] = "janela: escala ";

}  // namespace

void change_display_scale(LauncherWindow& state, HWND window, std::uint32_t dpi,
                          const RECT& suggested) {
  const float scale = scale_for_dpi(dpi);
  if (scale != state.drawing.scale) {
    if (const HRESULT hr = rescale_drawing_resources(state.drawing, scale); FAILED(hr)) {
      append_log_line(std::string(kScaleFailure) + hresult_text(hr));
      return;
    }
  }
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ScreenPoint place = {suggested.left, suggested.top};
  if (::GetMonitorInfoW(::MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    place = keep_card_inside(place, {work.left, work.top, work.right, work.bottom}, scale);
  }
  // The surface's size, not the suggestion's: the layered window takes the frame's size anyway.
  ::SetWindowPos(window, nullptr, place.x, place.y, static_cast<int>(state.drawing.surface.width),
                 static_cast<int>(state.drawing.surface.height), SWP_NOZORDER | SWP_NOACTIVATE);
  // Drawn now: a new scale or a new place differs from what the window shows.
  paint_frame(state, window);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LauncherWindow* state = current_launcher_window();
  switch (message) {
    case WM_DESTROY:
      if (state != nullptr && state->readers) {
        state->readers->window_destroyed(window);
      }
      ::PostQuitMessage(0);
      return 0;

    case WM_GETOBJECT:
      if (state != nullptr && state->readers) {
        LRESULT answer = 0;
        if (state->readers->answer(window, wparam, lparam, &answer)) {
          return answer;
        }
      }
      break;

    case kFocusButtonMessage:
      // A screen reader moved the focus (accSelect, SetFocus): as Tab would, ring included.
      if (state != nullptr) {
        state->keys_used = true;
        state->focused_action = static_cast<std::uint8_t>(wparam);
      }
      return 0;

    case WM_NCHITTEST: {
      POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      ::ScreenToClient(window, &point);
      const DipPoint at = to_dips(point.x, point.y, state != nullptr ? state->drawing.scale : 1.0f);
      return static_cast<LRESULT>(
          hit_area(state != nullptr ? &state->hit_rects : nullptr, at.x, at.y));
    }

    case WM_KEYDOWN:
      if (wparam == VK_TAB) {
        // Among the buttons of the screen, wrapping; Shift goes back.
        if (state != nullptr) {
          state->keys_used = true;
          state->focused_action =
              next_focus(state->hit_rects, state->focused_action, ::GetKeyState(VK_SHIFT) < 0);
        }
        return 0;
      }
      if (wparam == VK_RETURN || wparam == VK_SPACE) {
        // The focused button, which is the primary one (always the first) until Tab moves the
        // focus; screens without buttons ignore both keys.
        if (state != nullptr) {
          const std::uint8_t action = focused_button(state->hit_rects, state->focused_action);
          if (action != NoAction) {
            store_action(*state->ui, action);
          }
        }
        return 0;
      }
      if (wparam == VK_ESCAPE) {
        if (state != nullptr) {
          store_action(*state->ui, Quit);
        }
        return 0;
      }
      break;

    case WM_TIMER:
      if (state != nullptr) {
        try {
          paint_frame(*state, window);
        } catch (const std::exception&) {
          // Out of memory for this frame's texts: the next tick tries again. Nothing may
          // unwind through the system's message dispatch.
        }
      }
      return 0;

    case WM_DPICHANGED:
      // The new DPI comes in wParam (Wine's GetDpiForWindow keeps telling the old one), and the
      // system's rectangle for the window at that DPI in lParam.
      if (state != nullptr) {
        try {
          change_display_scale(*state, window, HIWORD(wparam),
                               *reinterpret_cast<const RECT*>(lparam));
        } catch (const std::exception&) {
          // Out of memory for the first frame at the new scale: the next tick draws it.
        }
      }
      return 0;

    case WM_MOUSEMOVE:
      if (state != nullptr) {
        const DipPoint at =
            to_dips(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), state->drawing.scale);
        state->hovered_action = button_at(state->hit_rects, at.x, at.y);
        ::SetCursor(
            ::LoadCursorW(nullptr, state->hovered_action != NoAction ? IDC_HAND : IDC_ARROW));
        // Moving off a button onto the card or out of the window sends no WM_MOUSEMOVE (those
        // parts are not client area); WM_MOUSELEAVE then ends the highlight.
        TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window, 0};
        ::TrackMouseEvent(&track);
      }
      return 0;

    case WM_MOUSELEAVE:
      if (state != nullptr) {
        state->hovered_action = NoAction;
      }
      return 0;

    case WM_LBUTTONUP:
      if (state != nullptr) {
        const DipPoint at =
            to_dips(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), state->drawing.scale);
        const std::uint8_t action = button_at(state->hit_rects, at.x, at.y);
        if (action != NoAction) {
          store_action(*state->ui, action);
        }
      }
      return 0;

    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace nelo
