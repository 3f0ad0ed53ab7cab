// nelo-publish: turns a folder holding a release of Nelo into the static tree the update server
// serves.
//
//   ROOT/app/files/<sha256>          each distinct content once, as a bare Brotli stream (the
//                                    launcher too, with --launcher)
//   ROOT/app/patches/<from>-<to>     a zstd patch from an older content of a path to its new
//                                    one, when less than half the whole object
//   ROOT/app/packs/<sha256>          the small objects side by side, for range requests
//                                    (pack_writer.h); not with --packs off
//   ROOT/app/manifest.json.minisig   its minisign signature, with --sign only
//   ROOT/app/manifest.json           the release manifest, written after the objects and patches
//   ROOT/releases/...                the releases published here (release_history.h), never
//                                    served
//
// Objects are named by the SHA-256 of their uncompressed content, so they never change once
// written; publishing a new release adds the contents that are new and replaces the manifest.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "release/manifest.h"
#include "nelo_publish/manifest_signing.h"

namespace nelo::publish {

constexpr int kDefaultQuality = 11;
constexpr int kMinQuality = 0;
constexpr int kMaxQuality = 11;

// Patches from the last releases published, by default, and at most (the launcher reads no more
// than kMostPatches a file).
constexpr std::size_t kDefaultPatchReleases = 3;
constexpr std::size_t kMostPatchReleases = kMostPatches;

// Below this much input the command shows no progress even on a terminal.
constexpr std::uint64_t kProgressThreshold = std::uint64_t{8} << 20;

struct PublishOptions {
  std::string version;         // the release's label, as the manifest will name it
  std::filesystem::path from;  // the folder holding the release, "Nelo.exe" at its top
  std::filesystem::path to;    // ROOT of the server's tree
  int quality = kDefaultQuality;
  // With a key, the manifest is signed, and the pair goes in place together (served_pair.h).
  std::optional<SigningKey> signing_key;
  // Without a key, into a root whose served manifest is signed: publishing is refused unless
  // this is set, and then the old signature is removed as the manifest is replaced (the
  // operator signs the new one afterwards).
  bool leave_unsigned = false;
  std::int64_t signing_time = 0;  // the clock, seconds since 1970, for the trusted comment
  // With a key: how long the signature stays good after its signing time; none for ever.
  std::optional<std::int64_t> expires_after;
  // Patches are made from the contents of this many of the last releases published (0: none).
  std::size_t patch_from_releases = kDefaultPatchReleases;
  // The share of installations, in percent, the release is for; none (or 100): all of them.
  std::optional<std::uint64_t> rollout;
  // The setup program to ship as the release's launcher (a Windows x86-64 executable): an
  // object like any file, named by the manifest's "launcher". None: the manifest names no
  // launcher, and installed launchers stay as they are.
  std::optional<std::filesystem::path> launcher;
  // The small objects are also written in packs, which the manifest lists.
  bool packs = true;
};

enum class PublishPhase {
  kHashing,      // reading and hashing every file
  kCompressing,  // compressing the contents the server does not hold yet
};

struct PublishProgress {
  PublishPhase phase = PublishPhase::kHashing;
  std::size_t files_done = 0;  // files hashed, or objects written
  std::size_t files_total = 0;
  std::uint64_t bytes_done = 0;  // uncompressed bytes of this phase
  std::uint64_t bytes_total = 0;
};

// Called from the publishing thread after each file or each chunk compressed; the last call of
// a phase has files_done == files_total.
using ProgressSink = std::function<void(const PublishProgress&)>;

struct PublishReport {
  std::size_t files = 0;                   // entries in the manifest
  std::size_t objects_written = 0;         // contents the server did not hold
  std::size_t objects_kept = 0;            // contents already there, left untouched
  std::uint64_t bytes = 0;                 // the release's uncompressed size
  std::filesystem::path manifest;          // where the manifest was written
  std::size_t patches_written = 0;         // patches made for this release
  std::optional<std::int64_t> signed_at;   // the signing time used, when signed
  std::optional<std::int64_t> expires_at;  // when that signature expires, if it does
  bool clock_behind = false;               // the clock was behind the signature served before
  std::optional<std::string> launcher;     // the launcher's digest, when the release ships one
  std::size_t packs = 0;                   // packs the manifest lists
  std::size_t packs_written = 0;           // of those, the ones the server did not hold
};

// Publishes `options.from` as release `options.version` below `options.to`. Everything is
// checked and every file read before the first write: a refused release leaves ROOT as it was.
// Symbolic links below the release folder are refused, not followed: the release must hold
// the files it names. Objects go through a temporary file and a rename, the manifest last the
// same way, so a reader never sees a partial object or a manifest naming a missing one.
Result<PublishReport> publish_release(const PublishOptions& options,
                                      const ProgressSink& progress = {});

}  // namespace nelo::publish
