// The version store in memory, for the tests of staging, installing and the update session.
// Files are shared strings, so that a hard link and its source are visibly one file. Safe to use
// from several threads, as the staging does.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "release/sha256.h"
#include "install/stored_record.h"
#include "install/version_store.h"
#include "tests/native/fake_update_client.h"

namespace nelo::testing_support {

class FakeVersionStore final : public VersionStore {
 public:
  // The disk.
  std::map<std::string, std::shared_ptr<std::string>> files;
  std::set<std::string> folders;
  std::set<std::string> failing;          // paths whose operation fails
  std::set<std::string> held;             // files a running program holds: renamed, never replaced
  std::map<std::string, int> unreadable;  // path to how many more reads of it fail
  // Called (with the store's lock held: it may change `files` directly) as a file is created.
  std::function<void(const std::string& path)> on_create;
  bool links_work = true;
  std::vector<std::string> log;             // what the staging did to the disk, in order
  std::map<std::string, int> create_calls;  // folder to the number of requests for it
  std::map<std::string, std::string> kept;  // compressed bytes kept, by object digest
  std::vector<std::string> hashed;          // files whose digest was asked for
  std::vector<std::string> notes;           // lines for the launcher log

  // The versions.
  std::optional<std::string> current;
  std::set<std::string> torn;                     // versions whose files are not all there
  std::map<std::string, ReleaseManifest> stored;  // stored manifests by label
  std::optional<std::string> current_after_lock;  // another launcher finished meanwhile
  Status write_current_result;
  ManifestTrust trust;                            // keys and time; the signing time below
  std::map<std::string, std::int64_t> signed_at;  // signing time of each version's manifest
  std::vector<std::string> calls;  // the store's own steps: lock, index, switch, prune, ...

  static std::string key(const std::filesystem::path& path) { return path.generic_string(); }

  // A file's size and "last-write time": any change of its bytes changes the time, as a write
  // does on a disk; a link shares its file's.
  static FileStamp stamp_of(const std::string& file) {
    return FileStamp(file.size(), std::hash<std::string>{}(file) | 1);
  }

  std::string content(const std::string& path) const {
    std::lock_guard lock(*mutex_);
    const auto it = files.find(path);
    return it == files.end() ? "<missing>" : *it->second;
  }

  // Makes `label` the current, intact version of `files`, with its stored manifest.
  void install(const std::string& label, const ReleaseFiles& release_files) {
    FakeUpdateClient unused;
    current = label;
    stored[label] = publish_release(label, release_files, unused);
    for (const auto& [path, file_content] : release_files) {
      const std::string file_path = "/v/" + label + "/" + path;
      files[file_path] = std::make_shared<std::string>(file_content);
      (void)make_folders(std::filesystem::path(file_path).parent_path());
    }
  }

  void acquire_update_lock() override {
    calls.push_back("lock");
    if (current_after_lock) {
      current = current_after_lock;
    }
  }
  std::optional<std::string> read_current_version() override {
    calls.push_back("read");
    return current;
  }
  Status write_current_version(std::string_view label) override {
    calls.push_back("switch " + std::string(label));
    if (!write_current_result) {
      return write_current_result;
    }
    current = std::string(label);
    return {};
  }
  std::optional<ReleaseManifest> load_stored_manifest(
      const std::optional<std::string>& label) override {
    if (!label || !stored.count(*label)) {
      return std::nullopt;
    }
    return stored.at(*label);
  }
  std::optional<std::string> find_installed_version() override {
    calls.push_back("installed?");
    return current && !torn.count(*current) ? current : std::nullopt;
  }
  ManifestTrust manifest_trust() override {
    ManifestTrust now = trust;
    if (current && signed_at.count(*current)) {
      now.installed_signed_at = signed_at.at(*current);
    }
    return now;
  }

