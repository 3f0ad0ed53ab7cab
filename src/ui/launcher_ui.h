// The one record that the update session (main thread) and the launcher window (its own thread)
// share: what the window shows, and the one thing the user can say back. Nothing else passes
// between the two threads; the window re-reads the record on every frame and the session polls
// the user's choice.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>

namespace nelo {

// The user's choices as the session reads them from take_action. Enter yields the code of the
// first button on the screen.
enum ActionCode : std::uint8_t {
  OpenNow = 0,    // "Abrir agora": start the installed version now
  Retry = 1,      // "Tentar de novo": ask the server again
  Accept = 2,     // "Aceitar e instalar": accept the terms and install
  OpenTerms = 3,  // "Ler os termos": open the terms page, stay on the consent screen
  Quit = 4,       // Escape, or the window is gone
  NoAction = 255,
};

// The eight things the window can show; the variant index is the phase number.
struct Consent {};
struct Installing {
  std::uint64_t bytes_done = 0;
  std::uint64_t bytes_total = 0;
  double speed = 0;  // bytes per second; 0 or less shows no speed
};
struct Checking {};
struct Updating {
  std::string new_version;
  std::string label;  // names the part of the application that changes
  std::uint64_t bytes_done = 0;
  std::uint64_t bytes_total = 0;
  std::uint64_t file_count = 0;  // files the staging has to fetch
};
struct Updated {};
struct Launching {
  bool resuming = false;  // the application will reopen the room the user was in
};
struct Offline {
  std::uint32_t seconds_left = 0;
  bool has_installed = false;  // an installed version can be opened instead
};
struct Failed {
  std::string message;
  std::string title;
  bool has_installed = false;
};

using Phase =
    std::variant<Consent, Installing, Checking, Updating, Updated, Launching, Offline, Failed>;

// Shared by reference counting between the session and the window thread. Every field is
// guarded by `mutex`; use the operations below rather than the fields.
struct LauncherUi {
  std::mutex mutex;
  std::string version_text;  // shown as "Versão {}" in the footer; empty shows none
  Phase phase = Checking{};
  bool close_requested = false;  // false -> true once: the window destroys itself next frame
  bool window_closed = false;    // false -> true once: the window thread has no window any more
  std::uint8_t action = NoAction;
};

// Session side.

// Replaces the phase; the previous payload's strings are released.
void set_phase(LauncherUi& ui, Phase phase);
void set_version_text(LauncherUi& ui, std::string_view text);
// The pending choice, reset to none; Quit whenever the window is gone, whatever was stored.
[[nodiscard]] std::uint8_t take_action(LauncherUi& ui);
void request_close(LauncherUi& ui);

// Window side.

// A copy of what one frame draws, taken under the lock in one go.
struct UiSnapshot {
  std::string version_text;
  Phase phase = Checking{};
  bool close_requested = false;
};

UiSnapshot take_snapshot(LauncherUi& ui);
// The user's choice; a later one replaces an earlier one that the session has not taken.
void store_action(LauncherUi& ui, std::uint8_t action);
void mark_window_closed(LauncherUi& ui);

}  // namespace nelo
