// Getting a release manifest: from the server, or the copy an installed version keeps.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "install/manifest.h"
#include "net/update_client.h"

namespace nelo {

// Fetches "app/manifest.json" and accepts it by the manifest rules; gives the manifest or the
// first message met (the client's or the parser's).
Result<ReleaseManifest> fetch_release_manifest(UpdateClient& client);

// The manifest stored in the version's folder (".manifest.json"), or nothing when there is no
// label, the file cannot be read, or it breaks a rule. Never a message; without a label the disk
// is not touched.
std::optional<ReleaseManifest> load_stored_manifest(const std::optional<std::string>& label);

// The current version when it is intact: its stored manifest loads and every listed file
// exists with exactly the listed size (contents are not examined). Otherwise nothing.
std::optional<std::string> find_installed_version();

}  // namespace nelo
