// The window for UI Automation clients (Narrator, NVDA, JAWS on current Windows): a root fragment
// named as the screen is, a polite live region, with one Button element per button of the
// screen, keyboard-focusable, whose Invoke pattern presses it. The providers tell the system
// nothing about threads (no ProviderOptions_UseComThreading): they may be called on any thread
// and read the shared view under its lock.
#pragma once

#include "base/win_support.h"

#include <wrl/client.h>

#include <cstdint>
#include <memory>

#include "ui/automation_api_win.h"
#include "ui/readers_view_win.h"

namespace nelo {

Microsoft::WRL::ComPtr<IRawElementProviderSimple> make_automation_root(
    std::shared_ptr<ReadersView> view);

// The provider of one button of the screen, known by its action; a button no longer shown
// answers UIA_E_ELEMENTNOTAVAILABLE (uia::kElementNotAvailable).
Microsoft::WRL::ComPtr<IRawElementProviderSimple> make_automation_button(
    std::shared_ptr<ReadersView> view, std::uint8_t action);

}  // namespace nelo
