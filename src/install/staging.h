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
#include "install/manifest.h"
#include "install/reuse.h"
#include "install/version_store.h"
#include "net/update_client.h"

namespace nelo {

// Downloads in flight at once. Eight keep a link of tens of milliseconds of round trip busy
// with small files, as curl and the download managers do; more gained nothing measurable
// (scripts/bench-network) and cost a connection each on the server.
constexpr std::size_t kTransfersInFlight = 8;
constexpr std::size_t kMostTransfersInFlight = 16;

// The largest piece of an object one request asks for: no answer passes 4 GiB (which Wine's
// client cannot take), and a failure costs at most this much again.
constexpr std::uint64_t kRangeBytes = std::uint64_t{256} << 20;

// Objects of at least this many compressed bytes keep what they received on the disk as it
// arrives, so that an attempt that breaks off is continued rather than started again.
constexpr std::uint64_t kKeepBodyFrom = std::uint64_t{4} << 20;

// How the downloads of a staging go; the defaults are the launcher's.
struct TransferSettings {
  std::size_t transfers = kTransfersInFlight;  // at most kMostTransfersInFlight
  std::uint64_t range_bytes = kRangeBytes;
  std::uint64_t keep_body_from = kKeepBodyFrom;
};

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

// The request for an object of `zsize` compressed bytes (0: unknown) of which the first `offset`
// are here already: a plain GET for a whole object of up to `range_bytes`; otherwise the next
// range of at most `range_bytes`, or, past the listed size, all the rest.
ByteRange next_range(std::uint64_t zsize, std::uint64_t offset,
                     std::uint64_t range_bytes = kRangeBytes);

}  // namespace nelo
