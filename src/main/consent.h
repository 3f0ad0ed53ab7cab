// The first-install question: the user accepts the terms of use, reads them, or closes the
// window.
#pragma once

#include <functional>

#include "base/clock.h"
#include "ui/launcher_ui.h"

namespace nelo {

// Shows the consent screen and polls the user's choice every 100 ms: "Ler os termos" opens the
// terms page (as often as asked) and keeps asking; gives true on "Aceitar e instalar", false
// when the window was closed. Other choices are ignored.
bool ask_for_consent(LauncherUi& ui, Clock& clock, const std::function<void()>& open_terms);

}  // namespace nelo
