// The window thread's life: the drawing made, the class registered, the record and the window
// created and first drawn, the frame timer, the message loop, and the end that tells the
// session the window is gone.
#include "ui/launcher_window_win.h"

#include <exception>
#include <string>
#include <thread>
#include <utility>

#include "base/system_error_win.h"
#include "base/wide_text_win.h"
#include "install/launcher_log.h"
#include "ui/paint_frame_win.h"
#include "ui/window_input_win.h"

namespace nelo {
namespace {

constexpr wchar_t kClassName[] = L"NeloLauncher";
constexpr wchar_t kTitle[] = L"Nelo";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameMilliseconds = 16;

constexpr char kDrawingFailure[] = "janela: desenho ";
constexpr char kCreateFailure[] = "janela: criar ";

// The running window's record. Deliberately never freed at exit: the window thread is detached
// and may still be drawing while the main thread ends the process. A new window replaces (and
// frees) the record of an earlier one, whose thread has finished with it by then.
LauncherWindow* g_window = nullptr;

// The calling thread's last error as an HRESULT; E_FAIL when a call failed without setting one,
// so that the log never reports success as the error.
HRESULT last_error_hresult() {
  const DWORD error = ::GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

void log_failure(const char* prefix, HRESULT code) {
  append_log_line(std::string(prefix) + hresult_text(code));
}

}  // namespace

LauncherWindow* current_launcher_window() {
  return g_window;
}

HWND open_launcher_window(const std::shared_ptr<LauncherUi>& ui) {
  // The result is ignored: a process already made aware by its manifest keeps its setting.
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const float scale = scale_for_dpi(::GetDpiForSystem());

  DrawingResources drawing;
  if (const HRESULT hr = make_drawing_resources(scale, &drawing); FAILED(hr)) {
    log_failure(kDrawingFailure, hr);
    mark_window_closed(*ui);
    return nullptr;
  }

  const HINSTANCE module = ::GetModuleHandleW(nullptr);
  const HICON icon = ::LoadIconW(module, MAKEINTRESOURCEW(1));
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = module;
  window_class.hIcon = icon;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kClassName;
  // Fails harmlessly when an earlier window of this process registered the class already.
  ::RegisterClassW(&window_class);

  RECT work_area{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work_area, 0);
  const ScreenPoint position =
      window_position({work_area.left, work_area.top, work_area.right, work_area.bottom}, scale);

  auto record = std::make_unique<LauncherWindow>();
  record->start = std::chrono::steady_clock::now();
  record->ui = ui;
  record->drawing = std::move(drawing);
  record->readers = std::make_unique<WindowReaders>(ui);
  delete std::exchange(g_window, nullptr);
  g_window = record.release();

  ::SetLastError(ERROR_SUCCESS);
  const HWND window = ::CreateWindowExW(
      WS_EX_LAYERED | WS_EX_APPWINDOW, kClassName, kTitle, WS_POPUP, position.x, position.y,
      static_cast<int>(g_window->drawing.surface.width),
      static_cast<int>(g_window->drawing.surface.height), nullptr, nullptr, module, nullptr);
  if (window == nullptr) {
    log_failure(kCreateFailure, last_error_hresult());
    mark_window_closed(*ui);
    return nullptr;
  }
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  // The monitor's own DPI differs from the system's when the user changed the scale without
  // signing out (never under Wine): the window starts at the monitor's, centred as it would be.
  if (const UINT dpi = ::GetDpiForWindow(window); dpi != 0 && scale_for_dpi(dpi) != scale) {
    const float actual = scale_for_dpi(dpi);
    const ScreenPoint at =
        window_position({work_area.left, work_area.top, work_area.right, work_area.bottom}, actual);
    const SurfaceSize size = surface_size(actual);
    const RECT centred = {at.x, at.y, at.x + static_cast<LONG>(size.width),
                          at.y + static_cast<LONG>(size.height)};
    change_display_scale(*g_window, window, dpi, centred);
  }
  // The first frame gives the layered window its content, size and position before it shows.
  paint_frame(*g_window, window);
  ::ShowWindow(window, SW_SHOW);
  ::SetTimer(window, kFrameTimer, kFrameMilliseconds, nullptr);
  return window;
}

void run_message_loop() {
  MSG message;
  // GetMessageW gives -1 on an error; that ends the loop too rather than spinning on it.
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void finish_launcher_window(LauncherUi& ui) {
  if (g_window != nullptr && g_window->ui.get() == &ui) {
    g_window->drawing.release_surface();
  }
  // Last: once this is set, a new window may replace the record.
  mark_window_closed(ui);
}

void run_launcher_window(std::shared_ptr<LauncherUi> ui) {
  if (!ui) {
    return;
  }
  try {
    if (open_launcher_window(ui) != nullptr) {
      run_message_loop();
    }
  } catch (const std::exception&) {
    // Out of memory during the set-up: the window is given up like one that failed.
  }
  finish_launcher_window(*ui);
}

void start_launcher_window(std::shared_ptr<LauncherUi> ui) {
  if (!ui) {
    return;
  }
  try {
    std::thread([ui] { run_launcher_window(ui); }).detach();
  } catch (const std::exception&) {
    // No thread: no window, and the session must not wait for one.
    mark_window_closed(*ui);
  }
}

}  // namespace nelo
