#include "install/version_store_win.h"

#include "base/file_system_win.h"
#include "base/gathered_writes.h"
#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "install/process_control.h"
#include "install/stored_record.h"
#include "release/sha256.h"
#include "install/tree_removal.h"

namespace nelo {
namespace {

constexpr DWORD kReadPiece = DWORD{1} << 20;
// A file is written in pieces of this size, whatever pieces the decoder hands out: few system
// calls, and a buffer small enough for the heap to hand the same memory from file to file.
constexpr std::size_t kGatheredWrite = std::size_t{256} << 10;

// Removes a file so that its name can be used afresh; a missing file is fine.
void remove_file_name(const std::filesystem::path& path) {
  (void)delete_file_name(path);
}

// A new file of the staging, written piece by piece: removed again unless it is committed, so
// that a download that fails or is stopped leaves no half-written file behind.
class NewFile final : public FileWriter {
 public:
  NewFile(unique_file file, std::filesystem::path path, bool flush)
      : file_(std::move(file)),
        path_(std::move(path)),
        flush_(flush),
        writes_(kGatheredWrite,
                [this](std::string_view bytes) { return write_all(file_.get(), bytes); }) {}
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile() override {
    if (file_) {
      file_.reset();
      ::DeleteFileW(path_.c_str());
    }
  }

  Status write(std::string_view bytes) override { return writes_.write(bytes); }

  Status commit() override {
    if (Status written = writes_.flush(); !written) {
      return written;
    }
    // The version folder is renamed into place and the pointer switched right after staging:
    // a file still in the cache at a power cut would leave the current version empty or torn,
    // and the intactness check (sizes only) would start it for ever.
    if (flush_ && !::FlushFileBuffers(file_.get())) {
      return fail(last_error_text());
    }
    file_.reset();
    return {};
  }

 private:
  unique_file file_;
  std::filesystem::path path_;
  bool flush_;
  GatheredWrites writes_;
};

// The regular files below `folder` into `files`, keyed by `prefix` and their names.
bool list_files_below(const std::filesystem::path& folder, const std::string& prefix,
                      std::unordered_map<std::string, FileStamp>& files) {
  const std::optional<std::vector<ListedEntry>> entries = list_folder(folder);
  if (!entries) {
    return false;
  }
  for (const ListedEntry& entry : *entries) {
    // A link is never followed, and never counted as a file of the release.
    if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      continue;
    }
    const std::string key = prefix + to_utf8(entry.name);
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      (void)list_files_below(folder / entry.name, key + "/", files);
    } else {
      files[key] = FileStamp(entry.size, entry.written);
    }
  }
  return true;
}

// Removes what `wanted` does not want below `folder` (whose entries are keyed by `prefix` and
// their names). A link goes as a name: a folder link by removing the link itself, never what it
// points to.
void remove_unwanted_below(const std::filesystem::path& folder, const std::string& prefix,
                           const std::function<bool(std::string_view, bool)>& wanted) {
  const std::optional<std::vector<ListedEntry>> entries = list_folder(folder);
  if (!entries) {
    return;
  }
  for (const ListedEntry& entry : *entries) {
    const std::filesystem::path path = folder / entry.name;
    const std::string key = prefix + to_utf8(entry.name);
    const bool is_folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      (void)(is_folder ? delete_folder_name(path) : delete_file_name(path));
    } else if (!wanted(key, is_folder)) {
      (void)(is_folder ? remove_tree(path) : delete_file_name(path));
    } else if (is_folder) {
      remove_unwanted_below(path, key + "/", wanted);
    }
  }
}

}  // namespace

std::filesystem::path WindowsVersionStore::versions_folder() {
  return root_ / L"versions";
}

std::filesystem::path WindowsVersionStore::downloads_folder() {
  return root_ / L"downloads";
}

void WindowsVersionStore::discard_folder(const std::filesystem::path& folder) {
  (void)remove_tree(folder);  // never through a link; what stays is reported elsewhere
}

Status WindowsVersionStore::make_folders(const std::filesystem::path& folder) {
  return create_folders(folder);
}

Status WindowsVersionStore::take_over_file(const std::filesystem::path& source,
                                           const std::filesystem::path& target) {
  // A file of that name in the staging folder may itself be a link to an installed file (a path
  // listed twice, or in two letter cases): copying over it would write into that file. The link
  // never replaces a name, so when the name is taken it goes first and the link or the copy
  // makes a new entry. (Trying first spares a fresh staging folder a failing deletion per file.)
  if (::CreateHardLinkW(target.c_str(), source.c_str(), nullptr)) {
    return {};
  }
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    remove_file_name(target);
    if (::CreateHardLinkW(target.c_str(), source.c_str(), nullptr)) {
      return {};
    }
  }
  remove_file_name(target);
  if (!::CopyFileExW(source.c_str(), target.c_str(), nullptr, nullptr, nullptr, 0)) {
    return fail(last_error_text());
  }
  unique_file copy(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy) {
    return fail(last_error_text());
  }
  return flush(copy.get());
}

