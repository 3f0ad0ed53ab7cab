#include "nelo_publish/pack_writer.h"

#include <set>
#include <system_error>

#include "release/sha256.h"
#include "nelo_publish/atomic_file.h"
#include "nelo_publish/release_folder.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;

// The first eight hexadecimal digits of a digest as a number: evenly spread over 32 bits.
std::uint64_t digest_prefix(const std::string& sha256) {
  return std::stoull(sha256.substr(0, 8), nullptr, 16);
}

// True when a pack of `bytes` so far ends after `member`: a chance of its size over the span,
// drawn from its digest, so that the same members always end a pack at the same place.
bool ends_pack(const PackCandidate& member, std::uint64_t bytes) {
  if (bytes < kLeastPackBytes) {
    return false;
  }
  return digest_prefix(member.sha256) < (member.zsize << 32) / kPackCutSpan;
}

}  // namespace

std::vector<std::vector<PackCandidate>> group_pack_members(
    const std::vector<PackCandidate>& objects) {
  std::vector<std::vector<PackCandidate>> packs;
  std::set<std::string> placed;
  std::vector<PackCandidate> pack;
  std::uint64_t bytes = 0;
  const auto close = [&] {
    if (!pack.empty()) {
      packs.push_back(std::move(pack));
    }
    pack.clear();
    bytes = 0;
  };
  for (const PackCandidate& object : objects) {
    if (object.zsize == 0 || object.zsize >= kPackMemberBytes ||
        !placed.insert(object.sha256).second) {
      continue;
    }
    if (bytes + object.zsize > kMostPackBytes) {
      close();
    }
    pack.push_back(object);
    bytes += object.zsize;
    if (ends_pack(object, bytes)) {
      close();
    }
  }
  close();
  return packs;
}

Result<WrittenPacks> write_packs(const std::vector<PackCandidate>& objects,
                                 const fs::path& app_folder) {
  WrittenPacks written;
  const fs::path packs_folder = app_folder / "packs";
  std::error_code error;
  for (const std::vector<PackCandidate>& members : group_pack_members(objects)) {
    // The pack's name is its content's digest: the content is put together first.
    ReleasePack pack;
    std::string content;
    for (const PackCandidate& member : members) {
      const fs::path object = app_folder / "files" / member.sha256;
      Result<std::string> bytes = read_whole_file(object, member.zsize);
      if (!bytes) {
        return bytes.error();
      }
      if (bytes->size() != member.zsize) {
        return fail("o objeto mudou durante a publicação: " + shown(object));
      }
      pack.members.push_back({member.sha256, content.size()});
      content += *bytes;
    }
    pack.name = sha256_hex(content);
    pack.size = content.size();
    const fs::path path = packs_folder / pack.name;
    if (fs::is_regular_file(path, error) && fs::file_size(path, error) == pack.size && !error) {
      ++written.kept;
    } else {
      fs::create_directories(packs_folder, error);
      if (Status stored = write_whole_file(path, content); !stored) {
        return stored.error();
      }
      ++written.written;
    }
    written.packs.push_back(std::move(pack));
  }
  if (written.written > 0) {
    sync_folder(packs_folder);
  }
  return written;
}

}  // namespace nelo::publish
