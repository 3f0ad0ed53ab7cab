// Measures the launcher window: the time to compute the shadow bitmap, the time of one frame
// drawn (median over 600 frames driven one after the other, each drawn anew) and the process's
// CPU use while a screen is shown for 10 seconds (or as many as asked) at the window's own 16 ms
// pace, with the frames drawn in that time: every tick for an animated screen, none after the
// first for a still one. In the same run, as the reference, the same screen for as long again
// with a frame drawn on every tick whether or not it changed (as the window did before it kept
// what it showed). Prints each figure beside its target and reference; asserts nothing.
//
//   nelo_window_bench [phase number, default 2 = Checking] [seconds, default 10]
#include "base/win_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <variant>
#include <vector>

#include "ui/launcher_ui.h"
#include "ui/launcher_window_win.h"
#include "ui/paint_frame_win.h"
#include "ui/shadow.h"

namespace {

using namespace nelo;
using Seconds = std::chrono::duration<double>;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

Phase phase_by_number(int number) {
  switch (number) {
    case 0:
      return Consent{};
    case 1:
      return Installing{42'000'000, 85'000'000, 2'400'000};
    case 3:
      return Updating{"2.4.0", "Sons e vídeo", 3'400'000, 12'000'000, 4};
    case 4:
      return Updated{};
    case 5:
      return Launching{true};
    case 6:
      return Offline{4, true};
    case 7:
      return Failed{"lista inválida", "Não deu para atualizar", true};
    default:
      return Checking{};
  }
}

std::uint64_t process_cpu_100ns() {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto value = [](const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  };
  return value(kernel) + value(user);
}

// Handles what is waiting without blocking, so that the window stays responsive between frames.
void pump() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message != WM_TIMER) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

// What a watcher saw over its seconds.
struct Watch {
  double wall = 0;
  double cpu = 0;
  int ticks = 0;
  std::uint64_t drawn = 0;

  double percent() const { return wall > 0 ? 100 * cpu / wall : 0; }
};

void print_watch(const char* what, const Watch& watch) {
  std::printf(
      "%s %.1f s: %d ticks (%.1f per second), %llu frames drawn, process CPU %.2f s = "
      "%.1f %% of one core\n",
      what, watch.wall, watch.ticks, watch.wall > 0 ? watch.ticks / watch.wall : 0,
      static_cast<unsigned long long>(watch.drawn), watch.cpu, watch.percent());
}

// The screens that move on their own (a spinner, a sliding bar, a pulse) draw every tick.
bool animated(const Phase& phase) {
  return std::holds_alternative<Checking>(phase) || std::holds_alternative<Launching>(phase);
}

}  // namespace

int main(int argc, char** argv) {
  const int phase_number = argc > 1 ? std::atoi(argv[1]) : 2;
  const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const float scale = scale_for_dpi(::GetDpiForSystem());
  const SurfaceSize size = surface_size(scale);

  std::vector<double> shadow_times;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::uint8_t> pixels = shadow_pixels(size, scale);
    shadow_times.push_back(Seconds(std::chrono::steady_clock::now() - start).count());
    if (pixels.empty()) {
      return 1;
    }
  }

  auto ui = std::make_shared<LauncherUi>();
  set_version_text(*ui, "2.3.1");
  set_phase(*ui, phase_by_number(phase_number));
  const auto opened = std::chrono::steady_clock::now();
  const HWND window = open_launcher_window(ui);  // includes the first frame and its shadow
  const double open_time = Seconds(std::chrono::steady_clock::now() - opened).count();
  LauncherWindow* state = current_launcher_window();
  if (window == nullptr || state == nullptr) {
    std::printf("the window could not be opened\n");
    return 1;
  }

  // 600 frames back to back, the timer stopped so that only these frames are drawn.
  ::KillTimer(window, 1);
  std::vector<double> frame_times;
  for (int i = 0; i < 600; ++i) {
    pump();
    state->shown_plan.reset();  // drawn anew even when nothing changed
    const auto start = std::chrono::steady_clock::now();
    paint_frame(*state, window);
    frame_times.push_back(Seconds(std::chrono::steady_clock::now() - start).count());
  }

  // The seconds asked for at the window's own pace, then as many again with every tick drawn
  // anew, each measured by a watcher thread; the loop ends when the frame after the close
  // request destroys the window.
  ::SetTimer(window, 1, 16, nullptr);
  std::atomic<int> frames{0};
  std::atomic<bool> draw_every_tick{false};
  std::atomic<std::uint64_t> drawn_total{state->frames_shown};  // the 600 above not counted
  Watch as_it_is;
  Watch reference;
  std::thread closer([&] {
    const auto watch = [&](Watch& into) {
      const std::uint64_t cpu_before = process_cpu_100ns();
      const auto wall_start = std::chrono::steady_clock::now();
      const int frames_before = frames.load();
      const std::uint64_t drawn_before = drawn_total.load();
      std::this_thread::sleep_for(std::chrono::seconds(seconds));
      into.cpu = static_cast<double>(process_cpu_100ns() - cpu_before) / 1e7;
      into.wall = Seconds(std::chrono::steady_clock::now() - wall_start).count();
      into.ticks = frames.load() - frames_before;
      into.drawn = drawn_total.load() - drawn_before;
    };
    watch(as_it_is);
    draw_every_tick = true;
    watch(reference);
    request_close(*ui);
  });
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER) {
      ++frames;
      if (draw_every_tick) {
        state->shown_plan.reset();  // the reference: drawn anew even when nothing changed
      }
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    drawn_total = state->frames_shown;  // read on this thread, which alone writes it
  }
  closer.join();
  finish_launcher_window(*ui);

  std::printf("scale %.2f, surface %u x %u pixels, phase %d\n", scale, size.width, size.height,
              phase_number);
  std::printf("shadow bitmap: %.1f ms (median of %zu)\n", median(shadow_times) * 1e3,
              shadow_times.size());
  std::printf("set-up with first frame: %.1f ms\n", open_time * 1e3);
  std::printf("paint_frame: median %.2f ms, fastest %.2f ms, slowest %.2f ms (%zu frames)\n",
              median(frame_times) * 1e3,
              *std::min_element(frame_times.begin(), frame_times.end()) * 1e3,
              *std::max_element(frame_times.begin(), frame_times.end()) * 1e3, frame_times.size());
  const bool still = !animated(phase_by_number(phase_number));
  print_watch("shown", as_it_is);
  print_watch("reference, drawn every tick", reference);
  if (still) {
    std::printf("frames drawn while still: %llu (target 0)\n",
                static_cast<unsigned long long>(as_it_is.drawn));
    std::printf(
        "process CPU while still: %.1f %% of one core (target: under a tenth of the "
        "reference's %.1f %%)\n",
        as_it_is.percent(), reference.percent());
  } else {
    std::printf(
        "frames drawn while animated: %llu of %d ticks (target: every tick, as the "
        "reference's %llu of %d)\n",
        static_cast<unsigned long long>(as_it_is.drawn), as_it_is.ticks,
        static_cast<unsigned long long>(reference.drawn), reference.ticks);
  }
  return 0;
}
