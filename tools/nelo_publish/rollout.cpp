#include "nelo_publish/rollout.h"

#include <nlohmann/json.hpp>

#include <system_error>

#include "release/manifest.h"
#include "nelo_publish/release_folder.h"
#include "nelo_publish/release_history.h"
#include "nelo_publish/served_pair.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

// The document with "rollout" set (after "version") or removed; every other member unchanged
// and in its order.
Result<std::string> with_share(const std::string& document, std::uint64_t share) {
  nlohmann::ordered_json parsed;
  try {
    parsed = nlohmann::ordered_json::parse(document);
  } catch (const nlohmann::json::exception&) {
    return fail("o manifesto publicado não é JSON");
  }
  nlohmann::ordered_json changed = nlohmann::ordered_json::object();
  for (auto& [name, value] : parsed.items()) {
    if (name == "rollout") {
      continue;
    }
    changed[name] = std::move(value);
    if (name == "version" && share < 100) {
      changed["rollout"] = share;
    }
  }
  return changed.dump(2) + "\n";
}

}  // namespace

Result<RolloutReport> change_rollout(const std::filesystem::path& root,
                                     const RolloutChange& change) {
  if (change.share > 100) {
    return fail("parcela fora de 0 a 100: " + std::to_string(change.share));
  }
  const std::filesystem::path manifest_path = served_manifest_path(root);
  Result<std::string> document = read_whole_file(manifest_path, 0);
  if (!document) {
    return fail("não há manifesto publicado em " + shown(manifest_path) + ": " +
                document.message());
  }
  Result<ReleaseManifest> served = parse_release_manifest(*document);
  if (!served) {
    return fail("o lançador recusaria o manifesto publicado: " + served.message());
  }
  std::error_code error;
  if (!change.key && std::filesystem::exists(served_signature_path(root), error)) {
    return fail("o manifesto publicado é assinado: falta --key para assiná-lo de novo");
  }
  Result<std::string> rewritten = with_share(*document, change.share);
  if (!rewritten) {
    return rewritten.error();
  }
  Result<ReleaseManifest> changed = parse_release_manifest(*rewritten);
  if (!changed) {
    return fail("o lançador recusaria o manifesto mudado: " + changed.message());
  }
  RolloutReport report;
  report.version = served->version;
  report.was = served->rollout;
  std::string signature;
  if (change.key) {
    NextSignature next =
        sign_after_served(root, *rewritten, *change.key, change.clock, change.expires_after);
    report.signed_at = next.signed_at;
    report.expires_at = next.expires_at;
    report.clock_behind = next.clock_behind;
    signature = std::move(next.text);
  }
  if (Status written = put_served_pair(root, *rewritten, signature); !written) {
    return written.error();
  }
  if (Status recorded = record_release(root, *changed); !recorded) {
    return recorded.error();
  }
  return report;
}

}  // namespace nelo::publish
