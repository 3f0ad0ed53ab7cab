#include "install/rollout_share.h"

#include <gtest/gtest.h>

#include <random>

#include "release/sha256.h"
#include "tests/native/fake_version_store.h"

namespace nelo {
namespace {

using testing_support::FakeVersionStore;

constexpr char kIdentityFile[] = "/installation";

// Identities as installations draw them, from a fixed seed so that every run sees the same.
std::vector<std::string> simulated_identities(std::size_t count) {
  std::mt19937_64 generator(20261209);
  std::vector<std::string> identities;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t halves[2] = {generator(), generator()};
    identities.push_back(to_hex(reinterpret_cast<const unsigned char*>(halves), sizeof(halves)));
  }
  return identities;
}

ReleaseManifest release(const std::string& version, std::optional<std::uint64_t> rollout) {
  ReleaseManifest manifest;
  manifest.version = version;
  manifest.rollout = rollout;
  return manifest;
}

TEST(RolloutShareTest, AThousandInstallationsLandWithinFiveOfTheShare) {
  const std::vector<std::string> identities = simulated_identities(1000);
  for (const std::string version : {"2.0", "2.1", "10.4.7"}) {
    for (const std::uint64_t share : {1u, 5u, 10u, 25u, 50u, 75u, 90u, 99u}) {
      int in_share = 0;
      for (const std::string& identity : identities) {
        in_share += release_is_for(release(version, share), identity) ? 1 : 0;
      }
      EXPECT_NEAR(in_share / 10.0, double(share), 5.0) << version << " at " << share << " %";
    }
  }
}

TEST(RolloutShareTest, NoShareAndAHundredAreForAllAndZeroForNone) {
  for (const std::string& identity : simulated_identities(200)) {
    EXPECT_TRUE(release_is_for(release("2.0", std::nullopt), identity));
    EXPECT_TRUE(release_is_for(release("2.0", 100), identity));
    EXPECT_FALSE(release_is_for(release("2.0", 0), identity));
  }
}

TEST(RolloutShareTest, RaisingTheShareKeepsEveryInstallationThatWasIn) {
  for (const std::string& identity : simulated_identities(300)) {
    bool was_in = false;
    for (std::uint64_t share = 0; share <= 100; ++share) {
      const bool in = release_is_for(release("3.0", share), identity);
      EXPECT_TRUE(in || !was_in) << identity << " left at " << share << " %";
      was_in = in;
    }
    EXPECT_TRUE(was_in);
  }
}

TEST(RolloutShareTest, EachReleaseDrawsThePlacesAnew) {
  // The first 10 % of one release are not the first 10 % of the next.
  int in_both = 0;
  for (const std::string& identity : simulated_identities(1000)) {
    in_both +=
        release_is_for(release("2.0", 10), identity) && release_is_for(release("2.1", 10), identity)
            ? 1
            : 0;
  }
  EXPECT_LT(in_both, 40);  // about 10 expected, 100 if the places were the same
}

TEST(RolloutShareTest, AnIdentityIsThirtyTwoLowerCaseHexadecimalDigits) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"0123456789abcdef0123456789abcdef", true},  {"0123456789ABCDEF0123456789abcdef", false},
      {"0123456789abcdef0123456789abcde", false},  {"0123456789abcdef0123456789abcdef0", false},
      {"0123456789abcdef0123456789abcdeg", false}, {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_installation_identity(c.text), c.valid) << c.text;
  }
  const std::string drawn = draw_installation_identity();
  EXPECT_TRUE(is_installation_identity(drawn));
  EXPECT_NE(drawn, draw_installation_identity());
}

TEST(RolloutShareTest, TheIdentityIsDrawnOnceAndKept) {
  FakeVersionStore store;
  const std::string first = installation_identity(store);
  EXPECT_TRUE(is_installation_identity(first));
  ASSERT_TRUE(store.read_small(kIdentityFile));
  EXPECT_EQ(*store.read_small(kIdentityFile), first + "\n");
  EXPECT_EQ(installation_identity(store), first);
}

