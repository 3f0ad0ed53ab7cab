// The versions of the installation, as the update drivers and the staging change them: one
// interface, with the code on Windows in `WindowsVersionStore` and an in-memory fake in the tests.
//
//   <root>
//     current                  the current version's label, switched by one rename
//     versions
//       <label>                a complete version, with its ".manifest.json" and the record
//                              of its files (".manifest.files")
//       <label>.partial        a version being staged; what a failed attempt verified stays
//     downloads
//       <sha256>               the compressed bytes of an object whose download broke off
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/result.h"
#include "install/file_record.h"
#include "release/file_writer.h"
#include "install/mapped_file.h"
#include "release/manifest.h"
#include "release/release_signature.h"
#include "install/reuse.h"

namespace nelo {

class VersionStore {
 public:
  virtual ~VersionStore() = default;

  // The current version.

  // Waits without limit for the update lock that all launcher processes of the logon session
  // share; once held it stays with this process. Without the lock the caller goes on.
  virtual void acquire_update_lock() = 0;
  // The current version's label, or nothing when the pointer is missing, unreadable, not valid
  // UTF-8, blank, not a plain folder name, or names a version whose "Nelo.exe" is gone. Needs
  // no lock: the pointer only ever changes by one rename.
  virtual std::optional<std::string> read_current_version() = 0;
  // Makes `label` current: the new pointer reaches the disk, then replaces the old one by one
  // rename. Fails with "gravar: " and the system's text; the old pointer then stays in force.
  virtual Status write_current_version(std::string_view label) = 0;
  // The manifest kept in the version's folder, or nothing when there is no label, the file
  // cannot be read, or it breaks a rule. Without a label the disk is not touched.
  virtual std::optional<ReleaseManifest> load_stored_manifest(
      const std::optional<std::string>& label) = 0;
  // The current version when its stored manifest loads and every listed file exists with
  // exactly the listed size (contents are not examined); otherwise nothing.
  virtual std::optional<std::string> find_installed_version() = 0;
  // What a fetched manifest must show (the release keys, the current version's signing time);
  // nothing to show for a launcher built without keys.
  virtual ManifestTrust manifest_trust() = 0;

  // Staging a new version. Failures are the system's error text, which the staging wraps.

  virtual std::filesystem::path versions_folder() = 0;
  // The folder of downloads on their way: the kept bytes of objects, and files a repair has
  // verified before they take their places. On the same volume as the versions folder.
  virtual std::filesystem::path downloads_folder() = 0;
  // Digest to path of the files of version `label` that its stored `manifest` lists and that
  // are still what the launcher left there (find_reusable_files); empty without either.
  virtual ReuseIndex reusable_files(const std::optional<std::string>& label,
                                    const std::optional<ReleaseManifest>& manifest) = 0;
  // Removes a folder and everything in it, never following a link out of it; failures are
  // passed over.
  virtual void discard_folder(const std::filesystem::path& folder) = 0;
  // Creates a folder with its missing parents; one that exists already is fine.
  virtual Status make_folders(const std::filesystem::path& folder) = 0;
  // Makes `target` name the same file as `source` (a hard link), else a copy of it on the disk.
  virtual Status take_over_file(const std::filesystem::path& source,
                                const std::filesystem::path& target) = 0;
  // Writes `content` as a new file at `target` and puts it on the disk, replacing (never
  // writing through) a file of that name, which may be a hard link to an installed file.
  virtual Status write_new_file(const std::filesystem::path& target, std::string_view content) = 0;
  // The same, piece by piece: a new file at `target` that replaces a file of that name when it
  // is created. A writer dropped before its commit removes its file again.
  virtual Result<std::unique_ptr<FileWriter>> create_file(const std::filesystem::path& target) = 0;
  // The regular files below `folder`, by their path relative to it ("/" between pieces) to
  // their size and last-write time; links are never followed. Nothing when the folder cannot be
  // listed.
  virtual std::optional<std::unordered_map<std::string, FileStamp>> list_files(
      const std::filesystem::path& folder) = 0;
  // The size and last-write time of the regular file at `path`; nothing when there is none.
  virtual std::optional<FileStamp> file_stamp(const std::filesystem::path& path) = 0;
  // Removes everything below `folder` that `wanted` does not want: each entry is asked by its
  // path relative to the folder ("/" between pieces) and whether it is a folder (the entries of
  // a folder that is not wanted go with it, unasked). A link is never followed: it is removed
  // as a name. Failures are passed over.
  virtual void remove_unwanted(
      const std::filesystem::path& folder,
      const std::function<bool(std::string_view path, bool is_folder)>& wanted) = 0;
  // The names of the folders in `folder`; empty when it cannot be listed.
  virtual std::vector<std::string> folder_names(const std::filesystem::path& folder) = 0;
  // The SHA-256 of a file's content, read piece by piece; nothing when it cannot be read.
  virtual std::optional<std::string> file_digest(const std::filesystem::path& path) = 0;
  // Removes one file; a missing one is fine.
  virtual void remove_file(const std::filesystem::path& path) = 0;
  // Puts the file `from` (already on the disk) in the place of `to` by one rename, replacing
  // the name `to` (never writing through it: it may be a hard link to another version's file).
  virtual Status replace_file(const std::filesystem::path& from,
                              const std::filesystem::path& to) = 0;
  // A whole small file (a stored manifest), or nothing when it cannot be read.
  virtual std::optional<std::string> read_small(const std::filesystem::path& path) = 0;
  // An existing file's content, mapped read-only (never read whole into memory). Fails with the
  // system's error text.
  virtual Result<std::unique_ptr<FileView>> view_file(const std::filesystem::path& path) = 0;
  // A new file of exactly `size` bytes at `target`, mapped for writing; like create_file, it
  // replaces a file of that name when it is created and is removed again unless committed.
  virtual Result<std::unique_ptr<MappedNewFile>> create_mapped_file(
      const std::filesystem::path& target, std::uint64_t size) = 0;
  // A line in the launcher log, for what nobody watches and somebody may want to know.
  virtual void note(std::string_view line) = 0;
  // Renames a folder (or a file); fails when `to` exists.
  virtual Status move_folder(const std::filesystem::path& from,
                             const std::filesystem::path& to) = 0;
  // Removes every folder of the versions folder but `keep` and `previous` (names compared as
  // exact bytes) and those a process runs from; files there are left alone; never fails.
  virtual void prune_versions(std::string_view keep,
                              const std::optional<std::string>& previous) = 0;

  // The compressed bytes kept from downloads that broke off, by object digest, so that a later
  // attempt goes on from where they stopped. Only objects of one release are kept at a time.

  // Digest to the number of bytes kept; empty when none are.
  virtual std::unordered_map<std::string, std::uint64_t> kept_bodies() = 0;
  // A writer that appends to the bytes kept for `sha256` (a new, empty file unless `append`).
  // What it wrote stays when it is dropped without a commit: that is what it is for.
  virtual Result<std::unique_ptr<FileWriter>> keep_body(std::string_view sha256, bool append) = 0;
  // Hands the bytes kept for `sha256` to `take`, in order and in pieces; the first failure
  // (the reader's own: the system's text) ends it.
  virtual Status read_kept_body(std::string_view sha256,
                                const std::function<Status(std::string_view)>& take) = 0;
  // Forgets the bytes kept for one object, or, without a digest, for every object.
  virtual void drop_kept_bodies(const std::optional<std::string>& sha256 = std::nullopt) = 0;
};

}  // namespace nelo
