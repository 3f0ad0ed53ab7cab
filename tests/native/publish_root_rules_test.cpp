// What the publisher keeps true of a root it publishes into: a signed root stays signed unless
// the operator says otherwise, and a label keeps the content it was first published with.
#include <gtest/gtest.h>

#include "nelo_publish/publish.h"
#include "nelo_publish/served_pair.h"
#include "tests/native/publish_support.h"
#include "tests/native/signer.h"

namespace nelo::testing_support {
namespace {

using publish::publish_release;
using publish::served_manifest_path;
using publish::served_signature_path;

TEST(PublishRootRulesTest, ASignedRootIsNeverLeftServingAStaleSignature) {
  const Signer signer;
  struct Case {
    const char* name;
    bool sign;
    bool leave_unsigned;
    bool published;
    bool signature_after;  // a signature served afterwards
  };
  const Case cases[] = {
      {"signed again", true, false, true, true},
      {"without --sign", false, false, false, true},
      {"--unsigned", false, true, true, false},
  };
  for (const Case& c : cases) {
    TempFolder from;
    TempFolder root;
    make_release(from.path(), kRelease);
    PublishOptions first = options_for(from.path(), root.path(), "1.0");
    first.signing_key = signer.key;
    first.signing_time = 1000;
    ASSERT_OK(publish_release(first));
    const auto before = snapshot(root.path());

    write_file(from.path() / "a.txt", "changed\n");
    PublishOptions next = options_for(from.path(), root.path(), "1.1");
    if (c.sign) {
      next.signing_key = signer.key;
      next.signing_time = 2000;
    }
    next.leave_unsigned = c.leave_unsigned;
    const auto published = publish_release(next);
    EXPECT_EQ(published.ok(), c.published) << c.name;
    if (!c.published) {
      EXPECT_NE(published.message().find("--unsigned"), std::string::npos) << c.name;
      EXPECT_EQ(snapshot(root.path()), before) << c.name << ": nothing written";
      continue;
    }
    EXPECT_EQ(read_manifest(root.path()).version, "1.1") << c.name;
    EXPECT_EQ(fs::exists(served_signature_path(root.path())), c.signature_after) << c.name;
    if (c.signature_after) {
      EXPECT_OK(verify_manifest_signature(read_file(served_manifest_path(root.path())),
                                          read_file(served_signature_path(root.path())),
                                          {signer.release_key}));
    }
  }
}

TEST(PublishRootRulesTest, ALabelNeverComesBackWithOtherContent) {
  struct Case {
    const char* name;
    std::string change;  // written into a.txt before the label is published again
    const char* again;   // the label then
    bool published;
  };
  const Case cases[] = {
      {"the same content again", "", "1.0", true},
      {"other content, same label", "changed\n", "1.0", false},
      {"other content, new label", "changed\n", "1.1", true},
  };
  for (const Case& c : cases) {
    TempFolder from;
    TempFolder root;
    make_release(from.path(), kRelease);
    ASSERT_OK(publish_release(options_for(from.path(), root.path(), "1.0")));
    if (!c.change.empty()) {
      write_file(from.path() / "a.txt", c.change);
    }
    const auto before = snapshot(root.path());
    const auto published = publish_release(options_for(from.path(), root.path(), c.again));
    EXPECT_EQ(published.ok(), c.published) << c.name << ": " << published.message();
    if (!c.published) {
      EXPECT_NE(published.message().find("outro conteúdo"), std::string::npos) << c.name;
      EXPECT_EQ(snapshot(root.path()), before) << c.name << ": nothing written";
    }
  }

  // A label published before and replaced since is refused too.
  TempFolder from;
  TempFolder root;
  make_release(from.path(), kRelease);
  ASSERT_OK(publish_release(options_for(from.path(), root.path(), "1.0")));
  write_file(from.path() / "a.txt", "changed\n");
  ASSERT_OK(publish_release(options_for(from.path(), root.path(), "1.1")));
  EXPECT_FALSE(publish_release(options_for(from.path(), root.path(), "1.0")).ok());
}

}  // namespace
}  // namespace nelo::testing_support
