// Shipping a launcher with a release: the image check, the object and the manifest's field,
// and the operator's other commands keeping both.
#include <gtest/gtest.h>

#include <chrono>

#include "nelo_publish/garbage.h"
#include "nelo_publish/launcher_image.h"
#include "nelo_publish/publish.h"
#include "nelo_publish/rollout.h"
#include "nelo_publish/served_pair.h"
#include "nelo_publish/verify.h"
#include "tests/native/publish_support.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;
using testing_support::decode;
using testing_support::make_release;
using testing_support::options_for;
using testing_support::random_bytes;
using testing_support::read_file;
using testing_support::read_manifest;
using testing_support::snapshot;
using testing_support::TempFolder;
using testing_support::write_file;

void put16(std::string& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

// The headers of a program image, then `tail`: what the linker writes, as far as the check reads.
std::string program_image(std::uint16_t machine = 0x8664, std::uint16_t characteristics = 0x22,
                          std::uint16_t magic = 0x20B, const std::string& tail = "") {
  std::string bytes(512, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  put16(bytes, 0x3C, 0x80);
  bytes.replace(0x80, 4, std::string("PE\0\0", 4));
  put16(bytes, 0x84, machine);
  put16(bytes, 0x80 + 22, characteristics);
  put16(bytes, 0x80 + 24, magic);
  return bytes + tail;
}

TEST(LauncherImageTest, OnlyAWindowsX64ProgramPasses) {
  std::string pe_beyond_end = program_image();
  put16(pe_beyond_end, 0x3C, 0x1F0);
  const struct {
    const char* name;
    std::string bytes;
    bool accepted;
  } cases[] = {
      {"program", program_image(), true},
      {"empty", "", false},
      {"text", std::string(600, 'x'), false},
      {"cut after MZ", program_image().substr(0, 0x40), false},
      {"cut inside the PE header", program_image().substr(0, 0x90), false},
      {"PE offset past the end", pe_beyond_end, false},
      {"32-bit machine", program_image(0x14C), false},
      {"ARM64 machine", program_image(0xAA64), false},
      {"a DLL", program_image(0x8664, 0x2022), false},
      {"an object, not an image", program_image(0x8664, 0x20), false},
      {"PE32 optional header", program_image(0x8664, 0x22, 0x10B), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(check_launcher_image(c.bytes).ok(), c.accepted) << c.name;
  }
}

class PublishLauncherTest : public ::testing::Test {
 protected:
  // Publishes `version` of a small release with `launcher` as its launcher (none: without).
  Result<PublishReport> publish(const std::string& version,
                                const std::optional<std::string>& launcher) {
    TempFolder release;
    make_release(release.path(), {{"Nelo.exe", "the application " + version}});
    PublishOptions options = options_for(release.path(), root_.path(), version);
    options.quality = 1;
    if (launcher) {
      // Beside the release, never inside it: a folder of this test's own.
      options.launcher = setups_.path() / (version + "-setup.exe");
      write_file(*options.launcher, *launcher);
    }
    return publish_release(options);
  }

  fs::path object(const std::string& sha256) const { return root_.path() / "app/files" / sha256; }

  TempFolder root_;
  TempFolder setups_;
  const std::string launcher_ = program_image(0x8664, 0x22, 0x20B, random_bytes(200000, 3));
};

TEST_F(PublishLauncherTest, WritesTheObjectAndTheField) {
  const auto report = publish("1.0", launcher_);
  ASSERT_OK(report);
  const ReleaseManifest manifest = read_manifest(root_.path());
  ASSERT_TRUE(manifest.launcher.has_value());
  EXPECT_EQ(manifest.launcher->sha256, sha256_hex(launcher_));
  EXPECT_EQ(report->launcher, manifest.launcher->sha256);
  EXPECT_EQ(manifest.launcher->size, launcher_.size());
  EXPECT_EQ(manifest.launcher->zsize, fs::file_size(object(manifest.launcher->sha256)));
  EXPECT_EQ(decode(read_file(object(manifest.launcher->sha256)), launcher_.size()), launcher_);
  ASSERT_EQ(manifest.files.size(), 1u) << "the launcher is not a file of the release";
}

TEST_F(PublishLauncherTest, WithoutTheOptionTheManifestNamesNoLauncher) {
  ASSERT_OK(publish("1.0", std::nullopt));
  EXPECT_FALSE(read_manifest(root_.path()).launcher.has_value());
  EXPECT_EQ(read_file(served_manifest_path(root_.path())).find("launcher"), std::string::npos);
}

TEST_F(PublishLauncherTest, RefusesWhatIsNotAProgramAndWritesNothing) {
  ASSERT_OK(publish("1.0", launcher_));
  const auto before = snapshot(root_.path());
  for (const std::string& wrong :
       {std::string("#!/bin/sh\necho not a program\n"), program_image(0x14C), std::string()}) {
    const auto refused = publish("2.0", wrong);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.message().find("o lançador"), std::string::npos) << refused.message();
    EXPECT_EQ(snapshot(root_.path()), before);
  }
  TempFolder release;
  make_release(release.path(), {{"Nelo.exe", "x"}});
  PublishOptions missing = options_for(release.path(), root_.path(), "3.0");
  missing.launcher = release.path() / "no-such-setup.exe";
  EXPECT_FALSE(publish_release(missing).ok());
  EXPECT_EQ(snapshot(root_.path()), before);
}

TEST_F(PublishLauncherTest, TheNextLauncherComesAsAPatchFromThePreviousOne) {
  ASSERT_OK(publish("1.0", launcher_));
  const std::string next = launcher_ + "a fix appended";
  ASSERT_OK(publish("2.0", next));
  const ReleaseManifest manifest = read_manifest(root_.path());
  ASSERT_TRUE(manifest.launcher.has_value());
  ASSERT_EQ(manifest.launcher->patches.size(), 1u);
  EXPECT_EQ(manifest.launcher->patches[0].from, sha256_hex(launcher_));
  EXPECT_TRUE(
      fs::exists(root_.path() / "app/patches" / (sha256_hex(launcher_) + "-" + sha256_hex(next))));
  EXPECT_LT(manifest.launcher->patches[0].zsize, manifest.launcher->zsize / 2);
}

TEST_F(PublishLauncherTest, RolloutKeepsTheFieldAndVerifyChecksTheObject) {
  ASSERT_OK(publish("1.0", launcher_));
  RolloutChange share;
  share.share = 40;
  ASSERT_OK(change_rollout(root_.path(), share));
  const ReleaseManifest changed = read_manifest(root_.path());
  EXPECT_EQ(changed.rollout, 40u);
  ASSERT_TRUE(changed.launcher.has_value());
  EXPECT_EQ(changed.launcher->sha256, sha256_hex(launcher_));

  auto source = open_release_source(root_.path().string(), {});
  ASSERT_OK(source);
  const VerifyReport honest = verify_deployment(**source, {});
  EXPECT_TRUE(honest.faults.empty()) << honest.faults.front();
  EXPECT_EQ(honest.objects, 2u) << "the application and the launcher";

  const fs::path launcher_object = object(sha256_hex(launcher_));
  std::string bytes = read_file(launcher_object);
  bytes[bytes.size() / 2] ^= 1;
  write_file(launcher_object, bytes);
  const VerifyReport damaged = verify_deployment(**source, {});
  ASSERT_EQ(damaged.faults.size(), 1u);
  EXPECT_NE(damaged.faults[0].find("Nelo-Setup.exe"), std::string::npos) << damaged.faults[0];
}

TEST_F(PublishLauncherTest, GarbageCollectionKeepsTheLaunchersOfTheKeptReleases) {
  ASSERT_OK(publish("1.0", launcher_));
  const std::string next = program_image(0x8664, 0x22, 0x20B, random_bytes(1000, 9));
  ASSERT_OK(publish("2.0", next));
  const auto long_ago = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
  for (const char* folder : {"app/files", "app/patches", "releases"}) {
    if (fs::exists(root_.path() / folder)) {
      for (const auto& entry : fs::directory_iterator(root_.path() / folder)) {
        fs::last_write_time(entry.path(), long_ago);
      }
    }
  }
  const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  const auto report = collect_garbage(root_.path(), {1, 7 * 86400, now, false});
  ASSERT_OK(report);
  std::set<std::string> unused;
  for (const UnusedFile& file : report->unused) {
    unused.insert(file.path);
  }
  EXPECT_TRUE(unused.contains("app/files/" + sha256_hex(launcher_)))
      << "only the older release shipped it";
  EXPECT_FALSE(unused.contains("app/files/" + sha256_hex(next)));
}

}  // namespace
}  // namespace nelo::publish