Status WindowsVersionStore::write_new_file(const std::filesystem::path& target,
                                           std::string_view content) {
  auto file = create_file(target);
  if (!file) {
    return file.error();
  }
  if (Status written = (*file)->write(content); !written) {
    return written;
  }
  return (*file)->commit();
}

Result<std::unique_ptr<FileWriter>> WindowsVersionStore::create_file(
    const std::filesystem::path& target) {
  // Never truncate and write through an existing name: it may be a hard link to a file of an
  // installed version. CREATE_NEW guarantees a fresh file; a name that is taken goes first.
  unique_file file(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file && ::GetLastError() == ERROR_FILE_EXISTS) {
    remove_file_name(target);
    file.reset(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!file) {
    return fail(last_error_text());
  }
  return std::unique_ptr<FileWriter>(
      std::make_unique<NewFile>(std::move(file), target, flush_files_));
}

std::optional<std::unordered_map<std::string, FileStamp>> WindowsVersionStore::list_files(
    const std::filesystem::path& folder) {
  std::unordered_map<std::string, FileStamp> files;
  if (!list_files_below(folder, "", files)) {
    return std::nullopt;
  }
  return files;
}

std::optional<FileStamp> WindowsVersionStore::file_stamp(const std::filesystem::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return FileStamp((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                   filetime_value(data.ftLastWriteTime));
}

void WindowsVersionStore::remove_unwanted(
    const std::filesystem::path& folder,
    const std::function<bool(std::string_view path, bool is_folder)>& wanted) {
  remove_unwanted_below(folder, "", wanted);
}

std::vector<std::string> WindowsVersionStore::folder_names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  if (const std::optional<std::vector<ListedEntry>> entries = list_folder(folder)) {
    for (const ListedEntry& entry : *entries) {
      if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        names.push_back(to_utf8(entry.name));
      }
    }
  }
  return names;
}

std::optional<std::string> WindowsVersionStore::file_digest(const std::filesystem::path& path) {
  unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    return std::nullopt;
  }
  std::vector<char> buffer(kReadPiece);
  Sha256 digest;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data(), kReadPiece, &read, nullptr)) {
      return std::nullopt;
    }
    if (read == 0) {
      return digest.finish_hex();
    }
    digest.add(std::string_view(buffer.data(), read));
  }
}

void WindowsVersionStore::remove_file(const std::filesystem::path& path) {
  remove_file_name(path);
}

Status WindowsVersionStore::replace_file(const std::filesystem::path& from,
                                         const std::filesystem::path& to) {
  return replace_by_rename(from, to);
}

std::optional<std::string> WindowsVersionStore::read_small(const std::filesystem::path& path) {
  return read_small_file(path, kManifestMaxBytes);
}

Status WindowsVersionStore::flush(HANDLE file) const {
  // A copy is new data, to be on the disk before the switch like a downloaded file.
  if (flush_files_ && !::FlushFileBuffers(file)) {
    return fail(last_error_text());
  }
  return {};
}

Status WindowsVersionStore::move_folder(const std::filesystem::path& from,
                                        const std::filesystem::path& to) {
  // The folder's files were just written: a scanner may still hold one of them.
  if (!retry_while_held([&] { return ::MoveFileExW(from.c_str(), to.c_str(), 0) != FALSE; })) {
    return fail(last_error_text());
  }
  return {};
}

ReuseIndex WindowsVersionStore::reusable_files(const std::optional<std::string>& label,
                                               const std::optional<ReleaseManifest>& manifest) {
  if (!label || !manifest) {
    return {};
  }
  return find_reusable_files(*this, version_folder(*label), *manifest);
}

void WindowsVersionStore::prune_versions(std::string_view keep,
                                         const std::optional<std::string>& previous) {
  const std::filesystem::path folder = versions_folder();
  const std::optional<std::vector<ListedEntry>> entries = list_folder(folder);
  if (!entries) {
    return;
  }
  for (const ListedEntry& entry : *entries) {
    // Only folders are versions; anything else is left alone. A file in use keeps its folder;
    // the others still go.
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        !should_prune(to_utf8(entry.name), keep, previous)) {
      continue;
    }
    // A version an application still runs from stays whole: only files in use would survive
    // its removal, and the application would lose the rest under its feet. The separator keeps
    // "1.0" from taking "1.0.1" for its own.
    const std::filesystem::path version = folder / entry.name;
    if (!find_processes_under(version.native() + L"\\").empty()) {
      continue;
    }
    (void)remove_tree(version);
  }
}

}  // namespace nelo
