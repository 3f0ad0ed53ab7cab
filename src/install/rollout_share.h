// Which installations a release in a staged rollout is for. Each installation draws, once, a
// random identity that it keeps in its root; a release for P % of installations is for those
// whose place, drawn from the identity and the release's label, is below P. Raising P keeps
// every installation that was in; another release draws the places anew, so the same
// installations are not always the first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "release/manifest.h"
#include "install/version_store.h"

namespace nelo {

// An identity: 32 lower-case hexadecimal digits (128 random bits).
constexpr std::size_t kIdentityDigits = 32;

bool is_installation_identity(std::string_view text);

// A fresh identity from the system's random source.
std::string draw_installation_identity();

// The installation's place for the release labelled `version`: 0 to 99, evenly spread.
std::uint32_t rollout_place(std::string_view identity, std::string_view version);

// True when the release is for this installation: it has no share, or the place is inside it.
bool release_is_for(const ReleaseManifest& manifest, std::string_view identity);

// The identity kept in the installation root; drawn and kept (one new file, put in place by a
// rename) when there is none or it cannot be read. A kept identity that cannot be written is
// still used for this start, and drawn again at the next.
std::string installation_identity(VersionStore& store);

// True when an installed version stays in use because the release is outside this
// installation's share; notes it in the launcher log.
bool passes_over_release(VersionStore& store, const std::optional<std::string>& installed,
                         const ReleaseManifest& manifest);

}  // namespace nelo
