#include "ui/readable_screen.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <variant>

#include "ui/keyboard_focus.h"
#include "ui/number_text.h"

namespace nelo {
namespace {

bool inside(const RectF& box, const HitRect& rect) {
  return box.left >= rect.left && box.right <= rect.right && box.top >= rect.top &&
         box.bottom <= rect.bottom;
}

// Texts read one after another: each ends as a sentence unless it ends in punctuation already.
void append_sentence(std::string& name, const std::string& text) {
  if (!name.empty()) {
    const char last = name.back();
    if (last != '.' && last != '!' && last != '?' && last != ':') {
      name += '.';
    }
    name += ' ';
  }
  name += text;
}

// The progress of the screens that have one, as a fraction; none elsewhere.
std::optional<float> progress_of(const Phase& phase) {
  if (const auto* installing = std::get_if<Installing>(&phase)) {
    return progress_fraction(installing->bytes_done, installing->bytes_total);
  }
  if (const auto* updating = std::get_if<Updating>(&phase)) {
    return progress_fraction(updating->bytes_done, updating->bytes_total);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::size_t> ReadableScreen::index_of(std::uint8_t action) const {
  const auto found = std::find_if(buttons.begin(), buttons.end(),
                                  [action](const ReadableButton& b) { return b.action == action; });
  if (found == buttons.end()) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(found - buttons.begin());
}

ReadableScreen read_screen(const FramePlan& plan, std::uint8_t focused_action) {
  ReadableScreen screen;
  for (const HitRect& hit : plan.hits) {
    screen.buttons.push_back({{}, hit.action, hit});
  }
  for (const DrawOp& op : plan.ops) {
    const auto* text = std::get_if<TextOp>(&op);
    if (text == nullptr || text->text.empty()) {
      continue;
    }
    const auto button = std::find_if(
        screen.buttons.begin(), screen.buttons.end(),
        [text](const ReadableButton& b) { return inside(text->box, b.rect) && b.name.empty(); });
    if (text->format == TextFormat::Button && button != screen.buttons.end()) {
      button->name = text->text;
      continue;
    }
    if (screen.title.empty()) {
      screen.title = text->text;
    }
    append_sentence(screen.name, text->text);
  }
  screen.focused = focused_button(plan.hits, focused_action);
  return screen;
}

std::optional<Announcement> next_announcement(AnnouncementState& said, const Phase& phase,
                                              const ReadableScreen& screen) {
  const std::optional<float> progress = progress_of(phase);
  const int tenths =
      progress ? static_cast<int>(std::clamp(std::floor(*progress * 10.0f), 0.0f, 10.0f)) : -1;
  if (said.phase_kind != phase.index() || said.title != screen.title) {
    said.phase_kind = phase.index();
    said.title = screen.title;
    said.tenths = tenths;
    return Announcement{screen.name, false};
  }
  if (tenths > said.tenths) {
    said.tenths = tenths;
    return Announcement{screen.title + ": " + std::to_string(tenths * 10) + "%", true};
  }
  return std::nullopt;
}

}  // namespace nelo
