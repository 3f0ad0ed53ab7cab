#include "release/patch_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "release/sha256.h"
#include "nelo_publish/patch_maker.h"
#include "tests/temp_folder.h"
#include "tests/random_bytes.h"

namespace nelo {
namespace {

using testing_support::read_file;
using testing_support::TempFolder;
using testing_support::write_file;

using testing_support::random_bytes;

// The old content with a few bytes changed in the middle and some appended.
std::string edited(std::string content) {
  content.replace(content.size() / 2, 100, std::string(100, 'E'));
  return content + "appended";
}

ManifestFile listed(const std::string& content) {
  return {"res/pack.bin", sha256_hex(content), content.size(), 0};
}

// Decodes `patch` on `old` in chunks of `chunk` bytes; the content or the message.
std::string apply(const ManifestFile& file, const std::string& old, std::string_view patch,
                  std::size_t chunk = 4096) {
  std::string out(file.size, '\0');
  PatchStream stream(file, old, out);
  for (std::size_t at = 0; at < patch.size(); at += chunk) {
    const auto taken = stream.take(patch.substr(at, chunk));
    if (!taken) {
      return "failed: " + taken.message();
    }
    if (*taken == Receive::kEnough) {
      break;
    }
  }
  const Status finished = stream.finish();
  return finished ? out : "failed: " + finished.message();
}

TEST(PatchStreamTest, OurPatchesApplyWithTheZstdCommandAndTheCommandsHere) {
  if (std::system("zstd --version > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "the zstd command is not installed";
  }
  TempFolder folder;
  const std::string old = random_bytes(3u << 20, 1);
  const std::string current = edited(old);
  write_file(folder.path() / "old", old);
  write_file(folder.path() / "new", current);

  // Ours, applied by the command.
  const auto ours = publish::make_patch(old, current, current.size() / 2);
  ASSERT_TRUE(ours);
  EXPECT_LT(ours->size(), 4096u) << "a hundred bytes changed cost about that much";
  write_file(folder.path() / "ours.zst", *ours);
  const std::string quiet = " > /dev/null 2>&1";
  const std::string in = folder.path().string() + "/";
  ASSERT_EQ(std::system(("zstd -q -d --long=31 --patch-from=" + in + "old " + in + "ours.zst -o " +
                         in + "by-command" + quiet)
                            .c_str()),
            0);
  EXPECT_EQ(read_file(folder.path() / "by-command"), current);

  // The command's, applied here.
  ASSERT_EQ(std::system(("zstd -q -19 --long=31 --patch-from=" + in + "old " + in + "new -o " + in +
                         "theirs.zst" + quiet)
                            .c_str()),
            0);
  EXPECT_EQ(apply(listed(current), old, read_file(folder.path() / "theirs.zst")), current);
}

TEST(PatchStreamTest, EveryChunkingGivesTheContentAndAWrongPatchItsMessage) {
  const std::string old = random_bytes(300000, 2);
  const std::string current = edited(old);
  const auto patch = publish::make_patch(old, current, current.size());
  ASSERT_TRUE(patch);
  const ManifestFile file = listed(current);
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{100000}}) {
    EXPECT_EQ(apply(file, old, *patch, chunk), current) << chunk;
  }
  ManifestFile shorter = file;
  shorter.size -= 1;
  ManifestFile longer = file;
  longer.size += 1;
  ManifestFile other = file;
  other.sha256 = sha256_hex("other");
  std::string changed_old = old;
  changed_old[1000] ^= 1;
  struct Case {
    const char* name;
    ManifestFile file;
    std::string old;
    std::string patch;
    std::string expected;
  };
  const Case cases[] = {
      {"cut short", file, old, patch->substr(0, patch->size() - 10),
       "failed: res/pack.bin veio estragado"},
      {"not a patch", file, old, "not a zstd frame at all", "failed: res/pack.bin veio estragado"},
      {"listed shorter than it decodes", shorter, old, *patch,
       "failed: res/pack.bin veio estragado"},
      {"listed longer than it decodes", longer, old, *patch, "failed: res/pack.bin veio estragado"},
      {"another digest listed", other, old, *patch, "failed: res/pack.bin não confere com a lista"},
      {"the old file changed since", file, changed_old, *patch,
       "failed: res/pack.bin não confere com a lista"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(apply(c.file, c.old, c.patch), c.expected) << c.name;
  }
}

TEST(PatchMakerTest, APatchLargerThanAllowedIsNotMade) {
  const std::string old = random_bytes(100000, 3);
  const std::string unrelated = random_bytes(100000, 4);
  EXPECT_FALSE(publish::make_patch(old, unrelated, unrelated.size() / 2))
      << "new content that shares nothing does not compress to half";
  EXPECT_TRUE(publish::make_patch(old, edited(old), 50000));
}

}  // namespace
}  // namespace nelo
