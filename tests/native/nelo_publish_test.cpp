#include "nelo_publish/publish.h"

#include "nelo_publish/command.h"
#include "nelo_publish/text_paths.h"

#include <brotli/decode.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "release/manifest.h"
#include "release/sha256.h"
#include "tests/expect_ok.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::random_device device;
    path_ = fs::temp_directory_path() /
            ("nelo-publish-test-" + std::to_string(device()) + std::to_string(device()));
    fs::create_directories(path_);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Everything below `root`: each file's content, a marker for anything else.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) {
    return tree;
  }
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = entry.path().lexically_relative(root).generic_string();
    const fs::file_status status = entry.symlink_status();
    tree[relative] = fs::is_regular_file(status) ? read_file(entry.path())
                     : fs::is_directory(status)  ? std::string("<folder>")
                                                 : std::string("<other>");
  }
  return tree;
}

// Text that compresses well but not trivially.
std::string compressible_text(size_t length, unsigned seed) {
  static const std::vector<std::string> kWords = {"nelo ",     "launcher ", "update ", "release ",
                                                  "manifest ", "object ",   "brotli ", "window "};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < length) {
    text += kWords[random() % kWords.size()];
  }
  text.resize(length);
  return text;
}

std::string random_bytes(size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(random());
  }
  return bytes;
}

// The uncompressed content of an object, or a note that it is not a stream of that size.
std::string decode(const std::string& object, std::uint64_t size) {
  std::string decoded(static_cast<size_t>(size) + 1, '\0');
  size_t decoded_size = static_cast<size_t>(size);
  const BrotliDecoderResult result =
      BrotliDecoderDecompress(object.size(), reinterpret_cast<const std::uint8_t*>(object.data()),
                              &decoded_size, reinterpret_cast<std::uint8_t*>(decoded.data()));
  if (result != BROTLI_DECODER_RESULT_SUCCESS) {
    return "<not a Brotli stream of at most " + std::to_string(size) + " bytes>";
  }
  decoded.resize(decoded_size);
  return decoded;
}

ReleaseManifest read_manifest(const fs::path& root) {
  Result<ReleaseManifest> parsed = parse_release_manifest(read_file(root / "app/manifest.json"));
  EXPECT_OK(parsed);
  return parsed.ok() ? *parsed : ReleaseManifest{};
}

const std::string kSharedContent = compressible_text(5000, 7);

// The release most tests start from: nested folders, one content twice, an empty file and
// names outside ASCII.
const std::map<std::string, std::string> kRelease = {
    {"Nelo.exe", compressible_text(40000, 1)},
    {"B.txt", "capital letters sort first\n"},
    {"a.txt", "small letters after\n"},
    {"a\xC3\xA7\xC3\xB5\x65s/\xC3\xA7.txt", "ol\xC3\xA1\n"},  // "ações/ç.txt"
    {"copy.bin", kSharedContent},
    {"empty.txt", ""},
    {"resources/deep/nested/data.bin", kSharedContent},
    {"resources/nelo-media.exe", random_bytes(3000, 2)},
};

void make_release(const fs::path& folder, const std::map<std::string, std::string>& files) {
  for (const auto& [path, content] : files) {
    write_file(folder / path, content);
  }
}

PublishOptions options_for(const fs::path& from, const fs::path& to,
                           std::string version = "1.0.0") {
  PublishOptions options;
  options.version = std::move(version);
  options.from = from;
  options.to = to;
  return options;
}

