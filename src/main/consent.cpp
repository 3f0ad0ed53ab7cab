#include "main/consent.h"

namespace nelo {

bool ask_for_consent(LauncherUi& ui, Clock& clock, const std::function<void()>& open_terms) {
  using namespace std::chrono_literals;
  set_phase(ui, Consent{});
  for (;;) {
    switch (take_action(ui)) {
      case OpenTerms:
        open_terms();
        continue;  // poll again at once
      case Accept:
        return true;
      case Quit:
        return false;
      default:
        clock.sleep_for(100ms);
    }
  }
}

}  // namespace nelo
