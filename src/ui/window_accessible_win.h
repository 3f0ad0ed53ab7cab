// The window's client area for MSAA clients (older screen readers, and what Wine's oleacc can
// read across processes): an IAccessible whose name is the screen's, with one push button child
// per button of the screen, the keyboard's focus, and the default action that presses a button.
#pragma once

#include "base/win_support.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <memory>

#include "ui/readers_view_win.h"

namespace nelo {

// "Pressionar": the default action of every button.
inline constexpr wchar_t kPressAction[] = L"Pressionar";

Microsoft::WRL::ComPtr<IAccessible> make_window_accessible(std::shared_ptr<ReadersView> view);

}  // namespace nelo
