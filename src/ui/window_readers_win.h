// The launcher window's side of accessibility: after each frame's plan it tells the shared view
// what the screen holds and raises the events readers listen for (a new screen or another tenth
// of progress announced, the focus moved); it answers WM_GETOBJECT with the MSAA object or the
// UI Automation root; and it lets readers go when the window is destroyed. Window thread only.
#pragma once

#include "base/win_support.h"

#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "ui/automation_api_win.h"
#include "ui/readable_screen.h"
#include "ui/readers_view_win.h"
#include "ui/frame_parts.h"

namespace nelo {

class WindowReaders {
 public:
  explicit WindowReaders(std::shared_ptr<LauncherUi> ui);

  // The frame's plan as the painter draws it, the keyboard's focus as the window keeps it.
  void frame_planned(HWND window, const FramePlan& plan, std::uint8_t focused_action,
                     const Phase& phase, float scale);

  // WM_GETOBJECT: true, with the answer, for the client area (MSAA) and the UI Automation root.
  bool answer(HWND window, WPARAM wparam, LPARAM lparam, LRESULT* result);

  // WM_DESTROY: objects that readers still hold answer "not available" from now on.
  void window_destroyed(HWND window);

  const std::shared_ptr<ReadersView>& view() const { return view_; }

 private:
  void announce(HWND window, const Announcement& news);

  std::shared_ptr<ReadersView> view_;
  std::optional<ReadableScreen> shown_;  // what the view holds; none before the first frame
  AnnouncementState said_;
  Microsoft::WRL::ComPtr<IRawElementProviderSimple> root_;  // made at the first request
};

}  // namespace nelo
