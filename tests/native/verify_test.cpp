#include "nelo_publish/verify.h"

#include <gtest/gtest.h>

#include <random>

#include "nelo_publish/publish.h"
#include "nelo_publish/served_pair.h"
#include "tests/expect_ok.h"
#include "tests/native/signer.h"
#include "tests/native/publish_support.h"
#include "tests/temp_folder.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::Signer;
using testing_support::TempFolder;
using testing_support::write_file;

using testing_support::random_bytes;

// The tree as a server would serve it: the folder's files with the headers a test chooses, by
// the kind of path; a path that is missing is a 404 with the 404's headers.
class ServedTree final : public ReleaseSource {
 public:
  explicit ServedTree(const fs::path& root)
      : root_(root), folder_(open_release_source(root.string(), {}).value()) {}

  std::map<std::string, std::string> list_headers = {{"cache-control", "no-cache"}};
  std::map<std::string, std::string> object_headers = {
      {"cache-control", "public, max-age=31536000, immutable"},
      {"content-type", "application/octet-stream"}};
  std::map<std::string, std::string> missing_headers;
  int missing_status = 404;

  bool remote() const override { return true; }
  Result<SourceAnswer> get(const std::string& path, const BodySink& body) override {
    Result<SourceAnswer> answer = folder_->get(path, body);
    if (!answer) {
      return answer;
    }
    if (answer->status == 404) {
      answer->status = missing_status;
      answer->headers = missing_headers;
    } else {
      answer->headers = path.starts_with("app/manifest") ? list_headers : object_headers;
    }
    return answer;
  }
  Result<SourceAnswer> get_range(const std::string& path, std::uint64_t offset,
                                 std::uint64_t length, const BodySink& body) override {
    if (!ranges) {
      return get(path, body);  // a server that ignores the header
    }
    Result<SourceAnswer> answer = folder_->get_range(path, offset + range_shift, length, body);
    if (answer && answer->status == 206) {
      answer->headers = object_headers;
      answer->headers["content-range"] = "bytes " + std::to_string(offset + range_shift) + "-" +
                                         std::to_string(offset + range_shift + length - 1) + "/" +
                                         std::to_string(fs::file_size(root_ / path));
    }
    return answer;
  }

  bool ranges = true;
  std::uint64_t range_shift = 0;  // answers this much later a range than asked for

 private:
  fs::path root_;
  std::unique_ptr<ReleaseSource> folder_;
};

// Two releases of a program, a pack edited between them (so the second has a patch) and a
// text file; the second is served.
class VerifyTest : public testing::Test {
 public:
  void SetUp() override {
    std::string pack = random_bytes(50000, 1);
    publish_version("1.0", pack);
    pack[25000] ^= 0x5a;
    publish_version("2.0", pack);
  }

  void publish_version(const std::string& version, const std::string& pack) {
    TempFolder folder;
    write_file(folder.path() / "Nelo.exe", "program " + version);
    write_file(folder.path() / "pack.bin", pack);
    write_file(folder.path() / "notes.txt", "the same notes");
    PublishOptions options;
    options.version = version;
    options.from = folder.path();
    options.to = root();
    options.quality = 1;
    if (signer_) {
      options.signing_key = signer_->key;
      options.signing_time = 1000;
      options.expires_after = expires_after_;
    }
    ASSERT_OK(publish_release(options));
  }

  VerifyReport verify_folder(VerifyOptions options = {}) {
    auto source = open_release_source(root().string(), {});
    EXPECT_OK(source);
    return verify_deployment(**source, options);
  }

  ReleaseManifest served() const {
    return *parse_release_manifest(read_file(served_manifest_path(root())));
  }
  fs::path object(const ManifestFile& file) const { return root() / "app" / "files" / file.sha256; }
  const ManifestFile& entry(const std::string& path) {
    manifest_ = served();
    for (const ManifestFile& file : manifest_.files) {
      if (file.path == path) {
        return file;
      }
    }
    throw std::logic_error(path);
  }

