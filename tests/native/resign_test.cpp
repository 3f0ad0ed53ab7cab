#include "nelo_publish/resign.h"

#include <gtest/gtest.h>

#include "release/release_signature.h"
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

const std::string kManifest = R"({"version": "1.0", "files": [{"path": "Nelo.exe", "sha256": ")" +
                              std::string(64, 'a') + R"(", "size": 1, "zsize": 1}]})";

TEST(ResignTest, RenewsTheSignatureAloneWithItsExpiry) {
  TempFolder root;
  const Signer signer;
  write_file(served_manifest_path(root.path()), kManifest);
  write_file(served_signature_path(root.path()), signer.sign(kManifest, 5000));
  write_file(root.path() / "app" / "files" / "x", "object");

  const auto renewed = resign_manifest(root.path(), signer.key, 9000, 30 * 86400);
  ASSERT_OK(renewed);
  EXPECT_EQ(renewed->signed_at, 9000);
  EXPECT_EQ(renewed->expires_at, 9000 + 30 * 86400);
  EXPECT_FALSE(renewed->clock_behind);
  const auto verified = verify_manifest_signature(
      kManifest, read_file(served_signature_path(root.path())), {signer.release_key});
  ASSERT_OK(verified);
  EXPECT_EQ(verified->signed_at, 9000);
  EXPECT_EQ(verified->expires_at, 9000 + 30 * 86400);
  EXPECT_EQ(read_file(served_manifest_path(root.path())), kManifest) << "the manifest stays";
  EXPECT_EQ(read_file(root.path() / "app" / "files" / "x"), "object");

  // A clock behind what is served signs one second after it; without --expires, for ever.
  const auto behind = resign_manifest(root.path(), signer.key, 100, std::nullopt);
  ASSERT_OK(behind);
  EXPECT_EQ(behind->signed_at, 9001);
  EXPECT_TRUE(behind->clock_behind);
  EXPECT_FALSE(behind->expires_at);
}

TEST(ResignTest, RefusesWithoutAManifestTheLauncherWouldTake) {
  const Signer signer;
  TempFolder empty;
  EXPECT_FALSE(resign_manifest(empty.path(), signer.key, 1, std::nullopt).ok());
  TempFolder broken;
  write_file(served_manifest_path(broken.path()), "{}");
  const auto refused = resign_manifest(broken.path(), signer.key, 1, std::nullopt);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.message(), "o lançador recusaria o manifesto publicado: lista sem versão");
  EXPECT_FALSE(std::filesystem::exists(served_signature_path(broken.path())));
}

}  // namespace
}  // namespace nelo::publish
