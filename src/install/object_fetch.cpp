#include "install/object_fetch.h"

#include <algorithm>

#include "release/object_stream.h"
#include "release/patch_stream.h"

namespace nelo {
namespace {

// What a download that was told to stop gives; the board holds the failure that stopped it.
Failure stopped() {
  return fail("interrompido");
}

// Fetches `path`, a served body of `size` bytes (0: unknown) of which the first `offset` are
// here already, in as many ranges as it takes, handing every chunk to `take` until it has
// enough or the body ends. Each chunk is counted on the board, which also says when to stop.
Status fetch_body(UpdateClient& client, TransferBoard& board, const std::string& path,
                  std::uint64_t size, std::uint64_t offset, std::uint64_t range_bytes,
                  const BodyReceiver& take) {
  for (bool more = true; more;) {
    const ByteRange range = next_range(size, offset, range_bytes);
    std::uint64_t received = 0;
    Result<Receive> last = Receive::kMore;
    const auto ended = client.fetch(path, range, [&](std::string_view chunk) -> Result<Receive> {
      if (board.stopped()) {
        return stopped();
      }
      received += chunk.size();
      board.add_bytes(chunk.size());
      last = take(chunk);
      return last;
    });
    if (!ended) {
      return ended.error();
    }
    offset += received;
    const bool wants_more = last.ok() && *last == Receive::kMore;
    // A range answered with fewer bytes than asked for broke off on its way (a proxy, a server
    // that closed early): what came is good, the rest is still to come.
    if (wants_more && range.length != 0 && !ended->whole_object && received < range.length) {
      return fail("a conexão caiu");
    }
    // The body ends with this answer: the receiver has enough, or it ran to the end.
    more = wants_more && range.length != 0 && !ended->whole_object;
  }
  return {};
}

// True for the server's answer that the kept bytes cannot be gone on from: the range starts at
// or past the end of what it serves (a body kept from another build of the object).
bool range_not_served(const Failure& failure) {
  return failure.kind == FailureKind::kServerRefused &&
         failure.message == server_refused(416).message;
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

  Status run(std::uint64_t kept, const PatchSource* patch) {
    if (kept > 0 && file_.zsize > 0 && kept > file_.zsize) {
      // More bytes than the object has: never a beginning of it.
      store_.drop_kept_bodies(file_.sha256);
      kept = 0;
    }
    if (patch != nullptr && kept == 0) {
      Status patched = attempt_patch(*patch);
      if (patched || board_.stopped()) {
        return patched;
      }
      // Only the whole object's failure fails the staging: it is fetched after all, and counted.
      store_.note("patch de " + file_.path + " recusado (" + patched.message() +
                  "): o arquivo inteiro é baixado");
      board_.add_to_total(file_.zsize == 0 ? 1 : file_.zsize);
    }
    Status fetched = attempt(kept);
    if (!fetched && refused_ && kept > 0 && !board_.stopped()) {
      // The kept bytes may be what the content was refused for (a torn write): once more, from
      // nothing.
      fetched = attempt(0);
    }
    return fetched;
  }

 private:
  // The content made from an older one (the file `patch.old` holds it) and a patch, decoded
  // straight into the mapped new file.
  Status attempt_patch(const PatchSource& patch) {
    auto old = store_.view_file(patch.old);
    if (!old) {
      return old.error();
    }
    auto out = store_.create_mapped_file(target_, file_.size);
    if (!out) {
      return fail("gravar " + file_.path + ": " + out.message());
    }
    PatchStream stream(file_, (*old)->bytes(), (*out)->bytes());
    const std::string path = "app/patches/" + patch.offer->from + "-" + file_.sha256;
    if (Status fetched =
            fetch_body(client_, board_, path, patch.offer->zsize, 0, settings_.range_bytes,
                       [&](std::string_view chunk) { return stream.take(chunk); });
        !fetched) {
      return fetched;
    }
    if (Status finished = stream.finish(); !finished) {
      return finished;
    }
    if (Status committed = (*out)->commit(); !committed) {
      return fail("gravar " + file_.path + ": " + committed.message());
    }
    board_.finish_file();
    return {};
  }

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
        // A full disk is no fault of the kept bytes: they stay for the next attempt.
        return replayed.kind() == FailureKind::kDisk ? replayed : refuse(replayed);
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
    if (!stream.ended()) {
      const Status fetched =
          fetch_body(client_, board_, "app/files/" + file_.sha256, file_.zsize, offset,
                     settings_.range_bytes, [&](std::string_view chunk) -> Result<Receive> {
                       // What could not be kept (a full disk) ends the keeping, never
                       // what was kept before: that is still the object's beginning.
                       if (keeper && !keeper->write(chunk)) {
                         keeper.reset();
                       }
                       Result<Receive> taken = stream.take(chunk);
                       refused_ = !taken && taken.kind() != FailureKind::kDisk;
                       return taken;
                     });
      if (!fetched) {
        // A network or disk failure keeps what was kept for the next attempt; refused bytes do
        // not, nor do kept bytes the server cannot go on from.
        if (offset > 0 && range_not_served(fetched.error())) {
          return refuse(fetched);
        }
        return refused_ ? refuse(fetched) : fetched;
      }
    }
    keeper.reset();
    if (Status finished = stream.finish(); !finished) {
      return finished.kind() == FailureKind::kDisk ? finished : refuse(finished);
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

std::optional<PatchSource> usable_patch(const ManifestFile& file, const ReuseIndex& reuse) {
  for (const PatchOffer& offer : file.patches) {
    if (const std::filesystem::path* old = find_reusable(reuse, offer.from)) {
      return PatchSource{&offer, *old};
    }
  }
  return std::nullopt;
}

Status fetch_object(UpdateClient& client, VersionStore& store, TransferBoard& board,
                    const TransferSettings& settings, const ManifestFile& file,
                    const std::filesystem::path& target, std::uint64_t kept,
                    const PatchSource* patch) {
  return ObjectFetch(client, store, board, settings, file, target).run(kept, patch);
}

}  // namespace nelo