  const fs::path& root() const { return tree_->path(); }
  void start_afresh() {
    tree_ = std::make_unique<TempFolder>();
    SetUp();
  }

  std::unique_ptr<TempFolder> tree_ = std::make_unique<TempFolder>();
  std::optional<Signer> signer_;
  std::optional<std::int64_t> expires_after_;
  ReleaseManifest manifest_;
};

TEST_F(VerifyTest, AnHonestTreeHasNoFaults) {
  const VerifyReport report = verify_folder();
  EXPECT_EQ(report.version, "2.0");
  EXPECT_EQ(report.objects, 3u);
  EXPECT_EQ(report.patches, 1u);
  EXPECT_EQ(report.packs, 1u);
  EXPECT_EQ(report.patches_by_size_only, 0u) << "the older content is served: applied";
  EXPECT_TRUE(report.faults.empty()) << report.faults.front();
  EXPECT_TRUE(report.warnings.empty());
  EXPECT_GT(report.bytes, 50000u);
}

TEST_F(VerifyTest, EachDamageIsOneFaultNamingItsPath) {
  const struct {
    const char* name;
    std::function<std::string(VerifyTest&)> damage;  // gives the fault expected
  } cases[] = {
      {"an object missing",
       [](VerifyTest& t) {
         fs::remove(t.object(t.entry("notes.txt")));
         return "falta app/files/" + t.entry("notes.txt").sha256 + " (notes.txt)";
       }},
      {"an object with a byte changed",
       [](VerifyTest& t) {
         std::string bytes = read_file(t.object(t.entry("Nelo.exe")));
         bytes[bytes.size() / 2] ^= 1;
         write_file(t.object(t.entry("Nelo.exe")), bytes);
         return "app/files/" + t.entry("Nelo.exe").sha256 + ": Nelo.exe ";
       }},
      {"an object cut short",
       [](VerifyTest& t) {
         const ManifestFile& pack = t.entry("pack.bin");
         std::string bytes = read_file(t.object(pack));
         write_file(t.object(pack), bytes.substr(0, bytes.size() - 10));
         return "app/files/" + pack.sha256 + ": " + std::to_string(pack.zsize - 10) +
                " bytes, a lista diz " + std::to_string(pack.zsize);
       }},
      {"a patch that does not make the content",
       [](VerifyTest& t) {
         const ManifestFile& pack = t.entry("pack.bin");
         const fs::path patch =
             t.root() / "app" / "patches" / (pack.patches.at(0).from + "-" + pack.sha256);
         std::string bytes = read_file(patch);
         bytes[bytes.size() / 2] ^= 0x40;
         write_file(patch, bytes);
         return "app/patches/" + pack.patches.at(0).from + "-" + pack.sha256 + ": pack.bin ";
       }},
  };
  for (const auto& c : cases) {
    start_afresh();
    const std::string expected = c.damage(*this);
    const VerifyReport report = verify_folder();
    ASSERT_EQ(report.faults.size(), 1u) << c.name;
    EXPECT_TRUE(report.faults[0].starts_with(expected)) << c.name << ": " << report.faults[0];
  }
}

