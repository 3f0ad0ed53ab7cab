// Building the folder of a new release: every file taken over from the previous version or
// downloaded, decoded and verified as it streams in (several downloads in flight), then the
// whole folder moved into place by one rename.
//
//   versions
//     <label>.partial     filled file by file; ".manifest.json" is written last. A failed
//                         attempt leaves it: the next one keeps each file whose content
//                         hashes to its listed digest and fetches the rest
//     <label>             comes into being complete, by renaming the folder above
//   downloads
//     <sha256>            the compressed bytes received of a large object so far: an attempt
//                         that broke off goes on from there with a range request
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/result.h"
#include "install/download_progress.h"
#include "release/manifest.h"
#include "install/object_fetch.h"
#include "install/reuse.h"
#include "install/version_store.h"
#include "net/update_client.h"

namespace nelo {

// Stages the release into the store's versions folder and moves it into place as
// versions\<label>, taking the files of `reuse` over instead of downloading them, with several
// downloads in flight as `settings` says; the pointer to the current
// version (`current`, whose folder is never removed) is not changed. The first failure stops
// every other download and is what the staging gives; the progress reaches `sink` one report at
// a time.
Status stage_release(UpdateClient& client, const ReleaseManifest& manifest, const ReuseIndex& reuse,
                     const ProgressSink& sink, VersionStore& store,
                     const std::optional<std::string>& current,
                     const TransferSettings& settings = {});

}  // namespace nelo
