#include "ui/window_readers_win.h"

#include <oleacc.h>

#include <string>
#include <utility>

#include "ui/automation_provider_win.h"
#include "ui/window_accessible_win.h"
#include "base/com_apartment_win.h"
#include "base/wide_text_win.h"

namespace nelo {

WindowReaders::WindowReaders(std::shared_ptr<LauncherUi> ui)
    : view_(std::make_shared<ReadersView>(std::move(ui))) {}

void WindowReaders::frame_planned(HWND window, const FramePlan& plan, std::uint8_t focused_action,
                                  const Phase& phase, float scale) {
  ReadableScreen screen = read_screen(plan, focused_action);
  const std::optional<Announcement> news = next_announcement(said_, phase, screen);
  if (shown_ == screen && !news) {
    return;
  }
  const bool focus_moved =
      shown_ && screen.focused != shown_->focused && screen.buttons == shown_->buttons;
  shown_ = screen;
  view_->show(window, std::move(screen), scale);
  if (news) {
    announce(window, *news);
  }
  if (focus_moved) {
    if (const std::optional<std::size_t> index = shown_->index_of(shown_->focused)) {
      ::NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, static_cast<LONG>(*index + 1));
      // UI Automation is told only once one of its clients has asked for the window.
      const auto raise = root_ ? uia::functions().raise_automation_event : nullptr;
      if (raise != nullptr) {
        if (const auto button = make_automation_button(view_, shown_->focused)) {
          raise(button.Get(), uia::kFocusChangedEvent);
        }
      }
    }
  }
}

void WindowReaders::announce(HWND window, const Announcement& news) {
  // Every reader may look at the new name of the client area.
  ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
  // UI Automation is told only once one of its clients has asked for the window (its DLL is
  // loaded then); until that, no client would hear it.
  const uia::Functions automation = root_ ? uia::functions() : uia::Functions{};
  if (automation.raise_notification_event != nullptr) {
    // Windows 10 1709 and later: a polite notification with the words themselves. A new screen
    // is not dropped; a tenth of progress may give way to a newer one.
    const std::wstring wide = to_wide(news.words);
    BSTR text = ::SysAllocStringLen(wide.c_str(), static_cast<UINT>(wide.size()));
    BSTR activity = ::SysAllocString(L"nelo-launcher-screen");
    if (text != nullptr && activity != nullptr) {
      automation.raise_notification_event(root_.Get(), uia::kNotificationKindOther,
                                          news.progress
                                              ? uia::kNotificationProcessingMostRecent
                                              : uia::kNotificationProcessingImportantMostRecent,
                                          text, activity);
    }
    ::SysFreeString(text);
    ::SysFreeString(activity);
    return;
  }
  // Elsewhere (older systems, Wine): the client area is a polite live region whose name changed.
  ::NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, window, OBJID_CLIENT, CHILDID_SELF);
  if (automation.raise_automation_event != nullptr) {
    automation.raise_automation_event(root_.Get(), uia::kLiveRegionChangedEvent);
  }
}

bool WindowReaders::answer(HWND window, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  const LONG object = static_cast<LONG>(lparam);
  if (object == static_cast<LONG>(OBJID_CLIENT)) {
    // The object is marshalled to the reader's process from this thread's apartment, joined
    // when the first reader asks (a window nobody reads never loads COM for it).
    join_com_apartment();
    const Microsoft::WRL::ComPtr<IAccessible> accessible = make_window_accessible(view_);
    if (!accessible) {
      return false;
    }
    *result = ::LresultFromObject(__uuidof(IAccessible), wparam, accessible.Get());
    return true;
  }
  if (object != uia::kRootObjectId) {
    return false;  // the frame, the caret and the rest: the system's own objects
  }
  const auto return_provider = uia::functions().return_raw_element_provider;
  if (return_provider == nullptr) {
    return false;
  }
  if (!root_) {
    root_ = make_automation_root(view_);
  }
  if (!root_) {
    return false;
  }
  *result = return_provider(window, wparam, lparam, root_.Get());
  return true;
}

void WindowReaders::window_destroyed(HWND window) {
  view_->close();
  // Tells UI Automation to let go of what it holds of this window.
  if (root_) {  // only then was UI Automation loaded
    if (const auto return_provider = uia::functions().return_raw_element_provider) {
      return_provider(window, 0, 0, nullptr);
    }
  }
}

}  // namespace nelo
