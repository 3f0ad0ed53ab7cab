// Carries out a frame plan with Direct2D and DirectWrite and hands the picture to the layered
// window. Brushes, stroke styles, gradients, layers and text layouts are made for the one draw
// that needs them; an element whose object cannot be made is skipped.
#include <chrono>
#include <utility>
#include <variant>

#include "base/wide_text_win.h"
#include "ui/frame_plan.h"
#include "ui/keyboard_focus.h"
#include "ui/paint_frame_win.h"

namespace nelo {
namespace {

using Microsoft::WRL::ComPtr;

D2D1_COLOR_F to_d2d(Colour colour) {
  return D2D1::ColorF(colour.r / 255.0f, colour.g / 255.0f, colour.b / 255.0f, 1.0f);
}

D2D1_RECT_F to_d2d(const RectF& rect) {
  return D2D1::RectF(rect.left, rect.top, rect.right, rect.bottom);
}

D2D1_ROUNDED_RECT rounded(const RectF& rect, float radius) {
  return D2D1::RoundedRect(to_d2d(rect), radius, radius);
}

ComPtr<ID2D1StrokeStyle> round_stroke(ID2D1Factory* factory, D2D1_LINE_JOIN join) {
  const D2D1_STROKE_STYLE_PROPERTIES properties = {D2D1_CAP_STYLE_ROUND,
                                                   D2D1_CAP_STYLE_ROUND,
                                                   D2D1_CAP_STYLE_FLAT,
                                                   join,
                                                   0.0f,
                                                   D2D1_DASH_STYLE_SOLID,
                                                   0.0f};
  ComPtr<ID2D1StrokeStyle> style;
  factory->CreateStrokeStyle(&properties, nullptr, 0, &style);
  return style;
}

struct Painter {
  DrawingResources& drawing;
  ID2D1DCRenderTarget* target;

  ComPtr<ID2D1SolidColorBrush> brush(Colour colour) {
    ComPtr<ID2D1SolidColorBrush> made;
    target->CreateSolidColorBrush(to_d2d(colour), &made);
    return made;
  }

  void operator()(const ShadowOp&) {
    if (ID2D1Bitmap* shadow = shadow_bitmap(drawing)) {
      // No destination: the bitmap's DPI makes it exactly cover the surface.
      target->DrawBitmap(shadow, nullptr, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR,
                         nullptr);
    }
  }

  void operator()(const FocusRingOp& op) {
    if (const auto stroke = brush(op.colour)) {
      target->DrawRoundedRectangle(rounded(op.rect, op.radius), stroke.Get(), op.width);
    }
  }

  void operator()(const RoundedRectOp& op) {
    if (const auto fill = brush(op.colour)) {
      target->FillRoundedRectangle(rounded(op.rect, op.radius), fill.Get());
    }
  }

  void operator()(const MaskedRoundedRectOp& op) {
    ComPtr<ID2D1RoundedRectangleGeometry> mask;
    ComPtr<ID2D1Layer> layer;
    const auto fill = brush(op.colour);
    if (!fill ||
        FAILED(drawing.d2d_factory->CreateRoundedRectangleGeometry(rounded(op.mask, op.mask_radius),
                                                                   &mask)) ||
        FAILED(target->CreateLayer(nullptr, &layer))) {
      return;
    }
    target->PushLayer(
        D2D1::LayerParameters(to_d2d(op.mask), mask.Get(), D2D1_ANTIALIAS_MODE_PER_PRIMITIVE,
                              D2D1::IdentityMatrix(), 1.0f, nullptr, D2D1_LAYER_OPTIONS_NONE),
        layer.Get());
    target->FillRoundedRectangle(rounded(op.rect, op.radius), fill.Get());
    target->PopLayer();
  }

  void operator()(const LogoOp& op) {
    const LogoPlacement place = logo_placement(op.size);
    target->SetTransform(D2D1::Matrix3x2F::Scale(place.scale, place.scale) *
                         D2D1::Matrix3x2F::Translation(place.dx, place.dy));
    const D2D1_GRADIENT_STOP stops[2] = {{0.0f, to_d2d(kLogoGradientFrom)},
                                         {1.0f, to_d2d(kLogoGradientTo)}};
    ComPtr<ID2D1GradientStopCollection> collection;
    ComPtr<ID2D1LinearGradientBrush> gradient;
    if (SUCCEEDED(target->CreateGradientStopCollection(stops, 2, D2D1_GAMMA_2_2,
                                                       D2D1_EXTEND_MODE_CLAMP, &collection)) &&
        SUCCEEDED(target->CreateLinearGradientBrush(
            D2D1::LinearGradientBrushProperties(to_point(kLogoGradientStart),
                                                to_point(kLogoGradientEnd)),
            collection.Get(), &gradient))) {
      target->FillGeometry(drawing.ring_geometry.Get(), gradient.Get());
      target->FillGeometry(drawing.tail_geometry.Get(), gradient.Get());
    }
    if (const auto white = brush(kWhite)) {
      for (const LogoBar& bar : kLogoBars) {
        target->FillRoundedRectangle(
            rounded({bar.x, bar.y, bar.x + kLogoBarWidth, bar.y + bar.height}, kLogoBarRadius),
            white.Get());
      }
    }
    target->SetTransform(D2D1::IdentityMatrix());
  }