// The served release has one pack: all its objects are small.
TEST_F(VerifyTest, APacksDamageNamesTheMembersItBreaks) {
  const auto pack_path = [](VerifyTest& t) {
    return t.root() / "app" / "packs" / t.served().packs.at(0).name;
  };
  const auto member_offset = [](VerifyTest& t, const std::string& path) {
    const std::string sha256 = t.entry(path).sha256;
    const ReleaseManifest manifest = t.served();
    for (const PackMember& member : manifest.packs.at(0).members) {
      if (member.sha256 == sha256) {
        return member.offset;
      }
    }
    throw std::logic_error(path);
  };
  const struct {
    const char* name;
    std::function<std::vector<std::string>(VerifyTest&)> damage;  // the faults' beginnings
  } cases[] = {
      {"a pack missing",
       [&](VerifyTest& t) {
         fs::remove(pack_path(t));
         return std::vector<std::string>{"falta app/packs/" + t.served().packs.at(0).name};
       }},
      {"a member with a byte changed",
       [&](VerifyTest& t) {
         std::string bytes = read_file(pack_path(t));
         bytes[member_offset(t, "notes.txt") + 2] ^= 0x20;
         write_file(pack_path(t), bytes);
         const std::string path = "app/packs/" + t.served().packs.at(0).name;
         return std::vector<std::string>{
             path + ": o conteúdo não confere com o nome do pacote",
             path + ": notes.txt (" + t.entry("notes.txt").sha256 + "): notes.txt "};
       }},
      {"a pack cut short",
       [&](VerifyTest& t) {
         std::string bytes = read_file(pack_path(t));
         write_file(pack_path(t), bytes.substr(0, member_offset(t, "pack.bin") + 10));
         const std::string path = "app/packs/" + t.served().packs.at(0).name;
         return std::vector<std::string>{
             path + ": " + std::to_string(member_offset(t, "pack.bin") + 10) +
                 " bytes, a lista diz " + std::to_string(t.served().packs.at(0).size),
             path + ": pack.bin: o pacote acaba antes deste membro"};
       }},
  };
  for (const auto& c : cases) {
    start_afresh();
    ASSERT_EQ(served().packs.size(), 1u);
    ASSERT_EQ(served().packs[0].members.size(), 3u);
    const std::vector<std::string> expected = c.damage(*this);
    const VerifyReport report = verify_folder();
    ASSERT_EQ(report.faults.size(), expected.size()) << c.name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_TRUE(report.faults[i].starts_with(expected[i])) << c.name << ": " << report.faults[i];
    }
  }
}

TEST_F(VerifyTest, APatchWhoseOlderContentIsGoneIsCheckedByItsSize) {
  fs::remove(root() / "app" / "files" / entry("pack.bin").patches.at(0).from);
  const VerifyReport report = verify_folder();
  EXPECT_TRUE(report.faults.empty());
  EXPECT_EQ(report.patches_by_size_only, 1u);
}

TEST_F(VerifyTest, TheSignatureIsHeldAsTheLauncherHoldsIt) {
  tree_ = std::make_unique<TempFolder>();
  signer_.emplace();
  expires_after_ = 3600;
  publish_version("3.0", "pack");
  VerifyOptions options;
  options.keys = {signer_->release_key};
  options.now = 1000 + 3600;
  VerifyReport report = verify_folder(options);
  EXPECT_TRUE(report.faults.empty());
  ASSERT_TRUE(report.signature);
  EXPECT_EQ(report.signature->expires_at, 1000 + 3600);

  options.now = 1000 + 3600 + 11 * 60;  // beyond the ten minutes of skew
  report = verify_folder(options);
  ASSERT_EQ(report.faults.size(), 1u);
  EXPECT_EQ(report.faults[0], "a assinatura venceu: os lançadores recusam a lista (lista vencida)");

  options.keys = {};
  report = verify_folder(options);
  EXPECT_TRUE(report.faults.empty());
  ASSERT_EQ(report.warnings.size(), 1u);
  EXPECT_EQ(report.warnings[0],
            "a lista é servida com assinatura (app/manifest.json.minisig), que não foi "
            "conferida: passe --key para conferi-la");

  options.keys = {Signer().release_key};
  report = verify_folder(options);
  ASSERT_EQ(report.faults.size(), 1u);
  EXPECT_TRUE(report.faults[0].starts_with("a assinatura não confere: ")) << report.faults[0];

  fs::remove(served_signature_path(root()));
  report = verify_folder(options);
  ASSERT_EQ(report.faults.size(), 1u);
  EXPECT_EQ(report.faults[0], "falta app/manifest.json.minisig (lista sem assinatura)");
}

