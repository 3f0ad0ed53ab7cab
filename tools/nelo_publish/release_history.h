// The releases the publisher has published into a ROOT, kept beside the served tree and never
// served: patches start from them, and garbage collection knows from them what is still needed.
//
//   ROOT/releases/history        one label a line, in the order they were published (a label
//                                published again moves to the end)
//   ROOT/releases/<label>.json   the manifest of that release, byte for byte as it was served
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "release/manifest.h"

namespace nelo::publish {

// The labels published into `root`, oldest first; empty when nothing was recorded.
std::vector<std::string> published_labels(const std::filesystem::path& root);

// The manifests of the last `count` releases published into `root`, newest first, leaving out
// `except` (the release being published). Records that cannot be read or that the launcher's
// reader refuses are passed over.
std::vector<ReleaseManifest> recent_releases(const std::filesystem::path& root, std::size_t count,
                                             const std::string& except = {});

// The recorded manifest of release `label`; fails with the reason when it cannot be read or the
// launcher's reader refuses it.
Result<ReleaseManifest> recorded_release(const std::filesystem::path& root,
                                         const std::string& label);

// A file time as seconds since 1970, the unit the history's times and gc's grace are kept in.
std::int64_t seconds_since_1970(std::filesystem::file_time_type time);

// When release `label` was last published into `root` (its record's last write), in seconds
// since 1970; nothing without a record.
std::optional<std::int64_t> published_at(const std::filesystem::path& root,
                                         const std::string& label);

// Records that `manifest` was published into `root`: its copy first, then the history, each by
// a rename.
Status record_release(const std::filesystem::path& root, const ReleaseManifest& manifest);

}  // namespace nelo::publish
