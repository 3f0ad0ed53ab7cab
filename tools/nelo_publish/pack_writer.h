// Packs: the small objects of a release served side by side, so that a launcher fetches a run
// of them with one range request.
//
//   ROOT/app/packs/<sha256>   the exact bytes of many objects of app/files, one after another,
//                             named by the SHA-256 of the whole pack
//
// Where one pack ends is decided by its members' digests (and sizes), not by their positions:
// a release that changes a few files makes new packs around those files only, and the others
// are the same files as the last release's, already on the server and in every cache.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/result.h"
#include "release/pack.h"

namespace nelo::publish {

// Objects of fewer compressed bytes than this travel in packs; larger ones stay alone. At
// eight requests in flight and 150 ms a round trip, objects of 1 MiB alone already keep
// 50 MiB/s moving: above that, a request a file costs nothing a pack would save.
constexpr std::uint64_t kPackMemberBytes = std::uint64_t{1} << 20;

// A pack ends after at least this many bytes, once a member's digest says so, and at the
// latest before it would pass the most: a launcher asks for at most 4 MiB a request, so larger
// packs save nothing, and smaller ones are more often the same from one release to the next.
constexpr std::uint64_t kLeastPackBytes = std::uint64_t{1} << 20;
constexpr std::uint64_t kMostPackBytes = std::uint64_t{4} << 20;
// Past the least size, a pack ends after a member with a chance of the member's size over this
// span: about this many bytes more, on average.
constexpr std::uint64_t kPackCutSpan = std::uint64_t{2} << 20;

// An object that may go in a pack.
struct PackCandidate {
  std::string sha256;  // 64 lower-case hexadecimal digits
  std::uint64_t zsize = 0;
};

// The packs `objects` make, in their order: each digest once, objects below kPackMemberBytes
// only (and never empty ones), cut by the rules above. Pure.
std::vector<std::vector<PackCandidate>> group_pack_members(
    const std::vector<PackCandidate>& objects);

struct WrittenPacks {
  std::vector<ReleasePack> packs;  // as the manifest lists them
  std::size_t written = 0;         // packs the server did not hold
  std::size_t kept = 0;            // packs already there, left untouched
};

// Writes the packs of `objects` below `app_folder`/packs from the objects in
// `app_folder`/files, each through a temporary file and a rename; a pack already there with its
// size is kept. Fails with the reason when an object cannot be read or a pack written.
Result<WrittenPacks> write_packs(const std::vector<PackCandidate>& objects,
                                 const std::filesystem::path& app_folder);

}  // namespace nelo::publish
