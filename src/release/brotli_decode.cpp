#include "release/brotli_decode.h"

namespace nelo {

BrotliStream::BrotliStream() : decoder_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {
  if (!decoder_) {
    state_ = State::kCorrupt;  // no memory for the decoder: nothing can be decoded
  }
}

Result<BrotliStream::State> BrotliStream::feed(std::string_view input, const PieceSink& out) {
  auto next_in = reinterpret_cast<const std::uint8_t*>(input.data());
  std::size_t available_in = input.size();
  while (state_ == State::kMore) {
    // No output buffer of our own: the decoded bytes are taken from the decoder's window.
    std::size_t available_out = 0;
    const BrotliDecoderResult result = BrotliDecoderDecompressStream(
        decoder_.get(), &available_in, &next_in, &available_out, nullptr, nullptr);
    if (result == BROTLI_DECODER_RESULT_ERROR) {
      state_ = State::kCorrupt;
      break;
    }
    while (BrotliDecoderHasMoreOutput(decoder_.get())) {
      std::size_t size = kDecodedPiece;
      const std::uint8_t* piece = BrotliDecoderTakeOutput(decoder_.get(), &size);
      if (Status taken = out(std::string_view(reinterpret_cast<const char*>(piece), size));
          !taken) {
        return taken.error();
      }
    }
    if (result == BROTLI_DECODER_RESULT_SUCCESS) {
      state_ = State::kEnded;
    } else if (result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) {
      break;
    }
    // NEEDS_MORE_OUTPUT: the window was emptied above; go on decoding.
  }
  return state_;
}

}  // namespace nelo
