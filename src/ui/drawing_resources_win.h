// What the window draws with, apart from the window itself: the Direct2D and DirectWrite
// factories, the embedded typeface, the five text formats, the logo's and spinner's geometries,
// the DC render target and the 32-bit surface that frames are drawn into, all at one display
// scale. Made on the window thread and used there only.
#pragma once

#include "base/win_support.h"

#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include "base/unique_handle.h"
#include "ui/frame_parts.h"
#include "ui/typeface_win.h"
#include "ui/window_geometry.h"

namespace nelo {

struct DrawingResources {
  float scale = 1;  // pixels per DIP
  Microsoft::WRL::ComPtr<ID2D1Factory> d2d_factory;
  Microsoft::WRL::ComPtr<IDWriteFactory> dwrite_factory;
  TypeFace face;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> title_format;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> body_format;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> wrap_format;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> small_format;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> button_format;
  Microsoft::WRL::ComPtr<ID2D1PathGeometry> ring_geometry;
  Microsoft::WRL::ComPtr<ID2D1PathGeometry> tail_geometry;
  Microsoft::WRL::ComPtr<ID2D1PathGeometry> spinner_geometry;
  Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> render_target;
  // Set when the last frame's EndDraw said the target must be made anew (a lost device): the
  // next frame recreates the render target and the shadow bitmap that belongs to it.
  bool target_lost = false;
  bool shadow_built = false;  // tried once per render target; `shadow` may still be empty
  Microsoft::WRL::ComPtr<ID2D1Bitmap> shadow;
  // The DC before the bitmap, so that a move-assignment lets go of the old DC first: a bitmap
  // still selected into a DC cannot be deleted. The destructor keeps the same order.
  unique_memory_dc memory_dc;
  unique_bitmap surface_bitmap;
  SurfaceSize surface;

  DrawingResources() = default;
  DrawingResources(DrawingResources&&) = default;
  DrawingResources& operator=(DrawingResources&&) = default;
  DrawingResources(const DrawingResources&) = delete;
  DrawingResources& operator=(const DrawingResources&) = delete;
  ~DrawingResources() { release_surface(); }

  // The DC first: the bitmap is selected into it and could not be deleted before.
  void release_surface() {
    memory_dc.reset();
    surface_bitmap.reset();
  }
};

// Everything, at `scale`; the first failure ends the making with its error.
HRESULT make_drawing_resources(float scale, DrawingResources* drawing);

// The same drawing at another scale (the window moved to a display of another DPI): a new
// surface, render target, text formats and geometries from the same factories and typeface.
// On failure `drawing` is left as it was.
HRESULT rescale_drawing_resources(DrawingResources& drawing, float scale);

// The DC render target of the window's surface at the display scale, with grayscale text.
HRESULT make_render_target(ID2D1Factory* factory, float scale,
                           Microsoft::WRL::ComPtr<ID2D1DCRenderTarget>* target);

// A new render target and, with it, a new shadow bitmap (bitmaps belong to their target).
// False when the target cannot be made: the frame is skipped and the next one tries again.
bool recreate_render_target(DrawingResources& drawing);

// The shadow bitmap, made from the surface's pixels the first time a frame needs it on this
// target; a failure is remembered, so the window simply has no shadow.
ID2D1Bitmap* shadow_bitmap(DrawingResources& drawing);

IDWriteTextFormat* format_for(const DrawingResources& drawing, TextFormat format);

// Width including trailing white space, laid out in at most 1000 x 100 DIPs; 0 when the text
// cannot be laid out.
float text_width(const DrawingResources& drawing, std::string_view text, TextFormat format);

}  // namespace nelo
