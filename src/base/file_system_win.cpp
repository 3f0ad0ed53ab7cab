#include "base/file_system_win.h"

#include <algorithm>
#include <limits>
#include <new>

#include "base/clock.h"
#include "base/system_error_win.h"
#include "base/write_in_pieces.h"
#include "base/unique_handle.h"

namespace nelo {
namespace {

bool is_folder(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool retry_while_held(const std::function<bool()>& call, HeldFileRetry* shared) {
  SteadyClock clock;
  HeldFileRetry own(clock);
  HeldFileRetry& retry = shared != nullptr ? *shared : own;
  const std::uint32_t code = retry.run([&]() -> std::uint32_t {
    if (call()) {
      return 0;
    }
    const DWORD error = ::GetLastError();
    return error == 0 ? ERROR_GEN_FAILURE : error;  // a failure is never taken for success
  });
  ::SetLastError(code);
  return code == 0;
}

namespace {

// Removes one name with `remove` (DeleteFileW or RemoveDirectoryW), retried while it is held; a
// read-only name is made writable first when that is what refuses it, an "access denied" that is
// no scanner's and is answered at once. A missing name counts as removed when `missing_is_gone`.
bool remove_name(const std::filesystem::path& path, BOOL(WINAPI* remove)(LPCWSTR),
                 bool missing_is_gone, HeldFileRetry* shared) {
  return retry_while_held(
      [&] {
        if (remove(path.c_str())) {
          return true;
        }
        DWORD error = ::GetLastError();
        if (missing_is_gone && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
          return true;
        }
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
          ::SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
          if (remove(path.c_str())) {
            return true;
          }
          error = ::GetLastError();
        }
        ::SetLastError(error);
        return false;
      },
      shared);
}

}  // namespace

bool delete_file_name(const std::filesystem::path& path, HeldFileRetry* shared) {
  return remove_name(path, ::DeleteFileW, /*missing_is_gone=*/true, shared);
}

bool delete_folder_name(const std::filesystem::path& path, HeldFileRetry* shared) {
  return remove_name(path, ::RemoveDirectoryW, /*missing_is_gone=*/false, shared);
}

Status move_name(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!retry_while_held([&] {
        return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
      })) {
    return fail(last_error_text());
  }
  return {};
}

Status create_folders(const std::filesystem::path& folder) {
  if (folder.empty() || is_folder(folder)) {
    return {};
  }
  const std::filesystem::path parent = folder.parent_path();
  if (!parent.empty() && parent != folder) {
    if (Status created = create_folders(parent); !created) {
      return created;
    }
  }
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && is_folder(folder)) {
      return {};  // made by someone else meanwhile
    }
    return fail(system_error_text(error));
  }
  return {};
}

std::optional<std::string> read_small_file(const std::filesystem::path& path,
                                           std::uint64_t max_bytes) {
  unique_file file(::CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size) ||
      static_cast<std::uint64_t>(size.QuadPart) > max_bytes) {
    return std::nullopt;
  }
  std::string bytes;
  try {
    bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return std::nullopt;  // an optional document that memory cannot hold counts as absent
  }
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read,
                    nullptr)) {
      return std::nullopt;
    }
    if (read == 0) {
      break;
    }
    done += read;
  }
  bytes.resize(done);
  return bytes;
}

Status write_all(HANDLE file, std::string_view bytes) {
  // One write takes at most a DWORD; half of that keeps every piece far from the edge.
  constexpr std::size_t kMostPerWrite = std::numeric_limits<DWORD>::max() / 2;
  const WriteEnd end = write_in_pieces(bytes, kMostPerWrite, [file](std::string_view piece) {
    DWORD written = 0;
    if (!::WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr)) {
      return std::optional<std::size_t>();
    }
    return std::optional<std::size_t>(written);
  });
  switch (end) {
    case WriteEnd::Done:
      return {};
    case WriteEnd::Failed:
      return fail(last_error_text());
    case WriteEnd::Stalled:
      break;
  }
  return fail(system_error_text(ERROR_WRITE_FAULT));
}

bool for_each_in_folder(const std::filesystem::path& folder,
                        const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
  WIN32_FIND_DATAW found{};
  unique_find find(::FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found,
                                      FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    return false;
  }
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") {
      visit(found);
    }
  } while (::FindNextFileW(find.get(), &found));
  return true;
}

std::optional<std::vector<ListedEntry>> list_folder(const std::filesystem::path& folder) {
  std::vector<ListedEntry> entries;
  if (!for_each_in_folder(folder, [&](const WIN32_FIND_DATAW& found) {
        entries.push_back(
            {std::wstring(found.cFileName), found.dwFileAttributes,
             (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
             filetime_value(found.ftLastWriteTime)});
      })) {
    return std::nullopt;
  }
  return entries;
}

Status replace_by_rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!retry_while_held([&] {
        return ::MoveFileExW(from.c_str(), to.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
      })) {
    return fail(last_error_text());
  }
  return {};
}

Status replace_file_atomically(const std::filesystem::path& target, std::string_view bytes) {
  std::filesystem::path temporary = target;
  temporary += L".tmp";
  {
    unique_file file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      return fail(last_error_text());
    }
    if (Status written = write_all(file.get(), bytes); !written) {
      return written;
    }
    // The content must reach the disk before it replaces the old one, or a crash could leave
    // an empty file behind the rename.
    if (!::FlushFileBuffers(file.get())) {
      return fail(last_error_text());
    }
  }
  return replace_by_rename(temporary, target);
}

}  // namespace nelo