TEST(RolloutShareTest, AnUnreadableIdentityIsDrawnAgain) {
  for (const std::string& kept : std::vector<std::string>{
           "", "not an identity\n", "0123456789ABCDEF0123456789ABCDEF\n", std::string(5000, 'a')}) {
    FakeVersionStore store;
    ASSERT_TRUE(store.write_new_file(kIdentityFile, kept));
    const std::string identity = installation_identity(store);
    EXPECT_TRUE(is_installation_identity(identity)) << kept;
    EXPECT_EQ(*store.read_small(kIdentityFile), identity + "\n");
  }
  FakeVersionStore store;
  ASSERT_TRUE(store.write_new_file(kIdentityFile, "00112233445566778899aabbccddeeff\r\n"));
  EXPECT_EQ(installation_identity(store), "00112233445566778899aabbccddeeff");
}

// A file that is there but cannot be read for a moment (another launcher writing it, a
// scanner) is read again: a new draw would move the installation out of its place.
TEST(RolloutShareTest, AnIdentityBrieflyUnreadableIsReadAgain) {
  const std::string kept = "00112233445566778899aabbccddeeff";
  for (const int failed_reads : {1, 3}) {
    FakeVersionStore store;
    ASSERT_TRUE(store.write_new_file(kIdentityFile, kept + "\n"));
    store.unreadable[kIdentityFile] = failed_reads;
    EXPECT_EQ(installation_identity(store), kept) << failed_reads;
    EXPECT_EQ(*store.read_small(kIdentityFile), kept + "\n") << "never replaced";
  }
}

// The identity takes its name by a rename that never replaces one already there: a launcher
// that drew at the same moment as another ends with the other's, as the other does.
TEST(RolloutShareTest, TwoLaunchersDrawingAtOnceAgree) {
  FakeVersionStore store;
  const std::string other = "ffeeddccbbaa99887766554433221100";
  // The other launcher's identity lands between this one's read and its rename.
  store.on_create = [&](const std::string& path) {
    if (path != kIdentityFile && !store.files.count(kIdentityFile)) {
      store.files[kIdentityFile] = std::make_shared<std::string>(other + "\n");
    }
  };
  EXPECT_EQ(installation_identity(store), other);
  EXPECT_EQ(*store.read_small(kIdentityFile), other + "\n") << "the first one stays";
  EXPECT_TRUE(store.notes.empty());
}

TEST(RolloutShareTest, AnIdentityThatCannotBeWrittenStillServesThisStart) {
  FakeVersionStore store;
  store.failing.insert(kIdentityFile);
  EXPECT_TRUE(is_installation_identity(installation_identity(store)));
  ASSERT_EQ(store.notes.size(), 1u);
  EXPECT_TRUE(store.notes[0].starts_with("a identidade da instalação não foi gravada: "));
}

TEST(RolloutShareTest, OnlyAnIntactInstalledVersionPassesOverAReleaseOutsideItsShare) {
  FakeVersionStore store;
  const std::string identity = installation_identity(store);
  const std::uint64_t place = rollout_place(identity, "2.0");
  const ReleaseManifest outside = release("2.0", place);  // places 0 .. place-1 are in
  const ReleaseManifest inside = release("2.0", place + 1);
  EXPECT_TRUE(passes_over_release(store, "1.0", outside));
  EXPECT_FALSE(passes_over_release(store, "1.0", inside));
  EXPECT_FALSE(passes_over_release(store, std::nullopt, outside)) << "a first install installs";
  EXPECT_FALSE(passes_over_release(store, "2.0", outside)) << "it is the current version";
  EXPECT_FALSE(passes_over_release(store, "1.0", release("2.0", std::nullopt)));
  ASSERT_EQ(store.notes.size(), 1u);
  EXPECT_EQ(store.notes[0], "a versão 2.0 é para " + std::to_string(place) +
                                "% das instalações, e esta não está entre elas: fica a 1.0");
}

}  // namespace
}  // namespace nelo
