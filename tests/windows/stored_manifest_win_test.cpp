#include "install/version_store_win.h"

#include <gtest/gtest.h>

#include "base/utf8_path.h"
#include "release/sha256.h"
#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using testing_support::TempFolder;
using testing_support::write_file;

// A version folder with its files and its stored manifest, made by hand.
class StoredManifestTest : public testing::Test {
 protected:
  std::filesystem::path root() const { return temp_.path(); }
  std::filesystem::path version_dir(std::string_view label) const {
    return root() / L"versions" / path_from_utf8(label);
  }

  void install(const std::string& label,
               const std::vector<std::pair<std::string, std::string>>& files,
               bool make_current = true) {
    std::string document = "{\"version\": \"" + label + "\", \"files\": [";
    for (size_t i = 0; i < files.size(); ++i) {
      const auto& [path, content] = files[i];
      write_file(version_dir(label) / std::filesystem::path(path), content);
      std::string escaped_path;
      for (char c : path) {
        escaped_path += c == '\\' ? std::string("\\\\") : std::string(1, c);
      }
      document += (i ? ", " : "") + std::string("{\"path\": \"") + escaped_path +
                  "\", \"sha256\": \"" + sha256_hex(content) +
                  "\", \"size\": " + std::to_string(content.size()) + "}";
    }
    document += "]}";
    write_file(version_dir(label) / L".manifest.json", document);
    if (make_current) {
      write_file(root() / L"current", label);
    }
  }

  TempFolder temp_;
  WindowsVersionStore store_{temp_.path()};
};

TEST_F(StoredManifestTest, LoadsTheCopyOfAVersion) {
  install("1.0", {{"Nelo.exe", "MZ program"}, {"res/a.dll", "library"}});
  const auto manifest = store_.load_stored_manifest(std::string("1.0"));
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->version, "1.0");
  ASSERT_EQ(manifest->files.size(), 2u);
  EXPECT_EQ(manifest->files[1].path, "res/a.dll");
  EXPECT_EQ(manifest->files[1].size, 7u);
}

TEST_F(StoredManifestTest, AnythingWrongReadsAsNoManifest) {
  EXPECT_FALSE(store_.load_stored_manifest(std::nullopt));
  EXPECT_FALSE(store_.load_stored_manifest(std::string("9.9")));
  install("1.0", {{"Nelo.exe", "MZ"}});
  write_file(version_dir("1.0") / L".manifest.json", "{\"version\": \"1.0\", \"files\": []}");
  EXPECT_FALSE(store_.load_stored_manifest(std::string("1.0")));
  write_file(version_dir("1.0") / L".manifest.json", "not json");
  EXPECT_FALSE(store_.load_stored_manifest(std::string("1.0")));
}

TEST_F(StoredManifestTest, AnIntactVersionIsInstalled) {
  install("1.0", {{"Nelo.exe", "MZ program"}, {"res\\deep/a.dll", "library"}});
  EXPECT_EQ(store_.find_installed_version(), "1.0");
}

TEST_F(StoredManifestTest, OneByteMoreOrLessMakesItNotInstalled) {
  install("1.0", {{"Nelo.exe", "MZ program"}, {"res/a.dll", "library"}});
  write_file(version_dir("1.0") / L"res" / L"a.dll", "library!");
  EXPECT_EQ(store_.find_installed_version(), std::nullopt);
  write_file(version_dir("1.0") / L"res" / L"a.dll", "librar");
  EXPECT_EQ(store_.find_installed_version(), std::nullopt);
  write_file(version_dir("1.0") / L"res" / L"a.dll", "LIBRARY");  // contents are not examined
  EXPECT_EQ(store_.find_installed_version(), "1.0");
}

TEST_F(StoredManifestTest, AMissingFileOrManifestMakesItNotInstalled) {
  install("1.0", {{"Nelo.exe", "MZ program"}, {"res/a.dll", "library"}});
  std::filesystem::remove(version_dir("1.0") / L"res" / L"a.dll");
  EXPECT_EQ(store_.find_installed_version(), std::nullopt);
  std::filesystem::create_directories(version_dir("1.0") / L"res" / L"a.dll");
  EXPECT_EQ(store_.find_installed_version(), std::nullopt) << "a folder is no file";

  install("2.0", {{"Nelo.exe", "MZ program"}});
  EXPECT_EQ(store_.find_installed_version(), "2.0");
  std::filesystem::remove(version_dir("2.0") / L".manifest.json");
  EXPECT_EQ(store_.find_installed_version(), std::nullopt);
}

TEST_F(StoredManifestTest, WithoutAPointerNothingIsInstalled) {
  install("1.0", {{"Nelo.exe", "MZ"}}, /*make_current=*/false);
  EXPECT_EQ(store_.find_installed_version(), std::nullopt);
}

TEST(Sha256Test, MatchesTheStandardVectors) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256_hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace nelo
