#include "main/launcher_update.h"

#include <gtest/gtest.h>

#include <string>

#include "release/sha256.h"
#include "tests/expect_ok.h"
#include "tests/native/brotli_support.h"
#include "tests/native/fake_update_client.h"
#include "tests/native/fake_version_store.h"

namespace nelo {
namespace {

using testing_support::brotli;
using testing_support::FakeUpdateClient;
using testing_support::FakeVersionStore;

const std::string kInstalled = "MZ the launcher installed today";
const std::string kListed = "MZ the launcher of the release, with every fix";

// The root of the installation as the fake store and place see it.
class FakeLauncherPlace final : public LauncherPlace {
 public:
  explicit FakeLauncherPlace(FakeVersionStore& store) : store_(store) {}

  std::filesystem::path installed_path() override { return "/r/Nelo.exe"; }
  std::filesystem::path fresh_path() override { return "/r/Nelo.exe.new"; }
  std::optional<std::uint64_t> installed_size() override {
    const auto it = store_.files.find("/r/Nelo.exe");
    if (it == store_.files.end()) {
      return std::nullopt;
    }
    return it->second->size();
  }
  bool try_update_lock() override {
    steps.push_back("lock");
    return lock_free;
  }
  Result<std::string> run_self_test(const std::filesystem::path& program) override {
    steps.push_back("self-test " + program.generic_string());
    tested_content = store_.content(program.generic_string());
    return self_test;
  }
  Status swap_in(const std::filesystem::path& fresh) override {
    steps.push_back("swap " + fresh.generic_string());
    if (!swap_result) {
      return swap_result;
    }
    store_.files["/r/Nelo.exe.old"] = store_.files.at("/r/Nelo.exe");
    store_.files["/r/Nelo.exe"] = store_.files.at(fresh.generic_string());
    store_.files.erase(fresh.generic_string());
    return {};
  }

  bool lock_free = true;
  Result<std::string> self_test = std::string("self-test ok keys 0\n");
  Status swap_result;
  std::vector<std::string> steps;
  std::string tested_content;

 private:
  FakeVersionStore& store_;
};

// A release "2.0" that lists `launcher` (its object served as `body`, or its Brotli stream).
ReleaseManifest release_with_launcher(const std::string& launcher, FakeUpdateClient& server,
                                      std::optional<std::string> body = std::nullopt) {
  const std::string program = "the application";
  const std::string stream = brotli(launcher);
  server.bodies["app/files/" + sha256_hex(program)] = brotli(program);
  server.bodies["app/files/" + sha256_hex(launcher)] = body.value_or(stream);
  auto parsed = parse_release_manifest(
      "{\"version\": \"2.0\", \"launcher\": {\"sha256\": \"" + sha256_hex(launcher) +
      "\", \"size\": " + std::to_string(launcher.size()) +
      ", \"zsize\": " + std::to_string(stream.size()) + "}, \"files\": [{\"path\": \"Nelo.exe\", " +
      "\"sha256\": \"" + sha256_hex(program) + "\"}]}");
  EXPECT_OK(parsed);
  return std::move(parsed).value();
}

class LauncherUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_.current = "2.0";
    store_.files["/r/Nelo.exe"] = std::make_shared<std::string>(kInstalled);
  }

  LauncherUpdate update(const ReleaseManifest& manifest, std::size_t own_keys = 0) {
    return update_launcher(server_, manifest, store_, place_, own_keys);
  }

  FakeUpdateClient server_;
  FakeVersionStore store_;
  FakeLauncherPlace place_{store_};
};

TEST_F(LauncherUpdateTest, TheListedLauncherIsFetchedTestedAndSwappedIn) {
  const ReleaseManifest manifest = release_with_launcher(kListed, server_);
  EXPECT_EQ(update(manifest), LauncherUpdate::kReplaced);
  EXPECT_EQ(place_.tested_content, kListed) << "the self-test runs the verified new file";
  EXPECT_EQ(place_.steps, (std::vector<std::string>{"lock", "self-test /r/Nelo.exe.new",
                                                    "swap /r/Nelo.exe.new"}));
  EXPECT_EQ(store_.content("/r/Nelo.exe"), kListed);
  EXPECT_EQ(store_.content("/r/Nelo.exe.old"), kInstalled);
  EXPECT_TRUE(store_.notes.empty());
  EXPECT_EQ(server_.requests_seen(), std::vector<std::string>{"app/files/" + sha256_hex(kListed)});
  EXPECT_TRUE(store_.kept.empty()) << "a launcher's bytes are never kept for later";
}

