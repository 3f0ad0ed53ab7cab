// Fetching one planned range of a pack: its members decoded, verified and written as their
// bytes arrive, and whatever the pack could not bring fetched from the members' own objects.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/result.h"
#include "install/object_fetch.h"
#include "install/pack_plan.h"
#include "install/release_targets.h"
#include "install/transfer_board.h"
#include "install/version_store.h"
#include "net/update_client.h"

namespace nelo {

// The files each member's content goes to, by digest: two paths of one content are both
// written from the one member.
using MemberTargets = std::unordered_map<std::string, std::vector<FileTarget>>;

// The packs a staging has seen fail as a whole (missing, or served without ranges): their other
// ranges go to the objects at once instead of asking again. Shared by the transfers.
class PacksRefused {
 public:
  bool contains(const std::string& name) const;
  void add(const std::string& name);

 private:
  mutable std::mutex mutex_;
  std::unordered_set<std::string> names_;
};

// Fetches the members of `range` ("app/packs/<name>", one range request) into their targets,
// each decoded and verified as it streams in, counted on the board like an object. Any trouble
// with the pack (no 206, another range, a body cut short, a member that is not its object)
// ends the request, is noted in the launcher log, and the members not yet done come from their
// objects one by one ("app/files/<sha256>"): only those can fail the staging, with the object's
// failure. A full disk is no fault of the pack and fails at once.
Status fetch_pack_range(UpdateClient& client, VersionStore& store, TransferBoard& board,
                        const TransferSettings& settings, const PackRange& range,
                        const MemberTargets& targets, PacksRefused& refused);

}  // namespace nelo
