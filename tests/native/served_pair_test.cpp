#include "nelo_publish/served_pair.h"

#include <gtest/gtest.h>

#include "release/release_signature.h"
#include "tests/expect_ok.h"
#include "tests/native/signer.h"
#include "tests/temp_folder.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::Signer;
using testing_support::TempFolder;
using testing_support::write_file;

TEST(ServedPairTest, PutsTheManifestAndItsSignatureInPlace) {
  TempFolder root;
  ASSERT_OK(put_served_pair(root.path(), "manifest 1", "signature 1"));
  EXPECT_EQ(read_file(served_manifest_path(root.path())), "manifest 1");
  EXPECT_EQ(read_file(served_signature_path(root.path())), "signature 1");
  ASSERT_OK(put_served_pair(root.path(), "manifest 2", ""));
  EXPECT_EQ(read_file(served_manifest_path(root.path())), "manifest 2");
  EXPECT_EQ(read_file(served_signature_path(root.path())), "signature 1")
      << "an unsigned manifest leaves the signature served as it is";
  // Nothing but the pair is left in the folder: no temporary files.
  EXPECT_EQ(std::distance(fs::directory_iterator(root.path() / "app"), fs::directory_iterator()),
            2);
}

TEST(ServedPairTest, AManifestThatCannotTakeItsPlaceLeavesTheOldPairAsItWas) {
  struct Case {
    const char* name;
    bool old_signature;
  };
  for (const Case& c : {Case{"a signature served before", true}, Case{"none before", false}}) {
    TempFolder root;
    // The manifest's place is taken by a folder that is not empty: the rename cannot replace it.
    write_file(served_manifest_path(root.path()) / "in the way", "x");
    if (c.old_signature) {
      write_file(served_signature_path(root.path()), "old signature");
    }
    const Status put = put_served_pair(root.path(), "new manifest", "new signature");
    ASSERT_FALSE(put.ok()) << c.name;
    if (c.old_signature) {
      EXPECT_EQ(read_file(served_signature_path(root.path())), "old signature") << c.name;
    } else {
      EXPECT_FALSE(fs::exists(served_signature_path(root.path()))) << c.name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root.path() / "app"), fs::directory_iterator()),
              c.old_signature ? 2 : 1)
        << c.name << ": no temporary file stays";
  }
}

TEST(ServedPairTest, TheSigningTimeNeverGoesBack) {
  EXPECT_EQ(next_signing_time(1000, std::nullopt), 1000);
  EXPECT_EQ(next_signing_time(1000, 500), 1000);
  EXPECT_EQ(next_signing_time(1000, 1000), 1001) << "a second published within one second";
  EXPECT_EQ(next_signing_time(1000, 5000), 5001) << "a clock behind the published time";

  TempFolder root;
  EXPECT_FALSE(served_signing_time(root.path()));
  const Signer signer;
  write_file(served_signature_path(root.path()), signer.sign("m", 1234));
  EXPECT_EQ(served_signing_time(root.path()), 1234);
}

}  // namespace
}  // namespace nelo::publish
