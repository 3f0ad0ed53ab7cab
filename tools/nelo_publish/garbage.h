// Collecting the garbage of a server tree: the objects, patches and packs that none of the last
// releases published refers to. The publisher's own history says which releases those are;
// without it nothing can be known to be unused, and nothing is collected.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/result.h"

namespace nelo::publish {

struct GarbageOptions {
  std::size_t keep = 0;                    // the last releases whose files stay, at least one
  std::int64_t grace_seconds = 7 * 86400;  // files unused for less than this stay
  std::int64_t now = 0;                    // seconds since 1970
  bool remove = false;                     // without it, only listed
};

struct UnusedFile {
  std::string path;  // below ROOT, "/" between pieces: "app/files/<sha256>"
  std::uint64_t size = 0;
};

struct GarbageReport {
  std::vector<std::string> kept_releases;  // newest first
  std::vector<UnusedFile> unused;          // old enough: listed, and removed with `remove`
  std::size_t young = 0;                   // unused but within the grace period: left alone
  std::uint64_t young_bytes = 0;
  std::size_t removed = 0;
  std::vector<std::string> failures;  // "path: reason" for files that could not be removed
};

// Finds (and with `remove`, removes) below ROOT/app/files, ROOT/app/patches and ROOT/app/packs
// every file that neither the last `keep` releases of the history nor the manifest served now
// refers to, and
// that has been unused for more than the grace period: since the last release of the history
// that used it stopped being kept (when the release `keep` places newer was published), or,
// for a file no recorded release used, since it was last written. Refuses without a history, or
// when one of those manifests cannot be read: a file it needs could not be told from garbage.
Result<GarbageReport> collect_garbage(const std::filesystem::path& root,
                                      const GarbageOptions& options);

}  // namespace nelo::publish
