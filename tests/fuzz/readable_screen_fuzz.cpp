// What screen readers are told never disagrees with what is drawn, whatever a hostile server
// puts into a failure's words and whatever numbers the progress carries: every button of the
// frame is read with its label, the name begins with the title, and progress is announced
// only on a new tenth, rising.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/readable_screen.h"
#include "tests/native/fake_text_width.h"
#include "ui/frame_plan.h"

namespace {

struct Bytes {
  const std::uint8_t* data;
  std::size_t size;

  std::uint8_t byte() {
    if (size == 0) {
      return 0;
    }
    --size;
    return *data++;
  }
  std::uint64_t number() {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
      value = value << 8 | byte();
    }
    return value;
  }
  std::string text() {
    std::string out;
    for (std::size_t length = byte() % 48; length > 0 && size > 0; --length) {
      out += static_cast<char>(byte());
    }
    return out;
  }
};

nelo::Phase next_phase(Bytes& in) {
  switch (in.byte() % 8) {
    case 0:
      return nelo::Consent{};
    case 1:
      return nelo::Installing{in.number(), in.number(), static_cast<double>(in.byte())};
    case 2:
      return nelo::Checking{};
    case 3:
      return nelo::Updating{in.text(), in.text(), in.number(), in.number(), in.number()};
    case 4:
      return nelo::Updated{};
    case 5:
      return nelo::Launching{(in.byte() & 1) != 0};
    case 6:
      return nelo::Offline{static_cast<std::uint32_t>(in.number()), (in.byte() & 1) != 0};
    default:
      return nelo::Failed{in.text(), in.text(), (in.byte() & 1) != 0};
  }
}

bool starts_with(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in{data, size};
  nelo::AnnouncementState said;
  int tenths = -1;
  std::size_t kind = SIZE_MAX;
  std::string title;
  while (in.size > 0) {
    nelo::UiSnapshot snapshot;
    snapshot.phase = next_phase(in);
    snapshot.version_text = in.text();
    const std::uint8_t focus = in.byte() % 6;
    nelo::FramePlan plan =
        nelo::plan_frame(snapshot, 0.5f, nelo::NoAction, nelo::testing_support::fake_width);
    nelo::add_focus_ring(plan, focus);
    const nelo::ReadableScreen screen = nelo::read_screen(plan, focus);
    if (screen.buttons.size() != plan.hits.size() || !starts_with(screen.name, screen.title)) {
      std::abort();
    }
    for (std::size_t i = 0; i < screen.buttons.size(); ++i) {
      if (screen.buttons[i].name.empty() || screen.buttons[i].action != plan.hits[i].action) {
        std::abort();
      }
    }
    bool focus_found = screen.buttons.empty() && screen.focused == nelo::NoAction;
    for (const nelo::ReadableButton& button : screen.buttons) {
      focus_found = focus_found || button.action == screen.focused;
    }
    if (!focus_found) {
      std::abort();  // the focus is always on a button of the screen, when it has any
    }
    const auto news = nelo::next_announcement(said, snapshot.phase, screen);
    const bool new_screen = snapshot.phase.index() != kind || screen.title != title;
    if (new_screen) {
      if (!news || news->words != screen.name || news->progress) {
        std::abort();  // a new screen is announced by its whole name
      }
      kind = snapshot.phase.index();
      title = screen.title;
    } else if (news) {
      // Progress: a higher tenth than any said on this screen.
      if (!news->progress || said.tenths <= tenths ||
          news->words != screen.title + ": " + std::to_string(said.tenths * 10) + "%") {
        std::abort();
      }
    }
    tenths = said.tenths;
  }
  return 0;
}
