#include "ui/window_geometry.h"

#include <cmath>
#include <limits>

#include "ui/launcher_ui.h"

namespace nelo {

std::int32_t saturate_to_i32(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  constexpr double kLow = std::numeric_limits<std::int32_t>::min();
  constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
  if (value <= kLow) {
    return std::numeric_limits<std::int32_t>::min();
  }
  if (value >= kHigh) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

std::uint32_t saturate_to_u32(double value) {
  if (std::isnan(value) || value <= 0) {
    return 0;
  }
  constexpr double kHigh = std::numeric_limits<std::uint32_t>::max();
  if (value >= kHigh) {
    return std::numeric_limits<std::uint32_t>::max();
  }
  return static_cast<std::uint32_t>(value);
}

float scale_for_dpi(std::uint32_t dpi) {
  return static_cast<float>(dpi == 0 ? 96 : dpi) / 96.0f;
}

SurfaceSize surface_size(float scale) {
  const auto side = [](float dips, float factor) {
    const std::int32_t pixels = saturate_to_i32(std::ceil(dips * factor));
    return static_cast<std::uint32_t>(pixels < 0 ? 0 : pixels);
  };
  return {side(kSurfaceWidthDips, scale), side(kSurfaceHeightDips, scale)};
}

ScreenPoint window_position(const ScreenRect& work_area, float scale) {
  // In 64 bits, so that no work area, however odd, overflows before the final saturation.
  const auto trunc_pixels = [scale](float dips) -> std::int64_t {
    return saturate_to_i32(std::trunc(dips * scale));
  };
  const std::int64_t width = std::int64_t{work_area.right} - work_area.left;
  const std::int64_t height = std::int64_t{work_area.bottom} - work_area.top;
  const std::int64_t x =
      work_area.left - trunc_pixels(kCardLeft) + (width - trunc_pixels(kCardRight - kCardLeft)) / 2;
  const std::int64_t y =
      work_area.top - trunc_pixels(kCardTop) + (height - trunc_pixels(kCardBottom - kCardTop)) / 2;
  return {saturate_to_i32(static_cast<double>(x)), saturate_to_i32(static_cast<double>(y))};
}

ScreenPoint keep_card_inside(ScreenPoint wanted, const ScreenRect& work_area, float scale) {
  // One axis: the card spans [at + lead, at + lead + span); in 64 bits, saturated at the end.
  const auto fit = [scale](std::int64_t at, float lead_dips, float span_dips, std::int64_t low,
                           std::int64_t high) {
    const std::int64_t lead = saturate_to_i32(std::trunc(lead_dips * scale));
    const std::int64_t span = saturate_to_i32(std::trunc(span_dips * scale));
    if (at + lead + span > high) {
      at = high - span - lead;
    }
    if (at + lead < low) {
      at = low - lead;
    }
    return saturate_to_i32(static_cast<double>(at));
  };
  return {fit(wanted.x, kCardLeft, kCardRight - kCardLeft, work_area.left, work_area.right),
          fit(wanted.y, kCardTop, kCardBottom - kCardTop, work_area.top, work_area.bottom)};
}

std::uint8_t button_at(const std::vector<HitRect>& hits, float x, float y) {
  for (const HitRect& hit : hits) {
    if (hit.left <= x && x <= hit.right && hit.top <= y && y <= hit.bottom) {
      return hit.action;
    }
  }
  return NoAction;
}

bool in_drag_area(float x, float y) {
  return kCardLeft <= x && x <= kCardRight && kCardTop <= y && y <= kCardBottom;
}

HitArea hit_area(const std::vector<HitRect>* hits, float x, float y) {
  if (hits != nullptr && button_at(*hits, x, y) != NoAction) {
    return HitArea::Client;
  }
  return in_drag_area(x, y) ? HitArea::Caption : HitArea::Nowhere;
}

}  // namespace nelo