TEST_F(LauncherUpdateTest, NothingHappensWithoutReasonToChange) {
  struct Case {
    const char* name;
    std::optional<std::string> current;
    bool listed;
    std::string installed;
    LauncherUpdate expected;
  };
  const Case cases[] = {
      {"NoLauncherListed", "2.0", false, kInstalled, LauncherUpdate::kNotListed},
      // Outside a rollout, or after a failed staging, the release is not current here.
      {"ReleaseNotCurrent", "1.0", true, kInstalled, LauncherUpdate::kNotCurrent},
      {"NothingInstalled", std::nullopt, true, kInstalled, LauncherUpdate::kNotCurrent},
      {"SameLauncher", "2.0", true, kListed, LauncherUpdate::kSame},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUpdateClient server;
    FakeVersionStore store;
    FakeLauncherPlace place(store);
    store.current = c.current;
    store.files["/r/Nelo.exe"] = std::make_shared<std::string>(c.installed);
    ReleaseManifest manifest = release_with_launcher(kListed, server);
    if (!c.listed) {
      manifest.launcher.reset();
    }
    EXPECT_EQ(update_launcher(server, manifest, store, place, 0), c.expected);
    EXPECT_TRUE(server.requests_seen().empty());
    EXPECT_TRUE(place.steps.empty()) << "no lock, no self-test, no swap";
    EXPECT_EQ(store.content("/r/Nelo.exe"), c.installed);
  }
}

TEST_F(LauncherUpdateTest, ASameSizedLauncherIsToldApartByItsDigest) {
  std::string same_size = kListed;
  same_size[5] ^= 1;
  store_.files["/r/Nelo.exe"] = std::make_shared<std::string>(same_size);
  EXPECT_EQ(update(release_with_launcher(kListed, server_)), LauncherUpdate::kReplaced);
  EXPECT_EQ(store_.content("/r/Nelo.exe"), kListed);
}

TEST(CompareLauncherTest, SizesFirstThenTheDigest) {
  const auto listed = parse_release_manifest(
      "{\"version\": \"1\", \"launcher\": {\"sha256\": \"" + sha256_hex(kListed) +
      "\", \"size\": " + std::to_string(kListed.size()) +
      ", \"zsize\": 1}, \"files\": [{\"path\": \"Nelo.exe\", \"sha256\": \"" +
      std::string(64, 'a') + "\"}]}");
  ASSERT_OK(listed);
  int hashed = 0;
  const auto digest_of = [&](std::string content) {
    return [&hashed, content]() -> std::optional<std::string> {
      ++hashed;
      return sha256_hex(content);
    };
  };
  EXPECT_EQ(compare_launcher(std::nullopt, 3, digest_of(kListed)), LauncherComparison::kNotListed);
  EXPECT_EQ(compare_launcher(listed->launcher, kListed.size() + 1, digest_of(kListed)),
            LauncherComparison::kDiffers);
  EXPECT_EQ(compare_launcher(listed->launcher, std::nullopt, digest_of(kListed)),
            LauncherComparison::kDiffers);
  EXPECT_EQ(hashed, 0) << "a size that differs needs no digest";
  EXPECT_EQ(compare_launcher(listed->launcher, kListed.size(), digest_of(kListed)),
            LauncherComparison::kSame);
  EXPECT_EQ(compare_launcher(listed->launcher, kListed.size(),
                             [] { return std::optional<std::string>(); }),
            LauncherComparison::kDiffers)
      << "an installed launcher that cannot be read is replaced";
}

TEST_F(LauncherUpdateTest, AnotherLauncherAtWorkLeavesItForLater) {
  place_.lock_free = false;
  EXPECT_EQ(update(release_with_launcher(kListed, server_)), LauncherUpdate::kBusy);
  EXPECT_TRUE(server_.requests_seen().empty());
  EXPECT_EQ(store_.content("/r/Nelo.exe"), kInstalled);
}

