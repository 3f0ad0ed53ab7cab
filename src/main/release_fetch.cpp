#include "main/release_fetch.h"

#include <new>

namespace nelo {

Result<ReleaseManifest> fetch_release_manifest(UpdateClient& client, const ManifestTrust& trust) {
  auto body = fetch_whole(client, "app/manifest.json", kManifestMaxBytes);
  if (!body) {
    return body.error();
  }
  std::string document;
  std::string signature;
  try {
    document.assign(body->view());
    body->release();
    if (!trust.keys.empty()) {
      auto signature_body = fetch_whole(client, "app/manifest.json.minisig", kSignatureMaxBytes);
      if (!signature_body) {
        // A server without the signature is told apart from a network that failed.
        return signature_body.kind() == FailureKind::kServerRefused ? fail("lista sem assinatura")
                                                                    : signature_body.error();
      }
      signature.assign(signature_body->view());
    }
  } catch (const std::bad_alloc&) {
    return fail("resposta grande demais");
  }
  if (!trust.keys.empty()) {
    const Result<SignedRelease> verified =
        verify_manifest_signature(document, signature, trust.keys);
    if (!verified) {
      return verified.error();
    }
    // A signature that was let expire is a replay of an old answer (a stale mirror, a captive
    // cache), which would otherwise keep the launcher on that release for ever.
    if (verified->expires_at && trust.now > *verified->expires_at + kExpirySkewSeconds) {
      return fail("lista vencida");
    }
    if (trust.installed_signed_at && verified->signed_at < *trust.installed_signed_at) {
      return fail("lista antiga");
    }
  }
  auto manifest = parse_release_manifest(std::move(document));
  if (manifest) {
    manifest->signature = std::move(signature);
  }
  return manifest;
}

}  // namespace nelo
