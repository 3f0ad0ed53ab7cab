#include "ui/frame_plan.h"

#include "ui/screens.h"

namespace nelo {

FramePlan plan_frame(const UiSnapshot& snapshot, float t, std::uint8_t hovered,
                     const MeasureText& measure) {
  FramePlan plan;
  plan.ops.emplace_back(ShadowOp{});
  plan.ops.emplace_back(RoundedRectOp{{44, 18, 504, 208}, 22, kCardBorderColour});
  plan.ops.emplace_back(RoundedRectOp{{45, 19, 503, 207}, 21, kCardColour});
  plan.ops.emplace_back(LogoOp{logo_size(snapshot.phase, t)});
  add_phase_content(plan, snapshot, t, hovered, measure);
  return plan;
}

}  // namespace nelo