// Launchers resume and fetch large objects by ranges: verify asks for one on every object
// over 1 MiB, and a server that ignores it, or answers another range, is at fault.
TEST_F(VerifyTest, LargeObjectsAreAskedForByARangeToo) {
  tree_ = std::make_unique<TempFolder>();
  TempFolder folder;
  write_file(folder.path() / "Nelo.exe", "program");
  write_file(folder.path() / "large.bin", random_bytes(1'500'000, 5));
  PublishOptions options;
  options.version = "1.0";
  options.from = folder.path();
  options.to = root();
  options.quality = 1;
  ASSERT_OK(publish_release(options));
  const std::string large = "app/files/" + entry("large.bin").sha256;
  const struct {
    const char* name;
    bool ranges;
    std::uint64_t shift;
    std::string fault;  // empty: none
  } cases[] = {
      {"ranges served", true, 0, ""},
      {"ranges ignored", false, 0, large + ": o pedido de bytes=750"},
      {"another range", true, 1, large + ": o pedido de bytes=750"},
  };
  for (const auto& c : cases) {
    ServedTree served(root());
    served.ranges = c.ranges;
    served.range_shift = c.shift;
    const VerifyReport report = verify_deployment(served, {});
    if (c.fault.empty()) {
      EXPECT_TRUE(report.faults.empty()) << c.name << ": " << report.faults.front();
    } else {
      ASSERT_EQ(report.faults.size(), 1u) << c.name;
      EXPECT_TRUE(report.faults[0].starts_with(c.fault)) << c.name << ": " << report.faults[0];
    }
  }
  // A local ROOT answers ranges as a server does.
  EXPECT_TRUE(verify_folder().faults.empty());
}

TEST_F(VerifyTest, AMissingOrRefusedManifestIsTheOneFault) {
  write_file(served_manifest_path(root()), "{}");
  VerifyReport report = verify_folder();
  ASSERT_EQ(report.faults.size(), 1u);
  EXPECT_EQ(report.faults[0], "o lançador recusa o manifesto: lista sem versão");
  fs::remove(served_manifest_path(root()));
  report = verify_folder();
  ASSERT_EQ(report.faults.size(), 1u);
  EXPECT_EQ(report.faults[0], "falta app/manifest.json");
}

TEST_F(VerifyTest, TheServersDeparturesFromTheGuide) {
  const struct {
    const char* name;
    std::function<void(ServedTree&)> serve;
    std::size_t faults;
    std::string warning;  // the start of the one warning; empty: none
  } cases[] = {
      {"as the guide asks", [](ServedTree&) {}, 0, ""},
      {"a cached manifest",
       [](ServedTree& s) {
         s.list_headers = {{"cache-control", "max-age=3600"}};
       },
       0, "app/manifest.json pode ficar em cache: Cache-Control \"max-age=3600\""},
      {"objects for an hour",
       [](ServedTree& s) { s.object_headers["cache-control"] = "max-age=3600"; }, 0,
       "objetos sem Cache-Control imutável: \"max-age=3600\" (5 vezes"},
      {"objects as text", [](ServedTree& s) { s.object_headers["content-type"] = "text/plain"; }, 0,
       "objetos servidos como \"text/plain\", não application/octet-stream (5 vezes"},
      {"a missing object answered by a page", [](ServedTree& s) { s.missing_status = 200; }, 0,
       "um objeto que falta responde 200, não 404"},
      {"an immutable 404",
       [](ServedTree& s) {
         s.missing_headers = {{"cache-control", "immutable"}};
       },
       0, "um 404 leva Cache-Control imutável"},
      {"gzip applied to everything",
       [](ServedTree& s) {
         s.object_headers["content-encoding"] = "gzip";
         s.list_headers["content-encoding"] = "gzip";
       },
       6, ""},
  };
  for (const auto& c : cases) {
    ServedTree tree(root());
    c.serve(tree);
    const VerifyReport report = verify_deployment(tree, {});
    EXPECT_EQ(report.faults.size(), c.faults) << c.name;
    if (c.warning.empty()) {
      EXPECT_TRUE(report.warnings.empty()) << c.name << ": " << report.warnings.front();
    } else {
      ASSERT_EQ(report.warnings.size(), 1u) << c.name;
      EXPECT_TRUE(report.warnings[0].starts_with(c.warning)) << report.warnings[0];
    }
  }
}

}  // namespace
}  // namespace nelo::publish
