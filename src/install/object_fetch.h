// Fetching one object of a release into a file: streamed through its decoder and digest,
// several at once, large ones in byte ranges, and continued from the bytes an attempt that broke
// off kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "base/result.h"
#include "release/manifest.h"
#include "install/reuse.h"
#include "install/transfer_board.h"
#include "install/version_store.h"
#include "net/update_client.h"

namespace nelo {

// Downloads in flight at once. Eight keep a link of tens of milliseconds of round trip busy
// with small files, as curl and the download managers do, at eight connections to the server.
constexpr std::size_t kTransfersInFlight = 8;
constexpr std::size_t kMostTransfersInFlight = 16;

// The largest piece of an object one request asks for: no answer passes 4 GiB (which Wine's
// client cannot take), and a failure costs at most this much again.
constexpr std::uint64_t kRangeBytes = std::uint64_t{256} << 20;

// Objects of at least this many compressed bytes keep what they received on the disk as it
// arrives, so that an attempt that breaks off is continued rather than started again; smaller
// ones cost less to fetch again than to keep.
constexpr std::uint64_t kKeepBodyFrom = std::uint64_t{1} << 20;

// How the downloads go; the defaults are the launcher's.
struct TransferSettings {
  std::size_t transfers = kTransfersInFlight;  // at most kMostTransfersInFlight
  std::uint64_t range_bytes = kRangeBytes;
  std::uint64_t keep_body_from = kKeepBodyFrom;
};

// The request for an object of `zsize` compressed bytes (0: unknown) of which the first `offset`
// are here already: a plain GET for a whole object of up to `range_bytes`; otherwise the next
// range of at most `range_bytes`, or, past the listed size, all the rest.
ByteRange next_range(std::uint64_t zsize, std::uint64_t offset,
                     std::uint64_t range_bytes = kRangeBytes);

// A patch the file can be made with: one of its offers, and where the older content it starts
// from lies on the disk.
struct PatchSource {
  const PatchOffer* offer = nullptr;
  std::filesystem::path old;
};

// The first patch of `file` whose older content the index holds; nothing when there is none.
std::optional<PatchSource> usable_patch(const ManifestFile& file, const ReuseIndex& reuse);

// Fetches the content of `file` into a new file at `target`. With `patch` (and nothing kept),
// from the patch first: any failure of that path (not found, corrupt, a content that does not
// match, an older file gone or changed) is noted in the launcher log, the object's size is added
// to the board's total, and the whole object is fetched instead. The object comes from the
// `kept` compressed bytes an earlier attempt kept (when there are), else from nothing. Every
// byte received is counted on the board, which also says when to stop; the content is verified
// before the file is committed, and a file that fails is removed. When content that went on
// from kept bytes is refused, the object is fetched once more from nothing. Gives the first
// failure of the object: the client's, the stream's (" veio estragado", " não confere com a
// lista", "gravar ...").
Status fetch_object(UpdateClient& client, VersionStore& store, TransferBoard& board,
                    const TransferSettings& settings, const ManifestFile& file,
                    const std::filesystem::path& target, std::uint64_t kept,
                    const PatchSource* patch = nullptr);

}  // namespace nelo