// Every way the new launcher can fail leaves the installed one as it was, no new file behind,
// and one line in the log.
TEST_F(LauncherUpdateTest, AnyFailureLeavesTheInstalledLauncherAndNothingElse) {
  struct Case {
    const char* name;
    std::function<ReleaseManifest(FakeUpdateClient&, FakeLauncherPlace&)> arrange;
    std::string note;
    bool swapped;
  };
  const Case cases[] = {
      {"ObjectMissing",
       [](FakeUpdateClient& server, FakeLauncherPlace&) {
         ReleaseManifest manifest = release_with_launcher(kListed, server);
         server.bodies.erase("app/files/" + sha256_hex(kListed));
         return manifest;
       },
       "o servidor respondeu 404", false},
      {"ObjectOfOtherContent",
       [](FakeUpdateClient& server, FakeLauncherPlace&) {
         std::string other = kListed;
         other.back() = '!';
         return release_with_launcher(kListed, server, brotli(other));
       },
       "Nelo-Setup.exe não confere com a lista", false},
      {"ObjectCutShort",
       [](FakeUpdateClient& server, FakeLauncherPlace&) {
         const std::string whole = brotli(kListed);
         return release_with_launcher(kListed, server, whole.substr(0, whole.size() / 2));
       },
       "Nelo-Setup.exe", false},
      {"SelfTestFails",
       [](FakeUpdateClient& server, FakeLauncherPlace& place) {
         place.self_test = fail("saiu com o código 3");
         return release_with_launcher(kListed, server);
       },
       "autoteste: saiu com o código 3", false},
      {"SelfTestPrintsSomethingElse",
       [](FakeUpdateClient& server, FakeLauncherPlace& place) {
         place.self_test = std::string("self-test failed: a fonte embutida não carrega\n");
         return release_with_launcher(kListed, server);
       },
       "autoteste sem a linha", false},
      {"SwapFails",
       [](FakeUpdateClient& server, FakeLauncherPlace& place) {
         place.swap_result = fail("acesso negado (os error 5)");
         return release_with_launcher(kListed, server);
       },
       "trocar o lançador: acesso negado (os error 5)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUpdateClient server;
    FakeVersionStore store;
    FakeLauncherPlace place(store);
    store.current = "2.0";
    store.files["/r/Nelo.exe"] = std::make_shared<std::string>(kInstalled);
    const ReleaseManifest manifest = c.arrange(server, place);
    EXPECT_EQ(update_launcher(server, manifest, store, place, 0), LauncherUpdate::kFailed);
    EXPECT_EQ(store.content("/r/Nelo.exe"), kInstalled);
    EXPECT_EQ(store.content("/r/Nelo.exe.new"), "<missing>");
    EXPECT_EQ(store.content("/r/Nelo.exe.old"), "<missing>");
    ASSERT_EQ(store.notes.size(), 1u);
    EXPECT_NE(store.notes[0].find(c.note), std::string::npos) << store.notes[0];
    EXPECT_EQ(std::count(place.steps.begin(), place.steps.end(), "swap /r/Nelo.exe.new"),
              c.swapped ? 1 : 0);
  }
}

TEST_F(LauncherUpdateTest, ALauncherWithKeysNeverGivesWayToOneWithout) {
  struct Case {
    std::size_t own_keys;
    const char* self_test;
    LauncherUpdate expected;
  };
  const Case cases[] = {
      {2, "self-test ok keys 0\n", LauncherUpdate::kFailed},
      {2, "self-test ok keys 1\n", LauncherUpdate::kReplaced},
      {0, "self-test ok keys 0\n", LauncherUpdate::kReplaced},
      {0, "self-test ok keys 2\r\n", LauncherUpdate::kReplaced},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.own_keys) + " " + c.self_test);
    FakeUpdateClient server;
    FakeVersionStore store;
    FakeLauncherPlace place(store);
    store.current = "2.0";
    store.files["/r/Nelo.exe"] = std::make_shared<std::string>(kInstalled);
    place.self_test = std::string(c.self_test);
    EXPECT_EQ(
        update_launcher(server, release_with_launcher(kListed, server), store, place, c.own_keys),
        c.expected);
    EXPECT_EQ(store.content("/r/Nelo.exe"),
              c.expected == LauncherUpdate::kReplaced ? kListed : kInstalled);
  }
}

TEST_F(LauncherUpdateTest, ALeftoverNewFileIsReplacedNotTrusted) {
  store_.files["/r/Nelo.exe.new"] = std::make_shared<std::string>("half of an old attempt");
  EXPECT_EQ(update(release_with_launcher(kListed, server_)), LauncherUpdate::kReplaced);
  EXPECT_EQ(place_.tested_content, kListed);
}

TEST(SelfTestLineTest, ReadsOnlyTheExactLine) {
  EXPECT_EQ(self_test_line(0), "self-test ok keys 0");
  EXPECT_EQ(read_self_test_line(self_test_line(3) + "\n"), 3u);
  EXPECT_EQ(read_self_test_line("self-test ok keys 12"), 12u);
  for (const char* wrong :
       {"", "self-test ok", "self-test ok keys", "self-test ok keys x", "self-test ok keys 1 extra",
        "self-test ok keys 1\nmore\n", "Self-test ok keys 1", " self-test ok keys 1",
        "self-test ok keys 99999", "self-test failed: x"}) {
    EXPECT_FALSE(read_self_test_line(wrong).has_value()) << wrong;
  }
}

}  // namespace
}  // namespace nelo
