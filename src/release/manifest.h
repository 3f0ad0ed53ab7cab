// The release manifest: one JSON document naming a release and its files.
//
//   {"version": "1.2.3",
//    "rollout": 25,                                   (optional: the share of installations)
//    "launcher": {"sha256": "<64 hex digits>", "size": 123, "zsize": 45,
//                 "patches": [...]},                  (optional: the setup program to install)
//    "files": [{"path": "Nelo.exe", "sha256": "<64 hex digits>", "size": 123, "zsize": 45,
//               "patches": [{"from": "<64 hex digits>", "zsize": 6}]},   (optional)
//              ...],
//    "packs": [{"name": "<64 hex digits>", "size": 123,   (optional: objects served together)
//               "members": [{"sha256": "<64 hex digits>", "offset": 0}, ...]}, ...]}
//
// The server publishes it as "app/manifest.json"; every version folder keeps the exact bytes it
// was built from as ".manifest.json".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "release/pack.h"

namespace nelo {

// A patch that turns an older content of the file into this one: a zstd frame made with the
// older content as its prefix, served as "app/patches/<from>-<sha256>".
struct PatchOffer {
  std::string from;  // 64 lower-case hexadecimal digits: the digest of the older content
  std::uint64_t zsize = 0;
};

// The most patches one file may list.
constexpr std::size_t kMostPatches = 8;

struct ManifestFile {
  std::string path;    // as written; "/" and "\" both separate pieces
  std::string sha256;  // 64 lower-case hexadecimal digits
  std::uint64_t size = 0;
  std::uint64_t zsize = 0;
  std::vector<PatchOffer> patches = {};  // none for a manifest without them
};

// The name the launcher's object goes by in messages ("Nelo-Setup.exe não confere com a lista").
constexpr std::string_view kLauncherObjectName = "Nelo-Setup.exe";

// The largest launcher a manifest may list: the setup program is a few MiB.
constexpr std::uint64_t kMostLauncherBytes = std::uint64_t{256} << 20;

struct ReleaseManifest {
  std::string version;
  // The share of installations, in percent, the release is for; nothing: all of them.
  std::optional<std::uint64_t> rollout;
  // The setup program of this release, served as an object like a file ("app/files/<sha256>",
  // patches as for files); its `path` is kLauncherObjectName. Nothing: installed launchers stay.
  std::optional<ManifestFile> launcher;
  std::vector<ManifestFile> files;  // document order, duplicates kept
  // The packs that hold objects of this release side by side; none for a manifest without them.
  // Each member is an object of this manifest whose length is its zsize.
  std::vector<ReleasePack> packs;
  std::string document;   // the exact bytes parsed
  std::string signature;  // its signature file as fetched; empty when unsigned
};

// The deepest nesting of arrays and objects a manifest may have.
constexpr int kManifestMaxDepth = 128;

// The largest manifest document accepted, from the server or from disk: a release of 20,000
// files takes about 3 MiB; anything near this is not an honest manifest.
constexpr std::uint64_t kManifestMaxBytes = 64ull << 20;

// Accepts a document or gives the first rule it breaks: "lista inválida", "lista sem versão",
// "lista sem arquivos", "arquivo inválido na lista" (also for malformed "patches") or "lista
// sem o Nelo.exe"; then "lista inválida" for a "rollout" that is not a whole number up to 100,
// and for a "launcher" that is not an object with a digest in form, a "size" of 1 to
// kMostLauncherBytes, a "zsize" of at least 1 and valid "patches"; and "lista inválida" for
// "packs" that is not a list of packs, each with a name in form (a digest), a "size" and its
// "members", each member a digest in form and an "offset", naming an object of this manifest
// with one known zsize of at least 1, lying inside its pack, and overlapping no other member
// (names and digests in either letter case; two packs never share a name). A
// document larger than `kManifestMaxBytes`, or one that memory cannot hold parsed, is "lista
// inválida": never an exception. Pure: no I/O.
Result<ReleaseManifest> parse_release_manifest(std::string document);

// True for a version label that names exactly one ordinary folder below "versions": ASCII
// letters, digits, "." and "-", and no name that Windows would alias ("..", "1.0.", "nul.1").
bool is_valid_version_label(std::string_view label);

// The names that a version folder keeps for its own copy of the manifest and its signature.
constexpr std::string_view kStoredManifestName = ".manifest.json";
constexpr std::string_view kStoredSignatureName = ".manifest.json.minisig";

// True for a name that the version folder uses for itself (its stored manifest or signature),
// in any letter case Windows would take for it: a release file of that name would be
// overwritten by it.
bool is_reserved_version_name(std::string_view name);

// A name as Windows compares names: every UTF-16 unit in upper case, so that two names are one
// file exactly when their folds are equal ("ſ" is "s", the dotless "ı" is "i", the Kelvin sign
// is not "k"). Nothing for text that is not UTF-8.
std::optional<std::u16string> fold_windows_name(std::string_view name);

// The key under which Windows finds a manifest path: its pieces folded, joined by "/". Two
// paths with one key name one file.
std::u16string folded_path_key(std::string_view manifest_path);

// True for a relative file path whose every piece is an ordinary Windows name and whose first
// piece is not a name the version folder keeps for itself.
bool is_valid_manifest_path(std::string_view path);

// Every entry whose object a launcher may fetch: the files in order, then the launcher.
std::vector<const ManifestFile*> served_objects(const ReleaseManifest& manifest);

// True when the new file list changes the application itself; false when every changed entry is
// one of the two media programs ("resources/nelo-media.exe", "resources/nelo-audio.exe").
// With no current manifest, or no change at all, the answer is true.
bool manifest_changes_app(const std::optional<ReleaseManifest>& current,
                          const std::vector<ManifestFile>& files);

}  // namespace nelo
