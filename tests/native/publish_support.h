// What the publisher's tests share: release folders made from maps of contents, and the
// check that a server tree holds exactly a release.
#pragma once

#include <brotli/decode.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "nelo_publish/pack_writer.h"
#include "nelo_publish/publish.h"
#include "release/manifest.h"
#include "release/sha256.h"
#include "tests/expect_ok.h"
#include "tests/random_bytes.h"
#include "tests/temp_folder.h"

namespace nelo::testing_support {

namespace fs = std::filesystem;
using publish::PublishOptions;

// Everything below `root`: each file's content, a marker for anything else.
inline std::map<std::string, std::string> snapshot(const fs::path& root) {
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
inline std::string compressible_text(size_t length, unsigned seed) {
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

// The uncompressed content of an object, or a note that it is not a stream of that size.
inline std::string decode(const std::string& object, std::uint64_t size) {
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

inline ReleaseManifest read_manifest(const fs::path& root) {
  Result<ReleaseManifest> parsed = parse_release_manifest(read_file(root / "app/manifest.json"));
  EXPECT_OK(parsed);
  return parsed.ok() ? *parsed : ReleaseManifest{};
}

inline const std::string kSharedContent = compressible_text(5000, 7);

// The release most tests start from: nested folders, one content twice, an empty file and
// names outside ASCII.
inline const std::map<std::string, std::string> kRelease = {
    {"Nelo.exe", compressible_text(40000, 1)},
    {"B.txt", "capital letters sort first\n"},
    {"a.txt", "small letters after\n"},
    {"a\xC3\xA7\xC3\xB5\x65s/\xC3\xA7.txt", "ol\xC3\xA1\n"},  // "ações/ç.txt"
    {"copy.bin", kSharedContent},
    {"empty.txt", ""},
    {"resources/deep/nested/data.bin", kSharedContent},
    {"resources/nelo-media.exe", random_bytes(3000, 2)},
};

inline void make_release(const fs::path& folder, const std::map<std::string, std::string>& files) {
  for (const auto& [path, content] : files) {
    write_file(folder / path, content);
  }
}

inline PublishOptions options_for(const fs::path& from, const fs::path& to,
                                  std::string version = "1.0.0") {
  PublishOptions options;
  options.version = std::move(version);
  options.from = from;
  options.to = to;
  return options;
}

// Checks that the tree below `root` holds exactly `files` as release `version`.
void expect_published(const fs::path& root, const std::string& version,
                      const std::map<std::string, std::string>& files);

}  // namespace nelo::testing_support
