#include "nelo_publish/publish.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <ostream>
#include "tests/native/publish_support.h"

namespace nelo::publish {
namespace {

using namespace nelo::testing_support;

TEST(PublishReleaseTest, WritesEachContentOnceAndTheManifest) {
  TempFolder temp;
  make_release(temp.path() / "release", kRelease);
  const Result<PublishReport> report =
      publish_release(options_for(temp.path() / "release", temp.path() / "root"));
  ASSERT_OK(report);
  EXPECT_EQ(report->files, kRelease.size());
  EXPECT_EQ(report->objects_written, kRelease.size() - 1);  // copy.bin and data.bin share one
  EXPECT_EQ(report->objects_kept, 0u);
  expect_published(temp.path() / "root", "1.0.0", kRelease);
}

TEST(PublishReleaseTest, NamesWindowsKeepsApartArePublishedSideBySide) {
  // Windows folds names by their upper case: the Kelvin sign stays itself, no "K"; so do the
  // long forms that have no single upper case of their own.
  std::map<std::string, std::string> files = {{"Nelo.exe", "program"},
                                              {"k.bin", "small k"},
                                              {"\xE2\x84\xAA.bin", "Kelvin sign"},
                                              {"stra\xC3\x9F"
                                               "e.txt",
                                               "sharp s"},
                                              {"strasse.txt", "double s"}};
  TempFolder temp;
  make_release(temp.path() / "release", files);
  ASSERT_OK(publish_release(options_for(temp.path() / "release", temp.path() / "root")));
  expect_published(temp.path() / "root", "1.0.0", files);
}

TEST(PublishReleaseTest, ListsThePathsInByteOrder) {
  TempFolder temp;
  make_release(temp.path() / "release", kRelease);
  ASSERT_TRUE(publish_release(options_for(temp.path() / "release", temp.path() / "root")).ok());
  std::vector<std::string> paths;
  for (const ManifestFile& file : read_manifest(temp.path() / "root").files) {
    paths.push_back(file.path);
  }
  EXPECT_EQ(paths,
            (std::vector<std::string>{
                "B.txt", "Nelo.exe", "a.txt", "a\xC3\xA7\xC3\xB5\x65s/\xC3\xA7.txt", "copy.bin",
                "empty.txt", "resources/deep/nested/data.bin", "resources/nelo-media.exe"}));
}

TEST(PublishReleaseTest, RepublishingAddsOnlyTheChangedContent) {
  TempFolder temp;
  const fs::path release = temp.path() / "release";
  const fs::path root = temp.path() / "root";
  make_release(release, kRelease);
  ASSERT_OK(publish_release(options_for(release, root, "1.0.0")));
  const std::map<std::string, std::string> before = snapshot(root / "app/files");

  // copy.bin changes; data.bin keeps the content the two shared.
  std::map<std::string, std::string> next = kRelease;
  next["copy.bin"] = compressible_text(6000, 99);
  write_file(release / "copy.bin", next["copy.bin"]);
  const Result<PublishReport> report = publish_release(options_for(release, root, "1.1.0"));
  ASSERT_OK(report);
  EXPECT_EQ(report->objects_written, 1u);
  EXPECT_EQ(report->objects_kept, kRelease.size() - 1);

  const std::map<std::string, std::string> after = snapshot(root / "app/files");
  for (const auto& [name, bytes] : before) {
    ASSERT_TRUE(after.contains(name)) << name;
    EXPECT_EQ(after.at(name), bytes) << name;
  }
  ASSERT_EQ(after.size(), before.size() + 1);
  EXPECT_TRUE(after.contains(sha256_hex(next["copy.bin"])));
  expect_published(root, "1.1.0", next);
}

TEST(PublishReleaseTest, KeepsAnExistingObjectAndGivesItsSize) {
  TempFolder temp;
  const fs::path release = temp.path() / "release";
  const fs::path root = temp.path() / "root";
  make_release(release, kRelease);
  // An object is trusted by its name: one already there is not compressed again.
  const std::string digest = sha256_hex(kRelease.at("Nelo.exe"));
  const std::string planted = "not written by this run";
  write_file(root / "app/files" / digest, planted);

  const Result<PublishReport> report = publish_release(options_for(release, root));
  ASSERT_OK(report);
  EXPECT_EQ(report->objects_kept, 1u);
  EXPECT_EQ(read_file(root / "app/files" / digest), planted);
  bool listed = false;
  for (const ManifestFile& file : read_manifest(root).files) {
    if (file.path == "Nelo.exe") {
      listed = true;
      EXPECT_EQ(file.zsize, planted.size());
    }
  }
  EXPECT_TRUE(listed);
}

TEST(PublishReleaseTest, QualityReachesTheEncoder) {
  TempFolder temp;
  const fs::path release = temp.path() / "release";
  const std::map<std::string, std::string> files = {{"Nelo.exe", compressible_text(200000, 3)}};
  make_release(release, files);
  std::map<int, std::uint64_t> zsizes;  // by quality; -1 for the default
  for (int quality : {-1, 0, 11}) {
    PublishOptions options = options_for(release, temp.path() / ("root" + std::to_string(quality)));
    if (quality >= 0) {
      options.quality = quality;
    }
    ASSERT_OK(publish_release(options)) << quality;
    expect_published(options.to, "1.0.0", files);
    zsizes[quality] = read_manifest(options.to).files.at(0).zsize;
  }
  EXPECT_LT(zsizes[11], zsizes[0]);
  EXPECT_EQ(zsizes[-1], zsizes[11]);
}

TEST(PublishReleaseTest, ReportsProgressUpToTheTotals) {
  TempFolder temp;
  const fs::path release = temp.path() / "release";
  make_release(release, kRelease);
  std::uint64_t release_bytes = 0;
  for (const auto& [path, content] : kRelease) {
    release_bytes += content.size();
  }
  std::vector<PublishProgress> calls;
  const Result<PublishReport> report =
      publish_release(options_for(release, temp.path() / "root"),
                      [&calls](const PublishProgress& state) { calls.push_back(state); });
  ASSERT_OK(report);

  std::map<PublishPhase, PublishProgress> last;
  for (const PublishProgress& state : calls) {
    if (last.contains(state.phase)) {
      EXPECT_GE(state.bytes_done, last[state.phase].bytes_done);
      EXPECT_GE(state.files_done, last[state.phase].files_done);
    }
    EXPECT_LE(state.bytes_done, state.bytes_total);
    last[state.phase] = state;
  }
  ASSERT_TRUE(last.contains(PublishPhase::kHashing));
  ASSERT_TRUE(last.contains(PublishPhase::kCompressing));
  EXPECT_EQ(last[PublishPhase::kHashing].files_done, kRelease.size());
  EXPECT_EQ(last[PublishPhase::kHashing].files_total, kRelease.size());
  EXPECT_EQ(last[PublishPhase::kHashing].bytes_done, release_bytes);
  EXPECT_EQ(last[PublishPhase::kCompressing].files_done, kRelease.size() - 1);
  EXPECT_EQ(last[PublishPhase::kCompressing].files_total, kRelease.size() - 1);
  EXPECT_EQ(last[PublishPhase::kCompressing].bytes_done, release_bytes - kSharedContent.size());
  EXPECT_EQ(last[PublishPhase::kCompressing].bytes_total, release_bytes - kSharedContent.size());
}

// ---------------------------------------------------------------------------------------------
// Refusals: nothing may be written, neither into a server tree that exists nor by creating one.

struct RefusalCase {
  std::string name;
  // Spoils the valid release in `release`, or the options.
  std::function<void(const fs::path& release, PublishOptions& options)> spoil;
  std::string message_part;  // words the message must hold
};

void PrintTo(const RefusalCase& refusal, std::ostream* out) {
  *out << refusal.name;
}

void add_file(const fs::path& release, const std::string& path) {
  write_file(release / path, "content of " + path);
}

class PublishRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(PublishRefusalTest, WritesNothing) {
  TempFolder temp;
  const fs::path release = temp.path() / "release";
  const fs::path root = temp.path() / "root";
  make_release(release, kRelease);
  PublishOptions earlier = options_for(release, root, "0.9");
  earlier.quality = 1;
  ASSERT_OK(publish_release(earlier));
  const std::map<std::string, std::string> before = snapshot(root);

