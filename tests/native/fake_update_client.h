// An in-memory update server.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "install/manifest.h"
#include "install/sha256.h"
#include "net/update_client.h"
#include "tests/native/brotli_support.h"

namespace nelo::testing_support {

// Serves bodies by relative path in chunks of 64 KiB; anything else is a 404.
class FakeUpdateClient final : public UpdateClient {
 public:
  std::map<std::string, std::string> bodies;
  std::map<std::string, std::string> failures;  // path to message
  std::vector<std::string> requests;

  std::vector<std::uint64_t> expected_sizes;  // the hint of every request
  // Called as each request begins, before anything is served.
  std::function<void(const std::string& path)> on_request;

  Result<ByteBuffer> fetch_resource(std::string_view relative_path, const ChunkCallback& on_chunk,
                                    std::uint64_t expected_size, std::uint64_t most) override {
    const std::string path(relative_path);
    requests.push_back(path);
    expected_sizes.push_back(expected_size);
    if (on_request) {
      on_request(path);
    }
    if (const auto failure = failures.find(path); failure != failures.end()) {
      return fail(failure->second);
    }
    const auto body = bodies.find(path);
    if (body == bodies.end()) {
      return fail("o servidor respondeu 404");
    }
    if (most != 0 && body->second.size() > most) {
      return fail("resposta grande demais");
    }
    for (size_t done = 0; done < body->second.size(); done += 65536) {
      if (on_chunk) {
        on_chunk(std::min<size_t>(65536, body->second.size() - done));
      }
    }
    return ByteBuffer::copy_of(body->second);
  }
};

// The files of a release: path as the manifest writes it, content.
using ReleaseFiles = std::vector<std::pair<std::string, std::string>>;

// The manifest of a release of `files` with their digests and sizes, parsed from its document;
// `server` gets the Brotli object of every file.
inline ReleaseManifest publish_release(const std::string& version, const ReleaseFiles& files,
                                       FakeUpdateClient& server) {
  std::string document = "{\"version\": \"" + version + "\", \"files\": [";
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& [path, content] = files[i];
    const std::string body = brotli(content);
    server.bodies["app/files/" + sha256_hex(content)] = body;
    std::string escaped;
    for (char c : path) {
      escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    document += (i ? "," : "") + std::string("{\"path\": \"") + escaped + "\", \"sha256\": \"" +
                sha256_hex(content) + "\", \"size\": " + std::to_string(content.size()) +
                ", \"zsize\": " + std::to_string(body.size()) + "}";
  }
  auto manifest = parse_release_manifest(document + "]}");
  EXPECT_TRUE(manifest.ok()) << manifest.message();
  return manifest.ok() ? std::move(manifest).value() : ReleaseManifest{};
}

}  // namespace nelo::testing_support
