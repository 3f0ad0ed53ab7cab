#include "main/release_fetch.h"

#include <gtest/gtest.h>

#include "tests/expect_ok.h"
#include "tests/native/signer.h"
#include "tests/native/fake_update_client.h"

namespace nelo {
namespace {

using testing_support::FakeUpdateClient;
using testing_support::Signer;

const std::string kDocument = R"({"version": "2.0", "files": [{"path": "Nelo.exe", "sha256": ")" +
                              std::string(64, 'a') + R"("}]})";

TEST(ReleaseFetchTest, WithoutKeysOnlyTheManifestIsAskedFor) {
  FakeUpdateClient server;
  server.bodies["app/manifest.json"] = kDocument;
  server.bodies["app/manifest.json.minisig"] = "anything";
  const auto manifest = fetch_release_manifest(server);
  ASSERT_OK(manifest);
  EXPECT_EQ(server.requests_seen(), std::vector<std::string>{"app/manifest.json"});
  EXPECT_EQ(manifest->document, kDocument);
  EXPECT_TRUE(manifest->signature.empty());
}

TEST(ReleaseFetchTest, WithKeysTheSignatureIsVerifiedFirst) {
  const Signer signer;
  const Signer stranger;
  struct Case {
    const char* name;
    std::optional<std::string> document;   // nothing: served as is
    std::optional<std::string> signature;  // nothing: not on the server
    std::optional<std::string> failure;    // the signature request fails with this message
    std::optional<std::int64_t> installed_signed_at;
    std::string message;  // empty: accepted
  };
  const std::string good = signer.sign(kDocument, 1000);
  const std::vector<Case> cases = {
      {"signed", {}, good, {}, {}, ""},
      {"signed after the installed one", {}, good, {}, 999, ""},
      {"signed at the same time as the installed one", {}, good, {}, 1000, ""},
      {"older than the installed one", {}, good, {}, 1001, "lista antiga"},
      {"no signature on the server", {}, {}, {}, {}, "lista sem assinatura"},
      {"the network fails on the signature", {}, {}, "sem internet", {}, "sem internet"},
      // A message that reads like a refusal is still the network's failure, not the server's.
      {"a failure worded like a status",
       {},
       {},
       "o servidor respondeu 404",
       {},
       "o servidor respondeu 404"},
      {"the manifest changed after signing", kDocument + " ", good, {}, {}, "assinatura inválida"},
      {"signed by another key", {}, stranger.sign(kDocument, 1000), {}, {}, "assinatura inválida"},
      {"a garbled signature", {}, "untrusted comment: x\n!!!\n", {}, {}, "assinatura inválida"},
      // The signature decides before the rules: a signed document that breaks them still
      // fails on its own terms afterwards.
      {"a signed manifest that breaks the rules",
       "{}",
       signer.sign("{}", 1000),
       {},
       {},
       "lista sem versão"},
  };
  for (const Case& c : cases) {
    FakeUpdateClient server;
    server.bodies["app/manifest.json"] = c.document.value_or(kDocument);
    if (c.signature) {
      server.bodies["app/manifest.json.minisig"] = *c.signature;
    }
    if (c.failure) {
      server.failures["app/manifest.json.minisig"] = *c.failure;
    }
    const auto manifest = fetch_release_manifest(
        server, ManifestTrust{{signer.release_key}, c.installed_signed_at, 1000});
    if (c.message.empty()) {
      ASSERT_OK(manifest) << c.name << ": " << manifest.message();
      EXPECT_EQ(manifest->signature, *c.signature) << c.name;
    } else {
      ASSERT_FALSE(manifest.ok()) << c.name;
      EXPECT_EQ(manifest.message(), c.message) << c.name;
    }
    EXPECT_EQ(server.requests_seen(),
              (std::vector<std::string>{"app/manifest.json", "app/manifest.json.minisig"}))
        << c.name;
  }
}

TEST(ReleaseFetchTest, AnExpiredSignatureIsRefusedAfterTheAllowedSkew) {
  const Signer signer;
  constexpr std::int64_t kNow = 1'800'000'000;
  struct Case {
    const char* name;
    std::optional<std::int64_t> expires_at;
    std::string message;  // empty: accepted
  };
  const Case cases[] = {
      {"no expiry: good for ever", std::nullopt, ""},
      {"expires tomorrow", kNow + 86400, ""},
      {"expired a minute ago: within the skew", kNow - 60, ""},
      {"expired exactly the skew ago", kNow - kExpirySkewSeconds, ""},
      {"expired a second more than the skew ago", kNow - kExpirySkewSeconds - 1, "lista vencida"},
      {"expired last year", kNow - 365 * 86400, "lista vencida"},
  };
  for (const Case& c : cases) {
    FakeUpdateClient server;
    server.bodies["app/manifest.json"] = kDocument;
    server.bodies["app/manifest.json.minisig"] =
        signer.sign(kDocument, kNow - 7 * 86400, c.expires_at);
    const auto manifest =
        fetch_release_manifest(server, ManifestTrust{{signer.release_key}, std::nullopt, kNow});
    if (c.message.empty()) {
      EXPECT_OK(manifest) << c.name;
    } else {
      ASSERT_FALSE(manifest.ok()) << c.name;
      EXPECT_EQ(manifest.message(), c.message) << c.name;
    }
  }
  // A launcher without keys asks for no signature, so nothing expires for it.
  FakeUpdateClient server;
  server.bodies["app/manifest.json"] = kDocument;
  EXPECT_OK(fetch_release_manifest(server, ManifestTrust{{}, std::nullopt, kNow}));
}

}  // namespace
}  // namespace nelo
