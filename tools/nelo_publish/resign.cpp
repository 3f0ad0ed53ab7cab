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
  ResignReport report;
  report.signed_at = next_signing_time(clock, served_signing_time(root));
  report.clock_behind = report.signed_at != clock;
  if (expires_after) {
    report.expires_at = report.signed_at + *expires_after;
  }
  const std::string signature =
      sign_manifest(*document, key, report.signed_at, "manifest.json", report.expires_at);
  if (Status written = put_served_signature(root, signature); !written) {
    return written.error();
  }
  return report;
}

}  // namespace nelo::publish
