#include "install/pack_fetch.h"

#include <algorithm>
#include <memory>

#include "release/object_stream.h"

namespace nelo {
namespace {

// One target of the member being received: its file and the stream into it.
struct MemberFile {
  MemberFile(const ManifestFile& file, std::unique_ptr<FileWriter> writer)
      : out(std::move(writer)), stream(file, *out) {}

  std::unique_ptr<FileWriter> out;  // dropped before its commit, it removes its file again
  ObjectStream stream;
};

class PackRangeFetch {
 public:
  PackRangeFetch(UpdateClient& client, VersionStore& store, TransferBoard& board,
                 const TransferSettings& settings, const PackRange& range,
                 const MemberTargets& targets, PacksRefused& refused)
      : client_(client),
        store_(store),
        board_(board),
        settings_(settings),
        range_(range),
        targets_(targets),
        refused_(refused) {}

  Status run() {
    std::string trouble = "recusado antes";
    if (!refused_.contains(range_.pack->name)) {
      const Status fetched = from_pack();
      if (board_.stopped()) {
        return fetched;
      }
      if (!fetched && fetched.kind() == FailureKind::kDisk) {
        return fetched;
      }
      // A refusal before any member (not there, not served by ranges) holds for every range of
      // the pack.
      if (!fetched && next_ == 0 && counted_ == 0 &&
          fetched.kind() == FailureKind::kServerRefused) {
        refused_.add(range_.pack->name);
      }
      trouble = fetched ? "acabou antes" : fetched.message();
    }
    if (next_ == range_.members.size()) {
      return {};
    }
    // The member that was being received counted its bytes already: its object counts them
    // again, and the total grows by as much.
    receiving_.clear();
    if (counted_ > 0) {
      board_.add_to_total(counted_);
    }
    store_.note("pacote " + range_.pack->name + " (" + trouble + "): " +
                std::to_string(range_.members.size() - next_) + " arquivos baixados um a um");
    for (; next_ < range_.members.size(); ++next_) {
      for (const FileTarget& target : targets_.at(range_.members[next_]->sha256)) {
        if (board_.stopped()) {
          return {};
        }
        if (Status fetched = fetch_object(client_, store_, board_, settings_, *target.file,
                                          target.target, 0, nullptr);
            !fetched) {
          return fetched;
        }
      }
    }
    return {};
  }

 private:
  Status from_pack() {
    const ByteRange asked{range_.offset, range_.length, /*range_only=*/true};
    const auto ended =
        client_.fetch("app/packs/" + range_.pack->name, asked,
                      [&](std::string_view chunk) -> Result<Receive> { return take(chunk); });
    if (!ended) {
      return ended.error();
    }
    return {};
  }

  // The next bytes of the range: the gaps between members are passed over, each member's bytes
  // go to its files, and a member is verified and committed once its last byte is in.
  Result<Receive> take(std::string_view chunk) {
    while (!chunk.empty() && next_ < range_.members.size()) {
      if (board_.stopped()) {
        return fail("interrompido");
      }
      const PackMember& member = *range_.members[next_];
      const std::vector<FileTarget>& files = targets_.at(member.sha256);
      if (at_ < member.offset) {
        skip(chunk, std::min<std::uint64_t>(chunk.size(), member.offset - at_));
        continue;
      }
      if (receiving_.empty()) {
        for (const FileTarget& target : files) {
          auto out = store_.create_file(target.target);
          if (!out) {
            return fail("gravar " + target.file->path + ": " + out.message(), FailureKind::kDisk);
          }
          receiving_.push_back(std::make_unique<MemberFile>(*target.file, std::move(*out)));
        }
      }
      const std::uint64_t end = member.offset + files.front().file->zsize;
      const std::string_view piece =
          chunk.substr(0, std::min<std::uint64_t>(chunk.size(), end - at_));
      for (const auto& file : receiving_) {
        if (Result<Receive> taken = file->stream.take(piece); !taken) {
          return taken.error();
        }
      }
      board_.add_bytes(piece.size() * receiving_.size());
      counted_ += piece.size() * receiving_.size();
      skip(chunk, piece.size());
      if (at_ == end) {
        if (Status finished = finish_member(); !finished) {
          return finished.error();
        }
      }
    }
    return next_ == range_.members.size() ? Receive::kEnough : Receive::kMore;
  }

  Status finish_member() {
    for (const auto& file : receiving_) {
      if (Status finished = file->stream.finish(); !finished) {
        return finished;
      }
    }
    for (std::size_t i = 0; i < receiving_.size(); ++i) {
      board_.finish_file();
    }
    receiving_.clear();
    counted_ = 0;
    ++next_;
    return {};
  }

  void skip(std::string_view& chunk, std::uint64_t count) {
    chunk.remove_prefix(static_cast<std::size_t>(count));
    at_ += count;
  }

  UpdateClient& client_;
  VersionStore& store_;
  TransferBoard& board_;
  const TransferSettings& settings_;
  const PackRange& range_;
  const MemberTargets& targets_;
  PacksRefused& refused_;
  std::uint64_t at_ = range_.offset;  // the pack's offset of the next byte
  std::size_t next_ = 0;              // the member being received, or the next
  std::vector<std::unique_ptr<MemberFile>> receiving_;
  std::uint64_t counted_ = 0;  // bytes of the member being received counted on the board
};

}  // namespace

bool PacksRefused::contains(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return names_.contains(name);
}

void PacksRefused::add(const std::string& name) {
  std::lock_guard lock(mutex_);
  names_.insert(name);
}

Status fetch_pack_range(UpdateClient& client, VersionStore& store, TransferBoard& board,
                        const TransferSettings& settings, const PackRange& range,
                        const MemberTargets& targets, PacksRefused& refused) {
  return PackRangeFetch(client, store, board, settings, range, targets, refused).run();
}

}  // namespace nelo
