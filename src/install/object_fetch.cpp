#include "install/object_fetch.h"

#include <algorithm>

#include "install/object_stream.h"

namespace nelo {
namespace {

// What a download that was told to stop gives; the board holds the failure that stopped it.
Failure stopped() {
  return fail("interrompido");
}

// Fetches one object into its target: from the bytes an earlier attempt kept, when there are,
// else from nothing; the content is verified before the file is committed, and a file that
// fails goes again.
class ObjectFetch {
 public:
  ObjectFetch(UpdateClient& client, VersionStore& store, TransferBoard& board,
              const TransferSettings& settings, const ManifestFile& file,
              const std::filesystem::path& target)
      : client_(client),
        store_(store),
        board_(board),
        settings_(settings),
        file_(file),
        target_(target) {}

  Status run(std::uint64_t kept) {
    Status fetched = attempt(kept);
    if (!fetched && refused_ && kept > 0 && !board_.stopped()) {
      // The kept bytes may be what the content was refused for (a torn write): once more, from
      // nothing.
      fetched = attempt(0);
    }
    return fetched;
  }

 private:
  Status attempt(std::uint64_t kept) {
    refused_ = false;
    auto out = store_.create_file(target_);
    if (!out) {
      return fail("gravar " + file_.path + ": " + out.message());
    }
    ObjectStream stream(file_, **out);
    std::uint64_t offset = 0;
    if (kept > 0) {
      // The decoder's state cannot be kept: the kept bytes go through it again, locally.
      Status replayed = store_.read_kept_body(file_.sha256, [&](std::string_view piece) -> Status {
        offset += piece.size();
        const Result<Receive> taken = stream.take(piece);
        return taken ? Status() : taken.error();
      });
      if (!replayed) {
        return refuse(replayed);
      }
    }
    std::unique_ptr<FileWriter> keeper;
    if (keeps_body() || kept > 0) {
      // Keeping is only a saving: without it, a broken-off download starts again.
      auto kept_body = store_.keep_body(file_.sha256, kept > 0);
      if (kept_body) {
        keeper = std::move(kept_body).value();
      }
    }
    while (!stream.ended()) {
      const ByteRange range = next_range(file_.zsize, offset, settings_.range_bytes);
      std::uint64_t received = 0;
      const auto ended = client_.fetch("app/files/" + file_.sha256, range,
                                       [&](std::string_view chunk) -> Result<Receive> {
                                         if (board_.stopped()) {
                                           return stopped();
                                         }
                                         if (keeper && !keeper->write(chunk)) {
                                           keeper.reset();
                                           store_.drop_kept_bodies(file_.sha256);
                                         }
                                         received += chunk.size();
                                         board_.add_bytes(chunk.size());
                                         Result<Receive> taken = stream.take(chunk);
                                         refused_ = !taken;
                                         return taken;
                                       });
      if (!ended) {
        // A network failure keeps what was kept for the next attempt; refused bytes do not.
        return refused_ ? refuse(ended.error()) : ended.error();
      }
      offset += received;
      // The object ends with this answer: it ran to the end, or brought less than asked for.
      if (range.length == 0 || ended->whole_object || received < range.length) {
        break;
      }
    }
    keeper.reset();
    if (Status finished = stream.finish(); !finished) {
      return refuse(finished);
    }
    if (keeps_body() || kept > 0) {
      store_.drop_kept_bodies(file_.sha256);
    }
    board_.finish_file();
    return {};
  }

  bool keeps_body() const { return file_.zsize >= settings_.keep_body_from; }

  // The content was refused: the kept bytes that led to it are never gone on from.
  Status refuse(Status failure) {
    refused_ = true;
    store_.drop_kept_bodies(file_.sha256);
    return failure;
  }

  UpdateClient& client_;
  VersionStore& store_;
  TransferBoard& board_;
  const TransferSettings& settings_;
  const ManifestFile& file_;
  const std::filesystem::path& target_;
  bool refused_ = false;
};

}  // namespace

ByteRange next_range(std::uint64_t zsize, std::uint64_t offset, std::uint64_t range_bytes) {
  if (zsize <= range_bytes && offset == 0) {
    return {};
  }
  if (offset >= zsize) {
    return {offset, 0};
  }
  return {offset, std::min(range_bytes, zsize - offset)};
}

Status fetch_object(UpdateClient& client, VersionStore& store, TransferBoard& board,
                    const TransferSettings& settings, const ManifestFile& file,
                    const std::filesystem::path& target, std::uint64_t kept) {
  return ObjectFetch(client, store, board, settings, file, target).run(kept);
}

}  // namespace nelo
