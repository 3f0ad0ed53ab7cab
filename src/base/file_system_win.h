// File-system operations with the system's own error codes in their failures.
#pragma once

#include <filesystem>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/held_file_retry.h"
#include "base/result.h"
#include "base/win_support.h"

namespace nelo {

// Calls `call`, a system call that reports its failure through GetLastError, again while it
// fails because a scanner or indexer holds the file for a moment (held_file_retry.h), on the
// real clock; `shared`, when given, is the budget several calls share. The last error stays
// set for the caller when it fails.
bool retry_while_held(const std::function<bool()>& call, HeldFileRetry* shared = nullptr);

// Removes a file's name, retried while it is held; a read-only file is made writable first when
// that is what refuses it. True when the name is gone (a missing one counts).
bool delete_file_name(const std::filesystem::path& path, HeldFileRetry* shared = nullptr);

// The same for an empty folder (or a folder link), except that a missing one fails.
bool delete_folder_name(const std::filesystem::path& path, HeldFileRetry* shared = nullptr);

// Gives the file `from` the new name `to`, which must be free; the rename reaches the disk
// before it returns. Retried while a file is held. Fails with the system's error text.
Status move_name(const std::filesystem::path& from, const std::filesystem::path& to);

// Creates a folder with every missing parent; one that exists already is fine. Fails with the
// system's error text.
Status create_folders(const std::filesystem::path& folder);

// The whole file, or nothing when it cannot be opened or read or is larger than `max_bytes`.
std::optional<std::string> read_small_file(const std::filesystem::path& path,
                                           std::uint64_t max_bytes);

// Writes every byte of `bytes` to `file`, in as many writes as it takes. A write that reports
// success with nothing written fails (ERROR_WRITE_FAULT) instead of being tried for ever. Fails
// with the system's error text.
Status write_all(HANDLE file, std::string_view bytes);

// Puts the file `from` in place of `to` by one rename, replacing a file of that name; the rename
// reaches the disk before it returns, so a power cut leaves the old file or the new one, never
// a name without its file. Retried while a file is held. Fails with the system's error text.
Status replace_by_rename(const std::filesystem::path& from, const std::filesystem::path& to);

// Writes `bytes` as a new file beside `target` (`target` + ".tmp"), puts it on the disk, then
// puts it in place of `target` by replace_by_rename. Fails with the system's error text; the
// old file then stays in force.
Status replace_file_atomically(const std::filesystem::path& target, std::string_view bytes);

// One entry of a folder listing.
struct ListedEntry {
  std::wstring name;
  DWORD attributes = 0;  // FILE_ATTRIBUTE_*: a reparse point is told, never followed
  std::uint64_t size = 0;
  std::uint64_t written = 0;  // the last-write time, in 100-nanosecond steps since 1601
};

// A FILETIME as one number.
inline std::uint64_t filetime_value(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The entries of a folder, from one listing ("." and ".." left out); nothing when the folder
// cannot be listed (missing, or not a folder).
std::optional<std::vector<ListedEntry>> list_folder(const std::filesystem::path& folder);

// The same, handing each entry to `visit` as the system reports it, without copying anything;
// false when the folder cannot be listed.
bool for_each_in_folder(const std::filesystem::path& folder,
                        const std::function<void(const WIN32_FIND_DATAW&)>& visit);

}  // namespace nelo
