// What a screen reader is told about the launcher window, read from the very frame plan that the
// painter draws, so that the two can never tell different things: the screen's name (its texts
// outside the buttons, in the order they are drawn) and its buttons, with the keyboard's focus.
// And when to speak up without being asked: a new screen, or progress past another tenth.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/frame_parts.h"
#include "ui/launcher_ui.h"
#include "ui/window_geometry.h"

namespace nelo {

struct ReadableButton {
  std::string name;  // the button's label, UTF-8
  std::uint8_t action = NoAction;
  HitRect rect;  // DIPs of the surface

  bool operator==(const ReadableButton&) const = default;
};

struct ReadableScreen {
  std::string title;                    // the first text of the screen ("Instalar o Nelo")
  std::string name;                     // every text outside the buttons, joined into sentences
  std::vector<ReadableButton> buttons;  // in the order Tab visits them
  std::uint8_t focused = NoAction;  // the button with the keyboard's focus; none without buttons

  // The position of the button of an action in `buttons`, if it is on this screen.
  std::optional<std::size_t> index_of(std::uint8_t action) const;

  bool operator==(const ReadableScreen&) const = default;
};

// The plan's texts and buttons; `focused_action` as the window keeps it (NoAction: the focus has
// not moved, and is on the primary button).
ReadableScreen read_screen(const FramePlan& plan, std::uint8_t focused_action);

// What was last said, so that the next frame knows whether there is something new to say.
struct AnnouncementState {
  std::optional<std::size_t> phase_kind;  // the kind of phase last announced
  std::string title;
  int tenths = -1;  // of the progress last announced; -1: none yet
};

struct Announcement {
  std::string words;
  bool progress = false;  // another tenth on the same screen: a newer one may replace it

  bool operator==(const Announcement&) const = default;
};

// What to announce for this frame, if anything: the whole screen's name when the kind of
// phase or the title changed; on the progress screens, the title and the percentage each time
// the progress passes another tenth (10%, 20%, ...). Nothing on other frames, so that a countdown
// or a download is not read out tick by tick.
std::optional<Announcement> next_announcement(AnnouncementState& said, const Phase& phase,
                                              const ReadableScreen& screen);

}  // namespace nelo
