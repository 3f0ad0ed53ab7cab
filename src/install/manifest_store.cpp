#include "install/manifest_store.h"

namespace nelo {

Result<ReleaseManifest> fetch_release_manifest(UpdateClient& client) {
  auto body = client.fetch_resource("app/manifest.json", nullptr);
  if (!body) {
    return fail(body.message());
  }
  return parse_release_manifest(std::string(body->view()));
}

}  // namespace nelo
