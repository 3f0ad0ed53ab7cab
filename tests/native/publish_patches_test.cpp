#include <gtest/gtest.h>

#include <random>

#include "release/patch_stream.h"
#include "release/sha256.h"
#include "nelo_publish/publish.h"
#include "nelo_publish/release_history.h"
#include "tests/expect_ok.h"
#include "tests/native/publish_support.h"
#include "tests/temp_folder.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::TempFolder;
using testing_support::write_file;

using testing_support::random_bytes;

// Publishes `files` (plus a program) as `version` from a fresh release folder into `root`.
ReleaseManifest publish_files(const fs::path& root, const std::string& version,
                              const std::map<std::string, std::string>& files,
                              std::size_t patch_from = kDefaultPatchReleases) {
  TempFolder release;
  write_file(release.path() / "Nelo.exe", "program");
  for (const auto& [path, content] : files) {
    write_file(release.path() / path, content);
  }
  PublishOptions options;
  options.version = version;
  options.from = release.path();
  options.to = root;
  options.quality = 1;
  options.patch_from_releases = patch_from;
  EXPECT_OK(publish_release(options));
  auto manifest = parse_release_manifest(read_file(root / "app" / "manifest.json"));
  EXPECT_OK(manifest);
  return manifest.ok() ? std::move(manifest).value() : ReleaseManifest{};
}

const ManifestFile& entry(const ReleaseManifest& manifest, const std::string& path) {
  for (const ManifestFile& file : manifest.files) {
    if (file.path == path) {
      return file;
    }
  }
  ADD_FAILURE() << path;
  return manifest.files.front();
}

std::string edit(std::string content, std::size_t at, char with) {
  content.replace(at, 200, std::string(200, with));
  return content;
}

TEST(PublishPatchesTest, AChangedFileOffersPatchesFromTheLastReleasesThatApply) {
  TempFolder root;
  const std::string pack = random_bytes(1u << 20, 1);
  const std::string pack2 = edit(pack, 1000, 'a');
  const std::string pack3 = edit(pack2, 500000, 'b');
  const ReleaseManifest first =
      publish_files(root.path(), "1.0", {{"res/pack.bin", pack}, {"res/same.bin", "same"}});
  EXPECT_TRUE(entry(first, "res/pack.bin").patches.empty()) << "nothing published before";
  const ReleaseManifest second = publish_files(
      root.path(), "2.0",
      {{"res/pack.bin", pack2}, {"res/same.bin", "same"}, {"res/new.bin", random_bytes(9, 2)}});
  const ReleaseManifest third = publish_files(
      root.path(), "3.0",
      {{"res/pack.bin", pack3}, {"res/same.bin", "same"}, {"res/new.bin", random_bytes(9, 3)}});

  const ManifestFile& patched = entry(third, "res/pack.bin");
  ASSERT_EQ(patched.patches.size(), 2u) << "from 2.0 and from 1.0, the newest first";
  EXPECT_EQ(patched.patches[0].from, sha256_hex(pack2));
  EXPECT_EQ(patched.patches[1].from, sha256_hex(pack));
  for (const PatchOffer& offer : patched.patches) {
    const fs::path file = root.path() / "app" / "patches" / (offer.from + "-" + patched.sha256);
    const std::string patch = read_file(file);
    EXPECT_EQ(patch.size(), offer.zsize);
    EXPECT_LT(offer.zsize, patched.zsize / 2);
    const std::string& old = offer.from == sha256_hex(pack) ? pack : pack2;
    std::string out(patched.size, '\0');
    PatchStream stream(patched, old, out);
    EXPECT_OK(stream.take(patch));
    EXPECT_OK(stream.finish());
    EXPECT_EQ(out, pack3);
  }
  EXPECT_TRUE(entry(third, "res/same.bin").patches.empty()) << "unchanged";
  EXPECT_TRUE(entry(third, "res/new.bin").patches.empty())
      << "nine new random bytes: no patch is worth half of so small an object";

  EXPECT_EQ(published_labels(root.path()), (std::vector<std::string>{"1.0", "2.0", "3.0"}));
  EXPECT_EQ(read_file(root.path() / "releases" / "3.0.json"),
            read_file(root.path() / "app" / "manifest.json"));
}

TEST(PublishPatchesTest, TheNumberOfReleasesToPatchFromIsTheOperators) {
  TempFolder root;
  const std::string pack = random_bytes(1u << 20, 4);
  publish_files(root.path(), "1.0", {{"res/pack.bin", pack}});
  publish_files(root.path(), "2.0", {{"res/pack.bin", edit(pack, 10, 'a')}});
  const ReleaseManifest one =
      publish_files(root.path(), "3.0", {{"res/pack.bin", edit(pack, 20, 'b')}}, 1);
  EXPECT_EQ(entry(one, "res/pack.bin").patches.size(), 1u);
  const ReleaseManifest none =
      publish_files(root.path(), "4.0", {{"res/pack.bin", edit(pack, 30, 'c')}}, 0);
  EXPECT_TRUE(entry(none, "res/pack.bin").patches.empty());
  // Published again, a label moves to the end of the history.
  publish_files(root.path(), "2.0", {{"res/pack.bin", edit(pack, 10, 'a')}});
  EXPECT_EQ(published_labels(root.path()), (std::vector<std::string>{"1.0", "3.0", "4.0", "2.0"}));
}

}  // namespace
}  // namespace nelo::publish