  std::filesystem::path versions_folder() override { return "/v"; }
  std::filesystem::path downloads_folder() override { return "/d"; }
  ReuseIndex reusable_files(const std::optional<std::string>& label,
                            const std::optional<ReleaseManifest>& manifest) override {
    calls.push_back("index " + label.value_or("-"));
    if (!label) {
      return {};
    }
    return manifest ? find_reusable_files(*this, "/v/" + *label, *manifest) : ReuseIndex();
  }
  void discard_folder(const std::filesystem::path& folder) override {
    std::lock_guard lock(*mutex_);
    const std::string prefix = key(folder);
    log.push_back("remove " + prefix);
    std::erase_if(files, [&](const auto& f) { return f.first.starts_with(prefix + "/"); });
    std::erase_if(folders,
                  [&](const auto& f) { return f == prefix || f.starts_with(prefix + "/"); });
  }
  Status make_folders(const std::filesystem::path& folder) override {
    std::lock_guard lock(*mutex_);
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
    std::lock_guard lock(*mutex_);
    log.push_back("take " + key(target));
    const auto it = files.find(key(source));
    if (it == files.end() || failing.count(key(target))) {
      return fail("não encontrado (os error 2)");
    }
    files[key(target)] = links_work ? it->second : std::make_shared<std::string>(*it->second);
    return {};
  }
  Status write_new_file(const std::filesystem::path& target, std::string_view content) override {
    auto file = create_file(target);
    if (!file) {
      return file.error();
    }
    if (Status written = (*file)->write(content); !written) {
      return written;
    }
    return (*file)->commit();
  }
  Result<std::unique_ptr<FileWriter>> create_file(const std::filesystem::path& target) override {
    std::lock_guard lock(*mutex_);
    log.push_back("write " + key(target));
    if (on_create) {
      on_create(key(target));
    }
    if (failing.count(key(target))) {
      return fail("disco cheio (os error 112)");
    }
    // A new file replaces the name: a link to an installed file is never written through.
    auto file = std::make_shared<std::string>();
    files[key(target)] = file;
    return std::unique_ptr<FileWriter>(std::make_unique<Writer>(*this, key(target), file, false));
  }
  std::optional<std::unordered_map<std::string, FileStamp>> list_files(
      const std::filesystem::path& folder) override {
    std::lock_guard lock(*mutex_);
    const std::string prefix = key(folder) + "/";
    if (!folders.count(key(folder))) {
      return std::nullopt;
    }
    std::unordered_map<std::string, FileStamp> listed;
    for (const auto& [path, file] : files) {
      if (path.starts_with(prefix)) {
        listed[path.substr(prefix.size())] = stamp_of(*file);
      }
    }
    return listed;
  }
  std::optional<FileStamp> file_stamp(const std::filesystem::path& path) override {
    std::lock_guard lock(*mutex_);
    const auto it = files.find(key(path));
    return it == files.end() ? std::nullopt : std::optional(stamp_of(*it->second));
  }
  void remove_unwanted(
      const std::filesystem::path& folder,
      const std::function<bool(std::string_view path, bool is_folder)>& wanted) override {
    std::lock_guard lock(*mutex_);
    const std::string prefix = key(folder) + "/";
    // An entry goes when it, or a folder on its way, is not wanted.
    const auto unwanted = [&](const std::string& relative, bool is_folder) {
      for (std::size_t cut = relative.find('/'); cut != std::string::npos;
           cut = relative.find('/', cut + 1)) {
        if (!wanted(relative.substr(0, cut), true)) {
          return true;
        }
      }
      return !wanted(relative, is_folder);
    };
    std::erase_if(files, [&](const auto& f) {
      const bool goes =
          f.first.starts_with(prefix) && unwanted(f.first.substr(prefix.size()), false);
      if (goes) {
        log.push_back("delete " + f.first);
      }
      return goes;
    });
    std::erase_if(folders, [&](const std::string& f) {
      return f.starts_with(prefix) && unwanted(f.substr(prefix.size()), true);
    });
  }
  std::vector<std::string> folder_names(const std::filesystem::path& folder) override {
    std::lock_guard lock(*mutex_);
    const std::string prefix = key(folder) + "/";
    std::vector<std::string> names;
    for (const std::string& f : folders) {
      if (f.starts_with(prefix) && f.find('/', prefix.size()) == std::string::npos) {
        names.push_back(f.substr(prefix.size()));
      }
    }
    return names;
  }
  std::optional<std::string> file_digest(const std::filesystem::path& path) override {
    std::lock_guard lock(*mutex_);
    hashed.push_back(key(path));
    const auto it = files.find(key(path));
    return it == files.end() ? std::nullopt : std::optional(sha256_hex(*it->second));
  }
  void remove_file(const std::filesystem::path& path) override {
    std::lock_guard lock(*mutex_);
    log.push_back("delete " + key(path));
    files.erase(key(path));
  }
  Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to) override {
    std::lock_guard lock(*mutex_);
    log.push_back("replace " + key(from) + " " + key(to));
    const auto it = files.find(key(from));
    // A held file in `failing` cannot even be renamed.
    if (it == files.end() || failing.count(key(to)) || held.count(key(to)) ||
        (held.count(key(from)) && failing.count(key(from)))) {
      return fail("acesso negado (os error 5)");
    }
    files[key(to)] = it->second;  // a new file under the name: a link elsewhere stays as it was
    files.erase(it);
    if (held.erase(key(from))) {
      held.insert(key(to));
    }
    return {};
  }
  Result<std::unique_ptr<FileView>> view_file(const std::filesystem::path& path) override {
    std::lock_guard lock(*mutex_);
    const auto it = files.find(key(path));
    if (it == files.end()) {
      return fail("não encontrado (os error 2)");
    }
    return std::unique_ptr<FileView>(std::make_unique<View>(*it->second));
  }
  Result<std::unique_ptr<MappedNewFile>> create_mapped_file(const std::filesystem::path& target,
                                                            std::uint64_t size) override {
    std::lock_guard lock(*mutex_);
    log.push_back("map " + key(target));
    if (failing.count(key(target))) {
      return fail("disco cheio (os error 112)");
    }
    auto file = std::make_shared<std::string>(size, '\0');
    files[key(target)] = file;
    return std::unique_ptr<MappedNewFile>(std::make_unique<Mapped>(*this, key(target), file));
  }
  void note(std::string_view line) override {
    std::lock_guard lock(*mutex_);
    notes.emplace_back(line);
  }
  std::optional<std::string> read_small(const std::filesystem::path& path) override {
    std::lock_guard lock(*mutex_);
    if (auto busy = unreadable.find(key(path)); busy != unreadable.end() && busy->second > 0) {
      --busy->second;
      return std::nullopt;
    }
    const auto it = files.find(key(path));
    return it == files.end() ? std::nullopt : std::optional(*it->second);
  }
  Status move_folder(const std::filesystem::path& from, const std::filesystem::path& to) override {
    std::lock_guard lock(*mutex_);
    log.push_back("rename " + key(from) + " " + key(to));
    if (failing.count(key(to)) || folders.count(key(to)) || files.count(key(to))) {
      return fail("acesso negado (os error 5)");
    }
    if (const auto file = files.find(key(from)); file != files.end()) {
      files[key(to)] = file->second;
      files.erase(key(from));
      return {};
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
  void prune_versions(std::string_view keep, const std::optional<std::string>& previous) override {
    calls.push_back("prune " + std::string(keep) + " " + previous.value_or("-"));
  }

  std::unordered_map<std::string, std::uint64_t> kept_bodies() override {
    std::lock_guard lock(*mutex_);
    std::unordered_map<std::string, std::uint64_t> sizes;
    for (const auto& [sha256, bytes] : kept) {
      sizes[sha256] = bytes.size();
    }
    return sizes;
  }
  Result<std::unique_ptr<FileWriter>> keep_body(std::string_view sha256, bool append) override {
    std::lock_guard lock(*mutex_);
    if (failing.count("kept")) {
      return fail("disco cheio (os error 112)");
    }
    std::string& bytes = kept[std::string(sha256)];
    if (!append) {
      bytes.clear();
    }
    return std::unique_ptr<FileWriter>(
        std::make_unique<Writer>(*this, std::string(sha256), nullptr, true));
  }
  Status read_kept_body(std::string_view sha256,
                        const std::function<Status(std::string_view)>& take) override {
    std::string bytes;
    {
      std::lock_guard lock(*mutex_);
      const auto it = kept.find(std::string(sha256));
      if (it == kept.end()) {
        return fail("não encontrado (os error 2)");
      }
      bytes = it->second;
    }
    for (std::size_t at = 0; at < bytes.size(); at += 1000) {
      if (Status taken = take(std::string_view(bytes).substr(at, 1000)); !taken) {
        return taken;
      }
    }
    return {};
  }
  void drop_kept_bodies(const std::optional<std::string>& sha256) override {
    std::lock_guard lock(*mutex_);
    if (sha256) {
      kept.erase(*sha256);
    } else {
      kept.clear();
      std::erase_if(files, [](const auto& f) { return f.first.starts_with("/d/"); });
    }
  }

 private:
  // A copy of a file's content at the moment it was mapped.
  class View final : public FileView {
   public:
    explicit View(std::string content) : content_(std::move(content)) {}
    std::string_view bytes() const override { return content_; }

   private:
    std::string content_;
  };

  // A new file written in place; it vanishes unless committed.
  class Mapped final : public MappedNewFile {
   public:
    Mapped(FakeVersionStore& store, std::string name, std::shared_ptr<std::string> file)
        : store_(store), name_(std::move(name)), file_(std::move(file)) {}
    ~Mapped() override {
      if (!committed_) {
        std::lock_guard lock(*store_.mutex_);
        if (const auto it = store_.files.find(name_);
            it != store_.files.end() && it->second == file_) {
          store_.files.erase(it);
        }
      }
    }
    std::span<char> bytes() override { return {file_->data(), file_->size()}; }
    Status commit() override {
      committed_ = true;
      return {};
    }

   private:
    FakeVersionStore& store_;
    std::string name_;
    std::shared_ptr<std::string> file_;
    bool committed_ = false;
  };

  // A file of the fake disk written piece by piece: a new file vanishes unless committed, kept
  // bytes stay.
  class Writer final : public FileWriter {
   public:
    Writer(FakeVersionStore& store, std::string name, std::shared_ptr<std::string> file,
           bool kept_body)
        : store_(store), name_(std::move(name)), file_(std::move(file)), kept_body_(kept_body) {}
    ~Writer() override {
      if (!kept_body_ && !committed_) {
        std::lock_guard lock(*store_.mutex_);
        if (const auto it = store_.files.find(name_);
            it != store_.files.end() && it->second == file_) {
          store_.files.erase(it);
        }
      }
    }
    Status write(std::string_view bytes) override {
      std::lock_guard lock(*store_.mutex_);
      (kept_body_ ? store_.kept[name_] : *file_).append(bytes);
      return {};
    }
    Status commit() override {
      committed_ = true;
      return {};
    }

   private:
    FakeVersionStore& store_;
    std::string name_;
    std::shared_ptr<std::string> file_;
    bool kept_body_;
    bool committed_ = false;
  };

  // Behind a pointer so that a store can be assigned anew.
  std::unique_ptr<std::mutex> mutex_ = std::make_unique<std::mutex>();
};

}  // namespace nelo::testing_support
