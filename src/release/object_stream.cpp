#include "release/object_stream.h"

namespace nelo {

ObjectStream::ObjectStream(const ManifestFile& file, FileWriter& out) : file_(file), out_(out) {}

Result<Receive> ObjectStream::take(std::string_view compressed) {
  if (ended()) {
    return Receive::kEnough;
  }
  const auto state = decoder_.feed(compressed, [&](std::string_view piece) -> Status {
    // The listed size bounds what one object may become, whatever the server sends.
    if (piece.size() > file_.size - decoded_) {
      return fail(file_.path + " veio estragado");
    }
    decoded_ += piece.size();
    digest_.add(piece);
    if (Status written = out_.write(piece); !written) {
      return fail("gravar " + file_.path + ": " + written.message(), FailureKind::kDisk);
    }
    return {};
  });
  if (!state) {
    return state.error();
  }
  switch (*state) {
    case BrotliStream::State::kMore:
      return Receive::kMore;
    case BrotliStream::State::kEnded:
      return Receive::kEnough;
    case BrotliStream::State::kCorrupt:
      break;
  }
  return fail(file_.path + " veio estragado");
}

Status ObjectStream::finish() {
  if (!ended() || decoded_ != file_.size) {
    return fail(file_.path + " veio estragado");
  }
  if (digest_.finish_hex() != file_.sha256) {
    return fail(file_.path + " não confere com a lista");
  }
  if (Status committed = out_.commit(); !committed) {
    return fail("gravar " + file_.path + ": " + committed.message(), FailureKind::kDisk);
  }
  return {};
}

}  // namespace nelo