// Checks that the tree below `root` holds exactly `files` as release `version`.
void expect_published(const fs::path& root, const std::string& version,
                      const std::map<std::string, std::string>& files) {
  const std::string document = read_file(root / "app/manifest.json");
  EXPECT_TRUE(nlohmann::json::accept(document));
  const ReleaseManifest manifest = read_manifest(root);
  EXPECT_EQ(manifest.version, version);

  std::vector<std::string> paths;
  std::set<std::string> digests;
  for (const ManifestFile& file : manifest.files) {
    paths.push_back(file.path);
    digests.insert(file.sha256);
    ASSERT_TRUE(files.contains(file.path)) << file.path;
    const std::string& content = files.at(file.path);
    EXPECT_EQ(file.sha256, sha256_hex(content)) << file.path;
    EXPECT_EQ(file.size, content.size()) << file.path;
    const fs::path object_path = root / "app/files" / file.sha256;
    ASSERT_TRUE(fs::is_regular_file(object_path)) << file.path;
    EXPECT_EQ(file.zsize, fs::file_size(object_path)) << file.path;
    const std::string object = read_file(object_path);
    // 0x11 opens every stream of the large-window extension.
    ASSERT_FALSE(object.empty());
    EXPECT_NE(static_cast<unsigned char>(object[0]), 0x11) << file.path;
    EXPECT_EQ(decode(object, file.size), content) << file.path;
  }
  // Every file once, sorted byte-wise (std::map orders std::string keys that way).
  std::vector<std::string> expected_paths;
  for (const auto& [path, content] : files) {
    expected_paths.push_back(path);
  }
  EXPECT_EQ(paths, expected_paths);

  // Nothing else: no temporary file left behind, no object that no entry names.
  std::set<std::string> objects;
  for (const fs::directory_entry& entry : fs::directory_iterator(root / "app/files")) {
    objects.insert(entry.path().filename().string());
  }
  EXPECT_EQ(objects, digests);
  std::set<std::string> app;
  for (const fs::directory_entry& entry : fs::directory_iterator(root / "app")) {
    app.insert(entry.path().filename().string());
  }
  EXPECT_EQ(app, (std::set<std::string>{"files", "manifest.json"}));
}

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

struct ArgumentsCase {
  std::vector<std::string> arguments;
  bool ok;
  bool help = false;
  std::string version = {};
  std::string from = {};
  std::string to = {};
  int quality = kDefaultQuality;
};

void PrintTo(const ArgumentsCase& c, std::ostream* out) {
  *out << testing::PrintToString(c.arguments);
}

class PublishArgumentsTest : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(PublishArgumentsTest, ReadsTheCommandLine) {
  const ArgumentsCase& c = GetParam();
  const Result<PublishCommand> command = parse_publish_arguments(c.arguments);
  ASSERT_EQ(command.ok(), c.ok) << (command.ok() ? "" : command.message());
  if (!c.ok) {
    return;
  }
  EXPECT_EQ(command->help, c.help);
  if (!c.help) {
    EXPECT_EQ(command->options.version, c.version);
    EXPECT_EQ(command->options.from, fs::path(c.from));
    EXPECT_EQ(command->options.to, fs::path(c.to));
    EXPECT_EQ(command->options.quality, c.quality);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, PublishArgumentsTest,
    testing::Values(
        ArgumentsCase{
            {"--version", "1.2", "--from", "r", "--to", "s"}, true, false, "1.2", "r", "s"},
        ArgumentsCase{
            {"--to", "s", "--from", "r", "--version", "1.2"}, true, false, "1.2", "r", "s"},
        ArgumentsCase{{"--version=1.2", "--from=r", "--to=s", "--quality=0"},
                      true,
                      false,
                      "1.2",
                      "r",
                      "s",
                      0},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "5"},
                      true,
                      false,
                      "1",
                      "r",
                      "s",
                      5},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "11"},
                      true,
                      false,
                      "1",
                      "r",
                      "s",
                      11},
        ArgumentsCase{
            {"--version", "1", "--from", "a b/ç", "--to", "s"}, true, false, "1", "a b/ç", "s"},
        ArgumentsCase{{"--help"}, true, true}, ArgumentsCase{{"-h"}, true, true},
        ArgumentsCase{{"--version", "1", "--bogus", "--help"}, true, true},
        ArgumentsCase{{}, false}, ArgumentsCase{{"--version", "1", "--from", "r"}, false},
        ArgumentsCase{{"--version", "1", "--to", "s"}, false},
        ArgumentsCase{{"--from", "r", "--to", "s"}, false},
        ArgumentsCase{{"--version", "--from", "r", "--to", "s"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to"}, false},
        ArgumentsCase{{"--version=", "--from", "r", "--to", "s"}, false},
        ArgumentsCase{{"--version", "1", "--version", "2", "--from", "r", "--to", "s"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "extra"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--level", "3"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "12"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "-1"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "x"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "011"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality=5x"}, false}));

