// Making the window's drawing resources, at first and again at another scale, and the few
// questions the painter asks of them (a format, a text's width, the shadow bitmap).
#include "ui/drawing_resources_win.h"

#include <string>
#include <utility>
#include <vector>

#include "base/wide_text_win.h"
#include "ui/shadow.h"
#include "ui/shapes.h"

namespace nelo {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kLocale[] = L"pt-BR";

// The calling thread's last error as an HRESULT; E_FAIL when a call failed without setting one.
HRESULT last_error_hresult() {
  const DWORD error = ::GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
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
HRESULT make_geometry(ID2D1Factory* factory, Describe describe,
                      ComPtr<ID2D1PathGeometry>* geometry) {
  HRESULT hr = factory->CreatePathGeometry(geometry->ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  ComPtr<ID2D1GeometrySink> sink;
  if (FAILED(hr = (*geometry)->Open(&sink))) {
    return hr;
  }
  sink->SetFillMode(D2D1_FILL_MODE_ALTERNATE);
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

// The surface: a 32-bit top-down DIB section selected into a memory DC like the screen's.
HRESULT make_surface(SurfaceSize size, DrawingResources* drawing) {
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

// What depends on the scale, or is cheap enough to make with it: the render target, the
// geometries, the surface and the five text formats, from the factories and typeface already
// in `drawing`.
HRESULT make_scaled_parts(float scale, DrawingResources* drawing) {
  drawing->scale = scale;
  ID2D1Factory* factory = drawing->d2d_factory.Get();
  HRESULT hr = make_render_target(factory, scale, &drawing->render_target);
  if (FAILED(hr) || FAILED(hr = make_geometry(factory, describe_ring, &drawing->ring_geometry)) ||
      FAILED(hr = make_geometry(factory, describe_tail, &drawing->tail_geometry)) ||
      FAILED(hr = make_geometry(factory, describe_spinner, &drawing->spinner_geometry)) ||
      FAILED(hr = make_surface(surface_size(scale), drawing))) {
    return hr;
  }
  struct FormatStyle {
    DWRITE_FONT_WEIGHT weight;
    float size;
    bool wraps;
    bool centred;
    ComPtr<IDWriteTextFormat> DrawingResources::*format;
  };
  constexpr FormatStyle kFormats[] = {
      {DWRITE_FONT_WEIGHT_EXTRA_BOLD, 18, false, false, &DrawingResources::title_format},
      {DWRITE_FONT_WEIGHT_MEDIUM, 13, false, false, &DrawingResources::body_format},
      {DWRITE_FONT_WEIGHT_MEDIUM, 13, true, false, &DrawingResources::wrap_format},
      {DWRITE_FONT_WEIGHT_MEDIUM, 12, false, false, &DrawingResources::small_format},
      {DWRITE_FONT_WEIGHT_EXTRA_BOLD, 13, false, true, &DrawingResources::button_format},
  };
  for (const FormatStyle& style : kFormats) {
    if (FAILED(hr = make_text_format(drawing->dwrite_factory.Get(), drawing->face, style.weight,
                                     style.size, style.wraps, style.centred,
                                     &(drawing->*style.format)))) {
      return hr;
    }
  }
  return S_OK;
}

}  // namespace

HRESULT make_drawing_resources(float scale, DrawingResources* drawing) {
  HRESULT hr =
      ::D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                          reinterpret_cast<void**>(drawing->d2d_factory.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    return hr;
  }
  if (FAILED(hr = ::DWriteCreateFactory(
                 DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                 reinterpret_cast<IUnknown**>(drawing->dwrite_factory.ReleaseAndGetAddressOf())))) {
    return hr;
  }
  drawing->face = register_embedded_font(drawing->dwrite_factory.Get());
  return make_scaled_parts(scale, drawing);
}

HRESULT rescale_drawing_resources(DrawingResources& drawing, float scale) {
  DrawingResources rescaled;
  rescaled.d2d_factory = drawing.d2d_factory;
  rescaled.dwrite_factory = drawing.dwrite_factory;
  rescaled.face = drawing.face;
  if (const HRESULT hr = make_scaled_parts(scale, &rescaled); FAILED(hr)) {
    return hr;
  }
  drawing = std::move(rescaled);
  return S_OK;
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

bool recreate_render_target(DrawingResources& drawing) {
  ComPtr<ID2D1DCRenderTarget> target;
  if (FAILED(make_render_target(drawing.d2d_factory.Get(), drawing.scale, &target))) {
    return false;
  }
  drawing.render_target = std::move(target);
  drawing.shadow.Reset();
  drawing.shadow_built = false;
  drawing.target_lost = false;
  return true;
}

ID2D1Bitmap* shadow_bitmap(DrawingResources& drawing) {
  if (!drawing.shadow_built) {
    drawing.shadow_built = true;
    const std::vector<std::uint8_t> pixels = shadow_pixels(drawing.surface, drawing.scale);
    const D2D1_BITMAP_PROPERTIES properties = D2D1::BitmapProperties(
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
        96 * drawing.scale, 96 * drawing.scale);
    drawing.render_target->CreateBitmap(D2D1::SizeU(drawing.surface.width, drawing.surface.height),
                                        pixels.data(), drawing.surface.width * 4, &properties,
                                        drawing.shadow.ReleaseAndGetAddressOf());
  }
  return drawing.shadow.Get();
}

IDWriteTextFormat* format_for(const DrawingResources& drawing, TextFormat format) {
  switch (format) {
    case TextFormat::Title:
      return drawing.title_format.Get();
    case TextFormat::Body:
      return drawing.body_format.Get();
    case TextFormat::Wrap:
      return drawing.wrap_format.Get();
    case TextFormat::Small:
      return drawing.small_format.Get();
    case TextFormat::Button:
      return drawing.button_format.Get();
  }
  return drawing.body_format.Get();
}

float text_width(const DrawingResources& drawing, std::string_view text, TextFormat format) {
  const std::wstring wide = to_wide(text);
  ComPtr<IDWriteTextLayout> layout;
  if (FAILED(drawing.dwrite_factory->CreateTextLayout(
          wide.c_str(), static_cast<UINT32>(wide.size()), format_for(drawing, format), 1000, 100,
          &layout))) {
    return 0;
  }
  DWRITE_TEXT_METRICS metrics{};
  if (FAILED(layout->GetMetrics(&metrics))) {
    return 0;
  }
  return metrics.widthIncludingTrailingWhitespace;
}

}  // namespace nelo
