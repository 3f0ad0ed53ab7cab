// An in-memory update server.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "release/manifest.h"
#include "release/sha256.h"
#include "net/update_client.h"
#include "tests/native/brotli_support.h"

namespace nelo::testing_support {

// One request as the server saw it.
struct SeenRequest {
  std::string path;
  ByteRange range;
};

// Serves bodies by relative path, honouring single byte ranges, in chunks of 64 KiB (or as
// `chunking` cuts them); anything else is a 404. Safe to call from several threads.
class FakeUpdateClient final : public UpdateClient {
 public:
  std::map<std::string, std::string> bodies;
  std::map<std::string, std::string> failures;  // path to message, before any byte
  // Path to the bytes sent (counted from the object's start) after which the connection drops
  // with "a conexão caiu"; each entry goes once it has dropped a connection.
  std::map<std::string, std::uint64_t> drop_after;
  bool ignores_ranges = false;  // answers every request with the whole object
  // Path to how many bytes short of the range asked for its next ranged answer ends (a 206
  // that ends cleanly, early); each entry goes once used.
  std::map<std::string, std::uint64_t> short_ranges;
  // The sizes of the chunks a body of the given size is sent in (the last may be cut short);
  // 64 KiB chunks when empty.
  std::function<std::vector<std::size_t>(std::size_t body_size)> chunking;
  // Called as each request begins, before anything is served (on the fetching thread).
  std::function<void(const std::string& path)> on_request;

  std::vector<std::string> requests_seen() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> paths;
    for (const SeenRequest& request : requests_) {
      paths.push_back(request.path);
    }
    return paths;
  }
  std::vector<SeenRequest> ranges_seen() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  // Bytes of bodies sent so far.
  std::uint64_t bytes_sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
  }

  Result<BodyEnd> fetch(std::string_view relative_path, ByteRange range,
                        const BodyReceiver& receive) override {
    const std::string path(relative_path);
    std::string body;
    std::optional<std::uint64_t> drop;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back({path, range});
    }
    if (on_request) {
      on_request(path);
    }
    {
      std::lock_guard lock(mutex_);
      if (const auto failure = failures.find(path); failure != failures.end()) {
        return fail(failure->second);
      }
      const auto found = bodies.find(path);
      if (found == bodies.end()) {
        return server_refused(404);
      }
      body = found->second;
      if (const auto cut = drop_after.find(path); cut != drop_after.end()) {
        drop = cut->second;
      }
    }
    BodyEnd end;
    std::uint64_t first = 0;
    std::uint64_t last = body.size();
    if (!range.whole() && !ignores_ranges) {
      if (range.offset >= body.size()) {
        return server_refused(416);
      }
      first = range.offset;
      if (range.length != 0) {
        last = std::min<std::uint64_t>(body.size(), range.offset + range.length);
      }
      std::lock_guard lock(mutex_);
      if (const auto cut = short_ranges.find(path); cut != short_ranges.end()) {
        last -= std::min(cut->second, last - first);
        short_ranges.erase(cut);
      }
    } else if (!range.whole()) {
      if (range.range_only) {
        return fail("resposta", FailureKind::kServerRefused);
      }
      end.whole_object = true;
    }
    // Chunks as the server would send them, counted from the object's start; what lies before
    // `first` (a server without ranges) is skipped as the real client skips it.
    std::vector<std::size_t> sizes;
    if (chunking) {
      sizes = chunking(static_cast<std::size_t>(last - (end.whole_object ? 0 : first)));
    }
    std::uint64_t at = end.whole_object ? 0 : first;
    std::size_t next_size = 0;
    while (at < last) {
      std::uint64_t size = 65536;
      if (chunking) {
        size = next_size < sizes.size() ? sizes[next_size++] : last - at;
      }
      size = std::max<std::uint64_t>(1, std::min(size, last - at));
      if (drop && at + size > *drop) {
        size = *drop > at ? *drop - at : 0;
      }
      std::string_view chunk(body.data() + at, size);
      at += size;
      if (at <= first) {
        continue;
      }
      if (at - size < first) {
        chunk.remove_prefix(first - (at - size));
      }
      if (!chunk.empty()) {
        {
          std::lock_guard lock(mutex_);
          sent_ += chunk.size();
        }
        Result<Receive> taken = receive(chunk);
        if (!taken) {
          return taken.error();
        }
        if (*taken == Receive::kEnough) {
          return end;
        }
      }
      if (drop && at >= *drop) {
        std::lock_guard lock(mutex_);
        drop_after.erase(path);
        return fail("a conexão caiu");
      }
    }
    return end;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<SeenRequest> requests_;
  std::uint64_t sent_ = 0;
};

// The files of a release: path as the manifest writes it, content.
using ReleaseFiles = std::vector<std::pair<std::string, std::string>>;

// The "packs" list of the objects of `files` (each digest once, in order), `per_pack` to a
// pack laid end to end; `server` gets each pack.
inline std::string packs_of(const ReleaseFiles& files, std::size_t per_pack,
                            FakeUpdateClient& server) {
  std::string list;
  std::string pack;
  std::string members;
  std::size_t count = 0;
  std::set<std::string> packed;
  const auto close = [&] {
    if (count == 0) {
      return;
    }
    const std::string name = sha256_hex(pack);
    server.bodies["app/packs/" + name] = pack;
    list += std::string(list.empty() ? "" : ",") + "{\"name\": \"" + name +
            "\", \"size\": " + std::to_string(pack.size()) + ", \"members\": [" + members + "]}";
    pack.clear();
    members.clear();
    count = 0;
  };
  for (const auto& [path, content] : files) {
    const std::string sha256 = sha256_hex(content);
    if (!packed.insert(sha256).second) {
      continue;
    }
    members += std::string(count == 0 ? "" : ",") + "{\"sha256\": \"" + sha256 +
               "\", \"offset\": " + std::to_string(pack.size()) + "}";
    pack += server.bodies.at("app/files/" + sha256);
    if (++count == per_pack) {
      close();
    }
  }
  close();
  return "[" + list + "]";
}

// The manifest of a release of `files` with their digests and sizes, parsed from its document;
// `server` gets the Brotli object of every file. With a `rollout`, the release is for that share
// of installations; with `per_pack`, its objects are also served in packs of that many.
inline ReleaseManifest publish_release(const std::string& version, const ReleaseFiles& files,
                                       FakeUpdateClient& server,
                                       std::optional<int> rollout = std::nullopt,
                                       std::size_t per_pack = 0) {
  std::string document = "{\"version\": \"" + version + "\", ";
  if (rollout) {
    document += "\"rollout\": " + std::to_string(*rollout) + ", ";
  }
  document += "\"files\": [";
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
  document += "]";
  if (per_pack > 0) {
    document += ", \"packs\": " + packs_of(files, per_pack, server);
  }
  auto manifest = parse_release_manifest(document + "}");
  EXPECT_TRUE(manifest.ok()) << manifest.message();
  return manifest.ok() ? std::move(manifest).value() : ReleaseManifest{};
}

}  // namespace nelo::testing_support
