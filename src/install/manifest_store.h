// Getting a release manifest: from the server, or the copy an installed version keeps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "install/manifest.h"
#include "install/release_signature.h"
#include "net/update_client.h"

namespace nelo {

// What a fetched manifest must show to be trusted beyond HTTPS.
struct ManifestTrust {
  std::vector<ReleaseKey> keys;  // none: no signature is asked for
  // When the current version was installed from a signed manifest, its signing time: an older
  // release is refused.
  std::optional<std::int64_t> installed_signed_at;
};

// Fetches "app/manifest.json" and accepts it by the manifest rules; gives the manifest or the
// first message met (the client's or the parser's). With release keys, "app/manifest.json
// .minisig" is fetched through the same client and verified against the exact bytes before
// anything else looks at them: "lista sem assinatura" when the server answers it with any
// status but 200 (network failures keep their messages), "assinatura inválida" when it does not
// verify, "lista antiga" when it was signed before `installed_signed_at`.
Result<ReleaseManifest> fetch_release_manifest(UpdateClient& client,
                                               const ManifestTrust& trust = {});

// The trust of the launcher's own installation: its built-in keys and, when it has keys, the
// signing time stored with the current version.
ManifestTrust installed_manifest_trust();

// The manifest stored in the version's folder (".manifest.json"), or nothing when there is no
// label, the file cannot be read, or it breaks a rule. Never a message; without a label the disk
// is not touched.
std::optional<ReleaseManifest> load_stored_manifest(const std::optional<std::string>& label);

// The current version when it is intact: its stored manifest loads and every listed file
// exists with exactly the listed size (contents are not examined). Otherwise nothing.
std::optional<std::string> find_installed_version();

}  // namespace nelo
