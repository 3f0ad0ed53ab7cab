#include "install/version_store_win.h"

#include "base/file_system_win.h"
#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "install/tree_removal.h"

namespace nelo {
namespace {

// Removes a file so that its name can be used afresh; a missing file is fine.
void remove_file_name(const std::filesystem::path& path) {
  if (!::DeleteFileW(path.c_str())) {
    // A read-only file cannot be deleted until the attribute goes.
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
  }
}

}  // namespace

std::filesystem::path WindowsVersionStore::versions_folder() {
  return versions_dir();
}

std::uint64_t WindowsVersionStore::physical_memory_bytes() {
  return physical_memory();
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
  // A copy is new data, to be on the disk before the switch like a downloaded file.
  unique_file copy(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy) {
    return fail(last_error_text());
  }
  return flush(copy.get());
}

Status WindowsVersionStore::write_new_file(const std::filesystem::path& target,
                                           std::string_view content) {
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
  if (Status written = write_all(file.get(), content); !written) {
    return written;
  }
  return flush(file.get());
}

Status WindowsVersionStore::flush(HANDLE file) const {
  // The version folder is renamed into place and the pointer switched right after staging: a
  // file still in the cache at a power cut would leave the current version empty or torn, and
  // the intactness check (sizes only) would start it for ever.
  if (flush_files_ && !::FlushFileBuffers(file)) {
    return fail(last_error_text());
  }
  return {};
}

Status WindowsVersionStore::move_folder(const std::filesystem::path& from,
                                        const std::filesystem::path& to) {
  if (!::MoveFileExW(from.c_str(), to.c_str(), 0)) {
    return fail(last_error_text());
  }
  return {};
}

ReuseIndex WindowsVersionStore::reusable_files(const std::optional<std::string>& label,
                                               const std::optional<ReleaseManifest>& manifest) {
  if (!label || !manifest) {
    return {};
  }
  return build_reuse_index(version_dir(*label), manifest, [](const std::filesystem::path& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  });
}

void WindowsVersionStore::prune_versions(std::string_view keep,
                                         const std::optional<std::string>& previous) {
  const std::filesystem::path folder = versions_dir();
  const std::optional<std::vector<ListedEntry>> entries = list_folder(folder);
  if (!entries) {
    return;
  }
  for (const ListedEntry& entry : *entries) {
    // Only folders are versions; anything else is left alone. A file in use keeps its folder;
    // the others still go.
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        should_prune(to_utf8(entry.name), keep, previous)) {
      (void)remove_tree(folder / entry.name);
    }
  }
}

}  // namespace nelo
