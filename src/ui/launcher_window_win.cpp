#include "ui/launcher_window_win.h"

#include <dwrite_3.h>

#include <exception>
#include <string>
#include <thread>
#include <utility>

#include "base/system_error_win.h"
#include "base/wide_text_win.h"
#include "install/launcher_log.h"
#include "ui/embedded_font.h"
#include "ui/typeface_win.h"
#include "ui/shapes.h"

namespace nelo {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kClassName[] = L"NeloLauncher";
constexpr wchar_t kTitle[] = L"Nelo";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameMilliseconds = 16;
constexpr wchar_t kLocale[] = L"pt-BR";

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

HRESULT make_text_format(IDWriteFactory* factory, const TypeFace& face, DWRITE_FONT_WEIGHT weight,
                         float size, bool wraps, bool centred, ComPtr<IDWriteTextFormat>* format) {
  HRESULT hr = factory->CreateTextFormat(face.family, face.collection.Get(), weight,
                                         DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size,
                                         kLocale, format->ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  IDWriteTextFormat* made = format->Get();
  if (!wraps && FAILED(hr = made->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP))) {
    return hr;
  }
  if (FAILED(hr = made->SetTextAlignment(centred ? DWRITE_TEXT_ALIGNMENT_CENTER
                                                 : DWRITE_TEXT_ALIGNMENT_LEADING))) {
    return hr;
  }
  return made->SetParagraphAlignment(centred ? DWRITE_PARAGRAPH_ALIGNMENT_CENTER
                                             : DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
}

D2D1_POINT_2F to_d2d(PointF point) {
  return D2D1::Point2F(point.x, point.y);
}

void add_arc(ID2D1GeometrySink* sink, const ArcTo& arc) {
  const D2D1_ARC_SEGMENT segment = {to_d2d(arc.end), D2D1::SizeF(arc.radius, arc.radius), 0.0f,
                                    D2D1_SWEEP_DIRECTION_CLOCKWISE,
                                    arc.large ? D2D1_ARC_SIZE_LARGE : D2D1_ARC_SIZE_SMALL};
  sink->AddArc(&segment);
}

// A path geometry whose figures `describe` writes into the sink.
template <class Describe>
HRESULT make_geometry(ID2D1Factory* factory, D2D1_FILL_MODE fill_mode, Describe describe,
                      ComPtr<ID2D1PathGeometry>* geometry) {
  HRESULT hr = factory->CreatePathGeometry(geometry->ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  ComPtr<ID2D1GeometrySink> sink;
  if (FAILED(hr = (*geometry)->Open(&sink))) {
    return hr;
  }
  sink->SetFillMode(fill_mode);
  describe(sink.Get());
  return sink->Close();
}

void describe_ring(ID2D1GeometrySink* sink) {
  for (const CircleFigure& circle : kLogoRing) {
    sink->BeginFigure(to_d2d(circle.start), D2D1_FIGURE_BEGIN_FILLED);
    for (const ArcTo& arc : circle.arcs) {
      add_arc(sink, arc);
    }
    sink->EndFigure(D2D1_FIGURE_END_CLOSED);
  }
}

void describe_tail(ID2D1GeometrySink* sink) {
  sink->BeginFigure(to_d2d(kLogoTail[0]), D2D1_FIGURE_BEGIN_FILLED);
  sink->AddLine(to_d2d(kLogoTail[1]));
  sink->AddLine(to_d2d(kLogoTail[2]));
  sink->EndFigure(D2D1_FIGURE_END_CLOSED);
}

void describe_spinner(ID2D1GeometrySink* sink) {
  sink->BeginFigure(to_d2d(kSpinnerStart), D2D1_FIGURE_BEGIN_HOLLOW);
  add_arc(sink, kSpinnerArc);
  sink->EndFigure(D2D1_FIGURE_END_OPEN);
}

// What the drawing set-up makes, before it moves into the window's record.
struct Drawing {
  ComPtr<ID2D1Factory> d2d_factory;
  ComPtr<ID2D1DCRenderTarget> render_target;
  ComPtr<ID2D1PathGeometry> ring;
  ComPtr<ID2D1PathGeometry> tail;
  ComPtr<ID2D1PathGeometry> spinner;
  unique_bitmap surface_bitmap;  // before the DC, so that the DC goes first
  unique_memory_dc memory_dc;
  SurfaceSize surface;
  ComPtr<IDWriteFactory> dwrite_factory;
  ComPtr<IDWriteTextFormat> formats[5];  // title, body, wrap, small, button
};

// The surface: a 32-bit top-down DIB section selected into a memory DC like the screen's.
HRESULT make_surface(SurfaceSize size, Drawing* drawing) {
  const HDC screen = ::GetDC(nullptr);
  drawing->memory_dc.reset(::CreateCompatibleDC(screen));
  ::ReleaseDC(nullptr, screen);
  if (!drawing->memory_dc) {
    return last_error_hresult();
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = static_cast<LONG>(size.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(size.height);  // negative: rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ::SetLastError(ERROR_SUCCESS);
  drawing->surface_bitmap.reset(
      ::CreateDIBSection(drawing->memory_dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!drawing->surface_bitmap) {
    return last_error_hresult();
  }
  ::SelectObject(drawing->memory_dc.get(), drawing->surface_bitmap.get());
  drawing->surface = size;
  return S_OK;
}

// Direct2D, the geometries, the surface, DirectWrite with the typeface and the five text
// formats; the first failure ends the set-up with its error.
HRESULT make_drawing(float scale, Drawing* drawing) {
  HRESULT hr =
      ::D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                          reinterpret_cast<void**>(drawing->d2d_factory.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    return hr;
  }
  if (FAILED(hr = make_render_target(drawing->d2d_factory.Get(), scale, &drawing->render_target))) {
    return hr;
  }

  ID2D1Factory* factory = drawing->d2d_factory.Get();
  if (FAILED(hr =
                 make_geometry(factory, D2D1_FILL_MODE_ALTERNATE, describe_ring, &drawing->ring)) ||
      FAILED(hr =
                 make_geometry(factory, D2D1_FILL_MODE_ALTERNATE, describe_tail, &drawing->tail)) ||
      FAILED(hr = make_geometry(factory, D2D1_FILL_MODE_ALTERNATE, describe_spinner,
                                &drawing->spinner))) {
    return hr;
  }

  if (FAILED(hr = make_surface(surface_size(scale), drawing))) {
    return hr;
  }

  if (FAILED(hr = ::DWriteCreateFactory(
                 DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                 reinterpret_cast<IUnknown**>(drawing->dwrite_factory.ReleaseAndGetAddressOf())))) {
    return hr;
  }
  const TypeFace face = register_embedded_font(drawing->dwrite_factory.Get());
  struct FormatStyle {
    DWRITE_FONT_WEIGHT weight;
    float size;
    bool wraps;
    bool centred;
  };
  constexpr FormatStyle kFormats[5] = {
      {DWRITE_FONT_WEIGHT_EXTRA_BOLD, 18, false, false},  // title
      {DWRITE_FONT_WEIGHT_MEDIUM, 13, false, false},      // body
      {DWRITE_FONT_WEIGHT_MEDIUM, 13, true, false},       // wrap
      {DWRITE_FONT_WEIGHT_MEDIUM, 12, false, false},      // small
      {DWRITE_FONT_WEIGHT_EXTRA_BOLD, 13, false, true},   // button
  };
  for (int i = 0; i < 5; ++i) {
    const FormatStyle& style = kFormats[i];
    if (FAILED(hr = make_text_format(drawing->dwrite_factory.Get(), face, style.weight, style.size,
                                     style.wraps, style.centred, &drawing->formats[i]))) {
      return hr;
    }
  }
  return S_OK;
}

}  // namespace

LauncherWindow* current_launcher_window() {
  return g_window;
}

HWND open_launcher_window(const std::shared_ptr<LauncherUi>& ui) {
  // The result is ignored: a process already made aware by its manifest keeps its setting.
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const float scale = scale_for_dpi(::GetDpiForSystem());

  Drawing drawing;
  if (const HRESULT hr = make_drawing(scale, &drawing); FAILED(hr)) {
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
  record->d2d_factory = std::move(drawing.d2d_factory);
  record->render_target = std::move(drawing.render_target);
  record->title_format = std::move(drawing.formats[0]);
  record->body_format = std::move(drawing.formats[1]);
  record->wrap_format = std::move(drawing.formats[2]);
  record->small_format = std::move(drawing.formats[3]);
  record->button_format = std::move(drawing.formats[4]);
  record->dwrite_factory = std::move(drawing.dwrite_factory);
  record->ring_geometry = std::move(drawing.ring);
  record->tail_geometry = std::move(drawing.tail);
  record->spinner_geometry = std::move(drawing.spinner);
  record->surface_bitmap = std::move(drawing.surface_bitmap);
  record->memory_dc = std::move(drawing.memory_dc);
  record->surface = drawing.surface;
  record->scale = scale;
  delete std::exchange(g_window, nullptr);
  g_window = record.release();

  ::SetLastError(ERROR_SUCCESS);
  const HWND window = ::CreateWindowExW(
      WS_EX_LAYERED | WS_EX_APPWINDOW, kClassName, kTitle, WS_POPUP, position.x, position.y,
      static_cast<int>(g_window->surface.width), static_cast<int>(g_window->surface.height),
      nullptr, nullptr, module, nullptr);
  if (window == nullptr) {
    log_failure(kCreateFailure, last_error_hresult());
    mark_window_closed(*ui);
    return nullptr;
  }
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
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
    // The DC first: the bitmap is selected into it and could not be deleted before.
    g_window->memory_dc.reset();
    g_window->surface_bitmap.reset();
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

HRESULT make_render_target(ID2D1Factory* factory, float scale,
                           ComPtr<ID2D1DCRenderTarget>* target) {
  const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_DEFAULT,
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96 * scale,
      96 * scale, D2D1_RENDER_TARGET_USAGE_GDI_COMPATIBLE, D2D1_FEATURE_LEVEL_DEFAULT);
  ComPtr<ID2D1DCRenderTarget> made;
  if (const HRESULT hr = factory->CreateDCRenderTarget(&properties, &made); FAILED(hr)) {
    return hr;
  }
  made->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
  *target = std::move(made);
  return S_OK;
}

}  // namespace nelo
