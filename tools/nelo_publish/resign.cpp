#include "nelo_publish/resign.h"

#include "release/manifest.h"
#include "nelo_publish/release_folder.h"
#include "nelo_publish/served_pair.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {

Result<ResignReport> resign_manifest(const std::filesystem::path& root, const SigningKey& key,
                                     std::int64_t clock,
                                     std::optional<std::int64_t> expires_after) {
  const std::filesystem::path manifest_path = served_manifest_path(root);
  Result<std::string> document = read_whole_file(manifest_path, 0);
  if (!document) {
    return fail("não há manifesto publicado em " + shown(manifest_path) + ": " +
                document.message());
  }
  if (Result<ReleaseManifest> parsed = parse_release_manifest(*document); !parsed) {
    return fail("o lançador recusaria o manifesto publicado: " + parsed.message());
  }
  const NextSignature next = sign_after_served(root, *document, key, clock, expires_after);
  const ResignReport report{next.signed_at, next.expires_at, next.clock_behind};
  if (Status written = put_served_signature(root, next.text); !written) {
    return written.error();
  }
  return report;
}

}  // namespace nelo::publish
