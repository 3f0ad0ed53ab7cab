// Fetching the release manifest from the update server, and its signature when the launcher has
// release keys.
#pragma once

#include "base/result.h"
#include "release/manifest.h"
#include "release/release_signature.h"
#include "net/update_client.h"

namespace nelo {

// Fetches "app/manifest.json" and accepts it by the manifest rules; gives the manifest or the
// first message met (the client's or the parser's). With release keys, "app/manifest.json
// .minisig" is fetched through the same client and verified against the exact bytes before
// anything else looks at them: "lista sem assinatura" when the server answers it with any
// status but 200 (network failures keep their messages), "assinatura inválida" when it does not
// verify, "lista vencida" when its signature expired (more than the allowed skew before
// `trust.now`), "lista antiga" when it was signed before `installed_signed_at`.
Result<ReleaseManifest> fetch_release_manifest(UpdateClient& client,
                                               const ManifestTrust& trust = {});

}  // namespace nelo