  void operator()(const TextOp& op) {
    const std::wstring text = to_wide(op.text);
    if (const auto fill = brush(op.colour)) {
      target->DrawText(text.c_str(), static_cast<UINT32>(text.size()),
                       format_for(drawing, op.format), to_d2d(op.box), fill.Get(),
                       D2D1_DRAW_TEXT_OPTIONS_NONE, DWRITE_MEASURING_MODE_NATURAL);
    }
  }

  void operator()(const SpinnerOp& op) {
    const auto stroke = brush(op.colour);
    const auto style = round_stroke(drawing.d2d_factory.Get(), D2D1_LINE_JOIN_MITER);
    if (!stroke || !style) {
      return;
    }
    D2D1_MATRIX_3X2_F rotation;
    ::D2D1MakeRotateMatrix(op.angle_degrees, D2D1::Point2F(0, 0), &rotation);
    target->SetTransform(*D2D1::Matrix3x2F::ReinterpretBaseType(&rotation) *
                         D2D1::Matrix3x2F::Translation(op.at.x, op.at.y));
    target->DrawGeometry(drawing.spinner_geometry.Get(), stroke.Get(), kSpinnerStrokeWidth,
                         style.Get());
    target->SetTransform(D2D1::IdentityMatrix());
  }

  void operator()(const CheckMarkOp& op) {
    const auto stroke = brush(op.colour);
    const auto style = round_stroke(drawing.d2d_factory.Get(), D2D1_LINE_JOIN_ROUND);
    if (!stroke || !style) {
      return;
    }
    for (std::size_t i = 0; i + 1 < kCheckMark.size(); ++i) {
      target->DrawLine(to_point(kCheckMark[i]), to_point(kCheckMark[i + 1]), stroke.Get(),
                       kCheckMarkStrokeWidth, style.Get());
    }
  }

  static D2D1_POINT_2F to_point(PointF point) { return D2D1::Point2F(point.x, point.y); }
};

// BeginDraw on construction, EndDraw exactly once: by `end`, or on the way out of a frame that
// threw, so that the target is never left inside a draw.
class DrawScope {
 public:
  explicit DrawScope(ID2D1RenderTarget* target) : target_(target) { target_->BeginDraw(); }
  DrawScope(const DrawScope&) = delete;
  DrawScope& operator=(const DrawScope&) = delete;
  ~DrawScope() {
    if (open_) {
      (void)target_->EndDraw();
    }
  }
  HRESULT end() {
    open_ = false;
    return target_->EndDraw();
  }

 private:
  ID2D1RenderTarget* target_;
  bool open_ = true;
};

}  // namespace

void paint_frame(LauncherWindow& state, HWND window) {
  const UiSnapshot snapshot = take_snapshot(*state.ui);
  if (snapshot.close_requested) {
    ::DestroyWindow(window);
    return;
  }
  const float t =
      std::chrono::duration<float>(std::chrono::steady_clock::now() - state.start).count();

  DrawingResources& drawing = state.drawing;
  if (drawing.target_lost) {
    if (!recreate_render_target(drawing)) {
      return;
    }
    state.shown_plan.reset();  // what the window shows is the old target's: drawn anew
  }
  FramePlan plan = plan_frame(snapshot, t, state.hovered_action,
                              [&drawing](std::string_view text, TextFormat format) {
                                return text_width(drawing, text, format);
                              });
  if (snapshot.phase.index() != state.focus_screen) {
    state.focus_screen = snapshot.phase.index();
    state.focused_action = NoAction;
    state.keys_used = false;
  }
  if (state.keys_used) {
    add_focus_ring(plan, focused_button(plan.hits, state.focused_action));
  }
  if (state.readers) {
    state.readers->frame_planned(window, plan, state.focused_action, snapshot.phase, drawing.scale);
  }
  // Where the window is now, so that a window the user dragged stays there.
  RECT where{};
  ::GetWindowRect(window, &where);
  POINT top_left = {where.left, where.top};
  state.hit_rects = plan.hits;
  if (state.shown_plan == plan && state.shown_at.x == top_left.x &&
      state.shown_at.y == top_left.y && state.shown_scale == drawing.scale) {
    return;  // the window shows this picture already
  }
  state.shown_plan.reset();
  ID2D1DCRenderTarget* target = drawing.render_target.Get();
  const RECT bounds = {0, 0, static_cast<LONG>(drawing.surface.width),
                       static_cast<LONG>(drawing.surface.height)};
  if (FAILED(target->BindDC(drawing.memory_dc.get(), &bounds))) {
    return;
  }
  {
    DrawScope draw(target);
    target->Clear(D2D1::ColorF(0, 0, 0, 0));
    Painter painter{drawing, target};
    for (const DrawOp& op : plan.ops) {
      std::visit(painter, op);
    }
    if (draw.end() == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
      drawing.target_lost = true;  // the frame is shown as drawn; the next one starts afresh
    }
  }
  SIZE size = {static_cast<LONG>(drawing.surface.width), static_cast<LONG>(drawing.surface.height)};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  if (!::UpdateLayeredWindow(window, nullptr, &top_left, &size, drawing.memory_dc.get(), &source, 0,
                             &blend, ULW_ALPHA)) {
    return;  // not shown: the next frame tries again
  }
  ++state.frames_shown;
  if (!drawing.target_lost) {
    state.shown_plan = std::move(plan);
    state.shown_at = top_left;
    state.shown_scale = drawing.scale;
  }
}

}  // namespace nelo
