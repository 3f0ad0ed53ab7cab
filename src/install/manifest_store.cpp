#include "install/manifest_store.h"

#include <new>

namespace nelo {

Result<ReleaseManifest> fetch_release_manifest(UpdateClient& client) {
  auto body = client.fetch_resource("app/manifest.json", nullptr, 0, kManifestMaxBytes);
  if (!body) {
    return fail(body.message());
  }
  std::string document;
  try {
    document.assign(body->view());
  } catch (const std::bad_alloc&) {
    return fail("resposta grande demais");
  }
  body->release();
  return parse_release_manifest(std::move(document));
}

}  // namespace nelo
