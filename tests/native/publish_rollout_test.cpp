#include "nelo_publish/rollout.h"

#include <gtest/gtest.h>

#include "release/manifest.h"
#include "release/release_signature.h"
#include "nelo_publish/command.h"
#include "nelo_publish/release_history.h"
#include "nelo_publish/served_pair.h"
#include "tests/expect_ok.h"
#include "tests/native/signer.h"
#include "tests/temp_folder.h"

namespace nelo::publish {
namespace {

using testing_support::read_file;
using testing_support::Signer;
using testing_support::TempFolder;
using testing_support::write_file;

const std::string kFiles = R"("files": [{"path": "Nelo.exe", "sha256": ")" + std::string(64, 'a') +
                           R"(", "size": 1, "zsize": 1}])";

std::string manifest_with(const std::string& members) {
  return "{" + members + kFiles + "}";
}

RolloutChange share_of(std::uint64_t share) {
  RolloutChange change;
  change.share = share;
  return change;
}

ReleaseManifest served(const TempFolder& root) {
  Result<ReleaseManifest> manifest =
      parse_release_manifest(read_file(served_manifest_path(root.path())));
  EXPECT_TRUE(manifest.ok());
  return manifest.ok() ? *manifest : ReleaseManifest{};
}

TEST(PublishRolloutTest, TheShareChangesAndNothingElse) {
  TempFolder root;
  write_file(served_manifest_path(root.path()),
             manifest_with(R"("version": "2.0", "rollout": 10, "note": "kept", )"));
  const struct {
    std::uint64_t share;
    std::optional<std::uint64_t> stored;
  } steps[] = {{25, 25}, {0, 0}, {100, std::nullopt}, {50, 50}};
  std::optional<std::uint64_t> before = 10;
  for (const auto& step : steps) {
    const auto changed = change_rollout(root.path(), share_of(step.share));
    ASSERT_OK(changed);
    EXPECT_EQ(changed->version, "2.0");
    EXPECT_EQ(changed->was, before);
    EXPECT_FALSE(changed->signed_at);
    const ReleaseManifest manifest = served(root);
    EXPECT_EQ(manifest.rollout, step.stored) << step.share;
    EXPECT_EQ(manifest.version, "2.0");
    ASSERT_EQ(manifest.files.size(), 1u);
    EXPECT_EQ(manifest.files[0].sha256, std::string(64, 'a'));
    EXPECT_NE(manifest.document.find("\"note\": \"kept\""), std::string::npos);
    // The publisher's own copy follows what is served.
    const auto recent = recent_releases(root.path(), 1);
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0].document, manifest.document);
    before = step.stored;
  }
}

TEST(PublishRolloutTest, ASignedManifestIsSignedAnewOrLeftAlone) {
  TempFolder root;
  const Signer signer;
  const std::string document = manifest_with(R"("version": "2.0", "rollout": 10, )");
  write_file(served_manifest_path(root.path()), document);
  write_file(served_signature_path(root.path()), signer.sign(document, 5000));

  const auto refused = change_rollout(root.path(), share_of(50));
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.message(),
            "o manifesto publicado é assinado: falta --key para assiná-lo de novo");
  EXPECT_EQ(read_file(served_manifest_path(root.path())), document);

  const auto changed = change_rollout(root.path(), {50, signer.key, 100, 3600});
  ASSERT_OK(changed);
  EXPECT_EQ(changed->signed_at, 5001) << "never before the served signature";
  EXPECT_TRUE(changed->clock_behind);
  const std::string rewritten = read_file(served_manifest_path(root.path()));
  const auto verified = verify_manifest_signature(
      rewritten, read_file(served_signature_path(root.path())), {signer.release_key});
  ASSERT_OK(verified);
  EXPECT_EQ(verified->signed_at, 5001);
  EXPECT_EQ(verified->expires_at, 5001 + 3600);
  EXPECT_EQ(served(root).rollout, 50u);
}

TEST(PublishRolloutTest, RefusesWhatTheLauncherWouldNotTake) {
  TempFolder empty;
  EXPECT_FALSE(change_rollout(empty.path(), share_of(50)).ok());
  TempFolder broken;
  write_file(served_manifest_path(broken.path()), "{}");
  const auto refused = change_rollout(broken.path(), share_of(50));
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.message(), "o lançador recusaria o manifesto publicado: lista sem versão");
  EXPECT_EQ(read_file(served_manifest_path(broken.path())), "{}");
}

TEST(PublishRolloutTest, TheCommandLineTakesSharesFromZeroToAHundred) {
  TempFolder root;
  write_file(served_manifest_path(root.path()), manifest_with(R"("version": "2.0", )"));
  const struct {
    std::vector<std::string> arguments;
    int exit_code;
    std::string output;
  } cases[] = {
      {{"rollout", "ROOT", "20"},
       0,
       "versão 2.0: de todas as instalações para 20% das "
       "instalações\n"},
      {{"rollout", "ROOT", "0"},
       0,
       "versão 2.0: de 20% das instalações para 0% das "
       "instalações (suspensa)\n"},
      {{"rollout", "ROOT", "100"},
       0,
       "versão 2.0: de 0% das instalações para todas as "
       "instalações\n"},
      {{"rollout", "ROOT", "101"},
       2,
       "nelo-publish rollout: espera um número de 0 a 100, "
       "não \"101\"\nUse --help para ver o uso.\n"},
      {{"rollout", "ROOT", "-5"}, 2, ""},
      {{"rollout", "ROOT"},
       2,
       "nelo-publish rollout: falta a PARCELA\nUse --help para ver o "
       "uso.\n"},
      {{"rollout", "ROOT", "20", "--expires", "1d"}, 2, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = c.arguments;
    std::replace(arguments.begin(), arguments.end(), std::string("ROOT"), root.path().string());
    std::string output;
    const int code = run_publish_command(
        arguments, false, [&](std::string_view text) { output += text; },
        [&](std::string_view text) { output += text; });
    EXPECT_EQ(code, c.exit_code) << c.arguments.back();
    if (!c.output.empty()) {
      EXPECT_EQ(output, c.output);
    }
  }
}

TEST(PublishRolloutTest, PublishTakesAShareFromOneToAHundred) {
  for (const std::string bad : {"0", "101", "x", "", "1000"}) {
    EXPECT_FALSE(
        parse_publish_arguments({"--version", "1", "--from", "a", "--to", "b", "--rollout", bad})
            .ok())
        << bad;
  }
  const auto parsed =
      parse_publish_arguments({"--version", "1", "--from", "a", "--to", "b", "--rollout", "15"});
  ASSERT_OK(parsed);
  EXPECT_EQ(parsed->options.rollout, 15u);
}

}  // namespace
}  // namespace nelo::publish
