#include "tests/windows/window_toolkit.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>

#include "base/wide_text_win.h"

namespace nelo::testing_support {

using namespace std::chrono_literals;

float system_scale() {
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  return scale_for_dpi(::GetDpiForSystem());
}

std::string shots_dir_unix() {
  return std::string(NELO_WINDOW_SHOTS_DIR) + "/" +
         std::to_string(static_cast<int>(std::lround(96 * system_scale()))) + "dpi";
}
std::filesystem::path from_unix(const std::string& path) {
  return std::filesystem::path(L"Z:" + to_wide(path));
}

bool run_unix(const std::string& command, std::chrono::milliseconds timeout) {
  static std::atomic<int> counter{0};
  const std::string marker = shots_dir_unix() + "/.done-" +
                             std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(++counter);
  std::filesystem::create_directories(from_unix(shots_dir_unix()));
  std::wstring line =
      L"Z:\\bin\\sh -c \"" + to_wide(command) + L"; touch " + to_wide(marker) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::error_code ignored;
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(from_unix(marker), ignored)) {
      std::filesystem::remove(from_unix(marker), ignored);
      return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

bool xdotool(const std::string& arguments) {
  return run_unix("xdotool " + arguments);
}

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
  return out << text;
}

Rgb rgb_of(Colour colour) {
  return {colour.r, colour.g, colour.b};
}
Rgb rgb_of(COLORREF colour) {
  return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

::testing::AssertionResult looks_like(const Rgb& actual, const Rgb& expected, int tolerance) {
  if (std::abs(actual.r - expected.r) <= tolerance &&
      std::abs(actual.g - expected.g) <= tolerance &&
      std::abs(actual.b - expected.b) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << actual << " is not " << expected;
}

HWND find_launcher_window() {
  return ::FindWindowW(L"NeloLauncher", L"Nelo");
}

Shot take_shot(const std::string& name) {
  Shot shot;
  shot.scale = system_scale();
  RECT rect{};
  if (!::GetWindowRect(find_launcher_window(), &rect)) {
    return shot;
  }
  const std::string dir = shots_dir_unix();
  const std::string png = dir + "/" + name + ".png";
  const std::string raw = dir + "/." + name + ".rgb";
  const std::string geometry = std::to_string(rect.right - rect.left) + "x" +
                               std::to_string(rect.bottom - rect.top) + "+" +
                               std::to_string(rect.left) + "+" + std::to_string(rect.top);
  if (!run_unix("import -window root -crop " + geometry + " +repage " + png + " && convert " + png +
                " -depth 8 rgb:" + raw)) {
    return shot;
  }
  {
    std::ifstream file(from_unix(raw), std::ios::binary);
    shot.rgb.assign(std::istreambuf_iterator<char>(file), {});
  }  // closed, so that it can be removed
  shot.width = rect.right - rect.left;
  shot.height = rect.bottom - rect.top;
  if (shot.rgb.size() != static_cast<std::size_t>(shot.width) * shot.height * 3) {
    shot.rgb.clear();
  }
  std::error_code ignored;
  std::filesystem::remove(from_unix(raw), ignored);
  return shot;
}

namespace {

LRESULT CALLBACK backdrop_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(window, &paint);
    const HBRUSH brush = ::CreateSolidBrush(kBackdrop);
    ::FillRect(dc, &paint.rcPaint, brush);
    ::DeleteObject(brush);
    ::EndPaint(window, &paint);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void run_backdrop(std::atomic<bool>* shown) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = backdrop_proc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"NeloTestBackdrop";
  ::RegisterClassW(&window_class);
  const HWND window = ::CreateWindowExW(
      WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, L"NeloTestBackdrop", L"", WS_POPUP | WS_VISIBLE, 0, 0,
      ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
      window_class.hInstance, nullptr);
  ::UpdateWindow(window);
  *shown = true;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::DispatchMessageW(&message);
  }
}

TakenMessages g_taken;

LRESULT CALLBACK count_taken(int code, WPARAM removal, LPARAM lparam) {
  if (code == HC_ACTION && removal == PM_REMOVE) {
    const MSG& message = *reinterpret_cast<const MSG*>(lparam);
    if ((message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST) ||
        (message.message >= WM_NCMOUSEMOVE && message.message <= WM_NCMBUTTONDBLCLK)) {
      g_taken.pointer_at = packed(message.pt);
    }
    switch (message.message) {
      case WM_TIMER:
        ++g_taken.frames;
        break;
      case WM_MOUSEMOVE:
        // While the window is being dragged the pointer is captured and the moves go to the
        // system's move loop, not to the window.
        if (::GetCapture() == nullptr) {
          g_taken.on_button = true;
        }
        ++g_taken.pointer_moves;
        break;
      case WM_MOUSELEAVE:
        g_taken.on_button = false;
        ++g_taken.pointer_leaves;
        break;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        ++g_taken.key_downs;
        break;
      case WM_LBUTTONUP:
      case WM_NCLBUTTONUP:
        ++g_taken.button_ups;
        break;
      default:
        break;
    }
  }
  return ::CallNextHookEx(nullptr, code, removal, lparam);
}

}  // namespace

void show_backdrop() {
  static std::atomic<bool> shown{false};
  static std::once_flag started;
  std::call_once(started, [] { std::thread(run_backdrop, &shown).detach(); });
  while (!shown) {
    std::this_thread::sleep_for(5ms);
  }
}

std::uint8_t peek_action(LauncherUi& ui) {
  std::lock_guard lock(ui.mutex);
  return ui.action;
}

bool window_closed(LauncherUi& ui) {
  std::lock_guard lock(ui.mutex);
  return ui.window_closed;
}

TakenMessages& taken_messages() {
  return g_taken;
}

std::int64_t packed(POINT point) {
  return (std::int64_t{point.x} << 32) | static_cast<std::uint32_t>(point.y);
}

// Waits until `count` frames have begun since the call; fails when they did not within 10 s.
::testing::AssertionResult frames_passed(int count) {
  const int target = g_taken.frames + count;
  if (!wait_until([target] { return g_taken.frames >= target; }, 10s)) {
    return ::testing::AssertionFailure() << "the window drew no frame";
  }
  return ::testing::AssertionSuccess();
}

// Waits until the window's thread has taken messages of a kind up to `target`, then until what
// they did has been drawn.
::testing::AssertionResult taken(const std::atomic<int>& count, int target, const char* what) {
  if (!wait_until([&count, target] { return count >= target; }, 10s)) {
    return ::testing::AssertionFailure() << "the window never took " << what;
  }
  return frames_passed(kFramesToDrawAChange);
}

SharedWindow& shared_window() {
  static SharedWindow window;
  return window;
}

bool shared_window_open() {
  const SharedWindow& shared = shared_window();
  return shared.ui != nullptr && !window_closed(*shared.ui);
}

::testing::AssertionResult open_shared_window() {
  SharedWindow& shared = shared_window();
  show_backdrop();
  if (shared.hook != nullptr) {
    ::UnhookWindowsHookEx(std::exchange(shared.hook, nullptr));
  }
  g_taken.on_button = false;
  shared.ui = std::make_shared<LauncherUi>();
  set_version_text(*shared.ui, "2.3.1");
  start_launcher_window(shared.ui);
  if (!wait_until([] { return ::IsWindowVisible(find_launcher_window()) != FALSE; }, 10s)) {
    return ::testing::AssertionFailure() << "the window did not show";
  }
  const HWND window = find_launcher_window();
  ::GetWindowRect(window, &shared.opened_at);
  shared.hook = ::SetWindowsHookExW(WH_GETMESSAGE, count_taken, nullptr,
                                    ::GetWindowThreadProcessId(window, nullptr));
  if (shared.hook == nullptr) {
    return ::testing::AssertionFailure() << "no message hook on the window's thread";
  }
  return ::testing::AssertionSuccess();
}

// For the tests that make a window of their own (the process has one at a time), and for the
// end of the process.
::testing::AssertionResult close_shared_window() {
  SharedWindow& shared = shared_window();
  if (!shared_window_open()) {
    return ::testing::AssertionSuccess();
  }
  request_close(*shared.ui);
  // Wine waits up to 2 s for a window manager to confirm that a window is gone.
  if (!wait_until([&shared] { return window_closed(*shared.ui); }, 10s)) {
    return ::testing::AssertionFailure() << "the shared window did not close";
  }
  return ::testing::AssertionSuccess();
}

// Closes the shared window before the process ends: a window thread still drawing while the
// process runs its exit handlers has been seen to crash it.
class SharedWindowEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { EXPECT_TRUE(close_shared_window()); }
};
[[maybe_unused]] ::testing::Environment* const g_shared_window_environment =
    ::testing::AddGlobalTestEnvironment(new SharedWindowEnvironment);

}  // namespace nelo::testing_support
