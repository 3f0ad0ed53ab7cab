#include "ui/readers_view_win.h"

#include <cmath>
#include <utility>

namespace nelo {

RECT ReadersMoment::on_screen(std::uint8_t action) const {
  RECT window_rect{};
  ::GetWindowRect(window, &window_rect);
  const std::optional<std::size_t> index = screen.index_of(action);
  if (!index) {
    return window_rect;
  }
  const HitRect& rect = screen.buttons[*index].rect;
  const auto pixels = [this](float dips) { return static_cast<LONG>(std::lround(dips * scale)); };
  return {window_rect.left + pixels(rect.left), window_rect.top + pixels(rect.top),
          window_rect.left + pixels(rect.right), window_rect.top + pixels(rect.bottom)};
}

std::uint8_t ReadersMoment::button_at_point(POINT point) const {
  for (const ReadableButton& button : screen.buttons) {
    const RECT rect = on_screen(button.action);
    if (::PtInRect(&rect, point)) {
      return button.action;
    }
  }
  return NoAction;
}

void ReadersView::show(HWND window, ReadableScreen screen, float scale) {
  const std::lock_guard lock(mutex_);
  moment_.screen = std::move(screen);
  moment_.window = window;
  moment_.scale = scale;
  moment_.open = true;
}

void ReadersView::close() {
  const std::lock_guard lock(mutex_);
  moment_.open = false;
}

ReadersMoment ReadersView::moment() const {
  const std::lock_guard lock(mutex_);
  return moment_;
}

bool ReadersView::press(std::uint8_t action) const {
  const ReadersMoment now = moment();
  if (!now.open || !now.screen.index_of(action)) {
    return false;
  }
  store_action(*ui_, action);  // takes the shared record's lock; ours is not held
  return true;
}

bool ReadersView::focus(std::uint8_t action) const {
  const ReadersMoment now = moment();
  return now.open && now.screen.index_of(action) &&
         ::PostMessageW(now.window, kFocusButtonMessage, action, 0) != FALSE;
}

}  // namespace nelo
