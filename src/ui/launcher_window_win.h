// The launcher window: a borderless, layered popup drawn with Direct2D and DirectWrite on a
// thread of its own, which shows whatever the shared LauncherUi says and stores the user's
// choice back into it.
#pragma once

#include "base/win_support.h"

#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/unique_handle.h"
#include "ui/frame_parts.h"
#include "ui/launcher_ui.h"
#include "ui/window_geometry.h"

namespace nelo {

// Starts run_launcher_window on a new, detached thread. When no thread can be started the
// window is marked closed at once, so that the session does not wait for it.
void start_launcher_window(std::shared_ptr<LauncherUi> ui);

// The whole life of the window thread: set-up, first frame, 16 ms timer, message loop. Returns
// once the window is gone or could not be made; either way `window_closed` is then set. A failed
// set-up writes one line to the launcher log ("janela: desenho ..." or "janela: criar ...").
void run_launcher_window(std::shared_ptr<LauncherUi> ui);

// The pieces of run_launcher_window, for programs that drive the frames themselves.

// The window thread's own record; one per process, reachable from the window procedure.
struct LauncherWindow {
  std::vector<HitRect> hit_rects;  // the buttons of the last frame
  Clock::time_point start;         // time base of every animation
  std::shared_ptr<LauncherUi> ui;
  Microsoft::WRL::ComPtr<ID2D1Factory> d2d_factory;
  Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> render_target;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> title_format;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> body_format;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> wrap_format;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> small_format;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> button_format;
  Microsoft::WRL::ComPtr<IDWriteFactory> dwrite_factory;
  Microsoft::WRL::ComPtr<ID2D1PathGeometry> ring_geometry;
  Microsoft::WRL::ComPtr<ID2D1PathGeometry> tail_geometry;
  Microsoft::WRL::ComPtr<ID2D1PathGeometry> spinner_geometry;
  // Set when the last frame's EndDraw said the target must be made anew (a lost device): the
  // next frame recreates the render target and the shadow bitmap that belongs to it.
  bool target_lost = false;
  bool shadow_built = false;  // tried once per render target; `shadow` may still be empty
  Microsoft::WRL::ComPtr<ID2D1Bitmap> shadow;
  // Declared before the DC so that it goes after it: a bitmap still selected into a DC cannot
  // be deleted.
  unique_bitmap surface_bitmap;
  unique_memory_dc memory_dc;
  SurfaceSize surface;
  float scale = 1;
  std::uint8_t hovered_action = NoAction;
  // The button the keyboard's focus is on (NoAction: never moved, the primary one), and
  // whether Tab has been used: only then is the focus ring drawn. Each new screen (another
  // kind of phase) starts again from its primary button, without a ring.
  std::uint8_t focused_action = NoAction;
  bool keys_used = false;
  std::size_t focus_screen = 0;  // the kind of phase the focus belongs to
  // What the window shows now: the plan last handed over, where and at what scale. A frame
  // whose plan, place and scale are the same is not drawn again.
  std::optional<FramePlan> shown_plan;
  POINT shown_at{};
  float shown_scale = 0;
  std::uint64_t frames_shown = 0;  // frames drawn and handed to the window
};

// The record of the running window, or null; used on the window thread only.
LauncherWindow* current_launcher_window();

// Steps up to showing the window: DPI, Direct2D, DirectWrite and the font, the surface, the
// window class, the record, the window, its first frame, ShowWindow and the timer. Returns the
// window, or null after logging the failure and marking `ui` closed.
HWND open_launcher_window(const std::shared_ptr<LauncherUi>& ui);

// Runs the thread's message loop until WM_QUIT.
void run_message_loop();

// Releases the surface and marks the window closed; the last thing the window thread does.
void finish_launcher_window(LauncherUi& ui);

// The DC render target of the window's surface at the display scale, with grayscale text.
HRESULT make_render_target(ID2D1Factory* factory, float scale,
                           Microsoft::WRL::ComPtr<ID2D1DCRenderTarget>* target);

// One frame: snapshot, plan, new hit rectangles, and, when the plan, the window's place or the
// scale differs from what the window shows, drawing and UpdateLayeredWindow (a still screen
// costs a plan a tick, nothing more); or, when the session asked for it, DestroyWindow and
// nothing else. A draw that began always ends, also when the frame's planning throws; a target
// lost at EndDraw is made anew on the next frame, which is drawn whatever its plan.
void paint_frame(LauncherWindow& state, HWND window);

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace nelo
