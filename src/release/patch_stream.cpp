#include "release/patch_stream.h"

#define ZSTD_STATIC_LINKING_ONLY  // the decoder that writes into one whole output buffer
#include <zstd.h>

namespace nelo {

struct PatchStream::Decoder {
  struct Free {
    void operator()(ZSTD_DCtx* dctx) const { ZSTD_freeDCtx(dctx); }
  };
  std::unique_ptr<ZSTD_DCtx, Free> context{ZSTD_createDCtx()};
  ZSTD_outBuffer output{};
};

PatchStream::PatchStream(const ManifestFile& file, std::string_view old_content,
                         std::span<char> out)
    : file_(file), out_(out), decoder_(std::make_unique<Decoder>()) {
  decoder_->output = {out_.data(), out_.size(), 0};
  ZSTD_DCtx* context = decoder_->context.get();
  // The window of a patch spans the old and the new content, which may be gigabytes; the
  // decoder keeps no window of its own here (it reads back from the output), so a large one
  // costs no memory.
  corrupt_ =
      context == nullptr ||
      ZSTD_isError(ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, ZSTD_WINDOWLOG_MAX_64)) ||
      ZSTD_isError(ZSTD_DCtx_setParameter(context, ZSTD_d_stableOutBuffer, 1)) ||
      ZSTD_isError(ZSTD_DCtx_refPrefix(context, old_content.data(), old_content.size()));
}

PatchStream::~PatchStream() = default;

Result<Receive> PatchStream::take(std::string_view patch) {
  if (ended_) {
    return Receive::kEnough;
  }
  ZSTD_inBuffer input{patch.data(), patch.size(), 0};
  while (!corrupt_ && input.pos < input.size) {
    const std::size_t input_before = input.pos;
    const std::size_t output_before = decoder_->output.pos;
    const std::size_t left =
        ZSTD_decompressStream(decoder_->context.get(), &decoder_->output, &input);
    // A call that takes nothing and gives nothing would be called for ever: the frame wants
    // room the file does not have.
    if (ZSTD_isError(left) ||
        (input.pos == input_before && decoder_->output.pos == output_before && left != 0)) {
      corrupt_ = true;
      break;
    }
    // The output only grows, and what it holds stays as written: hashed as it comes.
    digest_.add(std::string_view(out_.data() + hashed_, decoder_->output.pos - hashed_));
    hashed_ = decoder_->output.pos;
    if (left == 0) {
      ended_ = true;
      return Receive::kEnough;
    }
  }
  if (corrupt_) {
    return fail(file_.path + " veio estragado");
  }
  return Receive::kMore;
}

Status PatchStream::finish() {
  if (!ended_ || hashed_ != file_.size) {
    return fail(file_.path + " veio estragado");
  }
  if (digest_.finish_hex() != file_.sha256) {
    return fail(file_.path + " não confere com a lista");
  }
  return {};
}

}  // namespace nelo