  // Content no object holds yet: a write would show as a new object.
  write_file(release / "Nelo.exe", "a new build");
  PublishOptions options = options_for(release, root, "1.0");
  options.quality = 1;
  GetParam().spoil(release, options);
  const std::map<std::string, std::string> release_before = snapshot(release);
  const Result<PublishReport> refused = publish_release(options);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find(GetParam().message_part), std::string::npos)
      << refused.message();
  EXPECT_EQ(snapshot(root), before);
  EXPECT_EQ(snapshot(release), release_before);

  const fs::path new_root = temp.path() / "new-root";
  if (options.to == root) {
    options.to = new_root;
  }
  EXPECT_FALSE(publish_release(options).ok());
  EXPECT_FALSE(fs::exists(new_root));
}

std::vector<RefusalCase> refusal_cases() {
  std::vector<RefusalCase> cases = {
      {"NoLauncher", [](const fs::path& r, PublishOptions&) { fs::remove(r / "Nelo.exe"); },
       "Nelo.exe"},
      {"LauncherInLowerCase",
       [](const fs::path& r, PublishOptions&) { fs::rename(r / "Nelo.exe", r / "nelo.exe"); },
       "Nelo.exe"},
      {"LauncherOnlyBelowTheTop",
       [](const fs::path& r, PublishOptions&) {
         fs::rename(r / "Nelo.exe", r / "resources/Nelo.exe");
       },
       "Nelo.exe"},
      {"LauncherIsAFolder",
       [](const fs::path& r, PublishOptions&) {
         fs::remove(r / "Nelo.exe");
         add_file(r, "Nelo.exe/inside.txt");
       },
       "Nelo.exe"},
      {"MissingReleaseFolder", [](const fs::path& r, PublishOptions& o) { o.from = r / "missing"; },
       "pasta da versão"},
      {"ReleaseFolderIsAFile",
       [](const fs::path& r, PublishOptions& o) { o.from = r / "Nelo.exe"; }, "pasta da versão"},
      {"ServerTreeInsideTheRelease",
       [](const fs::path& r, PublishOptions& o) { o.to = r / "server"; }, "dentro da pasta"},
      {"ServerTreeIsTheRelease", [](const fs::path& r, PublishOptions& o) { o.to = r / "."; },
       "dentro da pasta"},
      {"ServerTreeIsAFile", [](const fs::path& r, PublishOptions& o) { o.to = r / "a.txt"; },
       "não é uma pasta"},
      {"QualityAboveEleven", [](const fs::path&, PublishOptions& o) { o.quality = 12; },
       "qualidade"},
      {"NegativeQuality", [](const fs::path&, PublishOptions& o) { o.quality = -1; }, "qualidade"},
      {"SymbolicLinkToAFile",
       [](const fs::path& r, PublishOptions&) { fs::create_symlink(r / "a.txt", r / "link.txt"); },
       "link simbólico"},
      {"SymbolicLinkToAFolder",
       [](const fs::path& r, PublishOptions&) {
         fs::create_directory_symlink(r / "resources", r / "more");
       },
       "link simbólico"},
      {"Fifo",
       [](const fs::path& r, PublishOptions&) { ASSERT_EQ(mkfifo((r / "pipe").c_str(), 0600), 0); },
       "arquivo comum"},
      {"NameNotUtf8", [](const fs::path& r, PublishOptions&) { add_file(r, "bad\xFF.bin"); },
       "Unicode"},
      {"SameNameInOtherCase", [](const fs::path& r, PublishOptions&) { add_file(r, "A.txt"); },
       "maiúsculas"},
      {"SameAccentedNameInOtherCase",
       [](const fs::path& r, PublishOptions&) {
         add_file(r, "A\xC3\x87\xC3\x95\x45S/\xC3\x87.txt");  // "AÇÕES/Ç.txt"
       },
       "maiúsculas"},
      {"SameCyrillicNameInOtherCase",
       [](const fs::path& r, PublishOptions&) {
         add_file(r, "\xD0\xB4\xD0\xB0.txt");  // "да.txt"
         add_file(r, "\xD0\x94\xD0\x90.txt");  // "ДА.txt"
       },
       "maiúsculas"},
      {"SameGreekNameWithFinalSigma",
       [](const fs::path& r, PublishOptions&) {
         add_file(r, "\xCE\xBB\xCE\xBF\xCE\xB3\xCE\xBF\xCF\x82");  // "λογος"
         add_file(r, "\xCE\x9B\xCE\x9F\xCE\x93\xCE\x9F\xCE\xA3");  // "ΛΟΓΟΣ"
       },
       "maiúsculas"},
      {"TheLongSAsAnS",
       [](const fs::path& r, PublishOptions&) {
         add_file(r, "Setup.dll");
         add_file(r,
                  "\xC5\xBF"
                  "etup.dll");  // "ſetup.dll": Windows takes ſ for S
       },
       "maiúsculas"},
      {"TheDotlessIAsAnI",
       [](const fs::path& r, PublishOptions&) {
         add_file(r, "I.txt");
         add_file(r, "\xC4\xB1.txt");  // "ı.txt"
       },
       "maiúsculas"},
      {"AShortName", [](const fs::path& r, PublishOptions&) { add_file(r, "lib/LONGFI~1.DLL"); },
       "8.3"},
      {"TheStoredManifestsName",
       [](const fs::path& r, PublishOptions&) { add_file(r, ".manifest.json"); }, "guarda para si"},
      {"TheStoredManifestsNameInOtherCase",
       [](const fs::path& r, PublishOptions&) { add_file(r, ".Manifest.JSON"); }, "guarda para si"},
      {"TheStoredManifestsNameAsAFolder",
       [](const fs::path& r, PublishOptions&) { add_file(r, ".manifest.json/x.txt"); },
       "guarda para si"},
      {"FileAndFolderInOtherCase",
       [](const fs::path& r, PublishOptions&) {
         add_file(r, "lib");
         add_file(r, "LIB/x.dll");
       },
       "pasta"},
  };
  for (const std::string label : {"", "1.0.", "..", ".", "nul", "Com1.2", "LPT9", "1/2", "1 2",
                                  "vers\xC3\xA3o", "1.0\\x", "a:b"}) {
    cases.push_back({"Label" + std::to_string(cases.size()),
                     [label](const fs::path&, PublishOptions& o) { o.version = label; }, "rótulo"});
  }
  for (const std::string path :
       {"a:b.txt", "CON", "con.txt", "lpt1.log", "aux/x.txt", "trailing.", "trailing ",
        "dir./x.txt", "back\\slash", "q?.txt", "star*", "pipe|x", "lt<x", "gt>x", "quote\"x",
        "control\x01", "tab\there"}) {
    cases.push_back({"Path" + std::to_string(cases.size()),
                     [path](const fs::path& r, PublishOptions&) { add_file(r, path); }, "Windows"});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, PublishRefusalTest, testing::ValuesIn(refusal_cases()),
                         [](const testing::TestParamInfo<RefusalCase>& param) {
                           return param.param.name;
                         });

TEST(PublishReleaseTest, RefusesAnUnreadableFileWithoutWriting) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root reads every file";
  }
  TempFolder temp;
  const fs::path release = temp.path() / "release";
  const fs::path root = temp.path() / "root";
  make_release(release, kRelease);
  fs::permissions(release / "resources/nelo-media.exe", fs::perms::none);
  EXPECT_FALSE(publish_release(options_for(release, root)).ok());
  EXPECT_FALSE(fs::exists(root));
}

// ---------------------------------------------------------------------------------------------
// The command line.

}  // namespace
}  // namespace nelo::publish