struct CommandRun {
  int code = -1;
  std::string out;
  std::string err;
};

CommandRun run_command(const std::vector<std::string>& arguments, bool terminal) {
  CommandRun run;
  run.code = run_publish_command(
      arguments, terminal, [&run](std::string_view text) { run.out += text; },
      [&run](std::string_view text) { run.err += text; });
  return run;
}

TEST(PublishCommandTest, HelpPrintsUsageAndSucceeds) {
  const CommandRun run = run_command({"--help"}, false);
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("--version"), std::string::npos);
  EXPECT_NE(run.out.find("--quality"), std::string::npos);
  EXPECT_EQ(run.err, "");
}

TEST(PublishCommandTest, BadUsageExitsWithTwo) {
  TempFolder temp;
  const CommandRun run = run_command({"--version", "1", "--from", temp.path().string(), "--to",
                                      (temp.path() / "s").string(), "--quality", "99"},
                                     false);
  EXPECT_EQ(run.code, 2);
  EXPECT_NE(run.err.find("--quality"), std::string::npos);
  EXPECT_FALSE(fs::exists(temp.path() / "s"));
}

TEST(PublishCommandTest, RefusalExitsWithOneAndSaysWhy) {
  TempFolder temp;
  make_release(temp.path() / "release", {{"readme.txt", "no program"}});
  const CommandRun run =
      run_command({"--version", "1", "--from", (temp.path() / "release").string(), "--to",
                   (temp.path() / "root").string()},
                  true);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("Nelo.exe"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(temp.path() / "root"));
}

TEST(PublishCommandTest, PublishesAndSaysWhat) {
  TempFolder temp;
  make_release(temp.path() / "release", kRelease);
  const CommandRun run =
      run_command({"--version", "2.0", "--from", (temp.path() / "release").string(), "--to",
                   (temp.path() / "root").string(), "--quality", "1"},
                  false);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("2.0"), std::string::npos);
  expect_published(temp.path() / "root", "2.0", kRelease);
}

// Progress shows on a terminal, for a large release only.
struct ProgressCase {
  std::string name;
  size_t release_bytes;
  bool terminal;
  bool shown;
};

void PrintTo(const ProgressCase& c, std::ostream* out) {
  *out << c.name;
}

class PublishProgressTest : public testing::TestWithParam<ProgressCase> {};

TEST_P(PublishProgressTest, ShowsProgressOnlyWhenItHelps) {
  TempFolder temp;
  const fs::path release = temp.path() / "release";
  // Incompressible halves at quality 0: quick to publish.
  make_release(release, {{"Nelo.exe", random_bytes(GetParam().release_bytes / 2, 4)},
                         {"data/big.bin", random_bytes(GetParam().release_bytes / 2, 5)}});
  const CommandRun run = run_command({"--version", "1", "--from", release.string(), "--to",
                                      (temp.path() / "root").string(), "--quality", "0"},
                                     GetParam().terminal);
  ASSERT_EQ(run.code, 0) << run.err;
  if (GetParam().shown) {
    EXPECT_NE(run.err.find("lendo 2/2 arquivos"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("comprimindo 2/2 objetos"), std::string::npos) << run.err;
    EXPECT_TRUE(run.err.ends_with("\n"));
  } else {
    EXPECT_EQ(run.err, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PublishProgressTest,
    testing::Values(ProgressCase{"LargeOnTerminal", kProgressThreshold + 1024 * 1024, true, true},
                    ProgressCase{"LargeNotOnTerminal", kProgressThreshold + 1024 * 1024, false,
                                 false},
                    ProgressCase{"SmallOnTerminal", kProgressThreshold - 1024 * 1024, true, false}),
    [](const testing::TestParamInfo<ProgressCase>& param) { return param.param.name; });

}  // namespace
}  // namespace nelo::publish
