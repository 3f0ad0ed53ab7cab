// In-memory stand-ins for the update server and the disk, for tests of staging and installing.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "install/staging.h"
#include "net/update_client.h"

namespace nelo::testing_support {

// Serves bodies by relative path in chunks of 64 KiB; anything else is a 404.
class FakeUpdateClient final : public UpdateClient {
 public:
  std::map<std::string, std::string> bodies;
  std::map<std::string, std::string> failures;  // path to message
  std::vector<std::string> requests;

  std::vector<std::uint64_t> expected_sizes;  // the hint of every request

  Result<ByteBuffer> fetch_resource(std::string_view relative_path, const ChunkCallback& on_chunk,
                                    std::uint64_t expected_size, std::uint64_t most) override {
    const std::string path(relative_path);
    requests.push_back(path);
    expected_sizes.push_back(expected_size);
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

// Files are shared strings, so that a hard link and its source are visibly one file.
class FakeDisk final : public StagingDisk {
 public:
  std::map<std::string, std::shared_ptr<std::string>> files;
  std::set<std::string> folders;
  std::set<std::string> failing;  // paths whose operation fails
  bool links_work = true;
  std::vector<std::string> log;
  std::map<std::string, int> create_calls;  // folder to the number of requests for it

  static std::string key(const std::filesystem::path& path) { return path.generic_string(); }

  void remove_tree(const std::filesystem::path& folder) override {
    const std::string prefix = key(folder);
    log.push_back("remove " + prefix);
    std::erase_if(files, [&](const auto& f) { return f.first.starts_with(prefix + "/"); });
    std::erase_if(folders,
                  [&](const auto& f) { return f == prefix || f.starts_with(prefix + "/"); });
  }
  Status create_folders(const std::filesystem::path& folder) override {
    ++create_calls[key(folder)];
    if (failing.count(key(folder))) {
      return fail("acesso negado (os error 5)");
    }
    for (std::filesystem::path p = folder; !p.empty() && p != p.root_path(); p = p.parent_path()) {
      folders.insert(key(p));
    }
    return {};
  }
  Status take_over_file(const std::filesystem::path& source,
                        const std::filesystem::path& target) override {
    log.push_back("take " + key(target));
    const auto it = files.find(key(source));
    if (it == files.end() || failing.count(key(target))) {
      return fail("não encontrado (os error 2)");
    }
    files[key(target)] = links_work ? it->second : std::make_shared<std::string>(*it->second);
    return {};
  }
  Status write_new_file(const std::filesystem::path& target, std::string_view content) override {
    log.push_back("write " + key(target));
    if (failing.count(key(target))) {
      return fail("disco cheio (os error 112)");
    }
    files[key(target)] = std::make_shared<std::string>(content);
    return {};
  }
  Status rename_folder(const std::filesystem::path& from,
                       const std::filesystem::path& to) override {
    log.push_back("rename " + key(from) + " " + key(to));
    if (failing.count(key(to)) || folders.count(key(to))) {
      return fail("acesso negado (os error 5)");
    }
    const std::string from_key = key(from);
    std::map<std::string, std::shared_ptr<std::string>> moved;
    for (auto it = files.begin(); it != files.end();) {
      if (it->first.starts_with(from_key + "/")) {
        moved[key(to) + it->first.substr(from_key.size())] = it->second;
        it = files.erase(it);
      } else {
        ++it;
      }
    }
    files.merge(moved);
    folders.erase(from_key);
    folders.insert(key(to));
    return {};
  }

  std::string content(const std::string& path) const {
    const auto it = files.find(path);
    return it == files.end() ? "<missing>" : *it->second;
  }
};

}  // namespace nelo::testing_support
