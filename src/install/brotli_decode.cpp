#include "install/brotli_decode.h"

#include <brotli/decode.h>

#include <algorithm>
#include <memory>

namespace nelo {
namespace {

struct DecoderDeleter {
  void operator()(BrotliDecoderState* state) const { BrotliDecoderDestroyInstance(state); }
};

}  // namespace

std::optional<ByteBuffer> decode_brotli(std::string_view body, std::uint64_t size_hint,
                                        std::uint64_t limit) {
  std::unique_ptr<BrotliDecoderState, DecoderDeleter> decoder(
      BrotliDecoderCreateInstance(nullptr, nullptr, nullptr));
  if (!decoder) {
    return std::nullopt;
  }
  const std::size_t most = clamp_to_size(limit);
  ByteBuffer content;
  // Only a saving: when the hint is absurd for this machine the content simply grows.
  (void)content.reserve(std::min(clamp_to_size(size_hint), most));

  std::size_t fed = 0;
  BrotliDecoderResult result = BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT;
  while (result != BROTLI_DECODER_RESULT_SUCCESS) {
    std::size_t slice = 0;
    const std::uint8_t* next_in = nullptr;
    if (result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) {
      if (fed == body.size()) {
        return std::nullopt;  // the stream stops before its end
      }
      slice = std::min(kBrotliInputChunk, body.size() - fed);
      next_in = reinterpret_cast<const std::uint8_t*>(body.data() + fed);
    }
    // Decode the slice, growing the content whenever the decoder asks for room.
    std::size_t available_in = slice;
    do {
      if (content.room() == 0 && !content.make_room(1, most)) {
        return std::nullopt;  // past the limit, or out of memory
      }
      const std::size_t room = content.room();
      std::size_t available_out = room;
      auto* next_out = reinterpret_cast<std::uint8_t*>(content.tail());
      result = BrotliDecoderDecompressStream(decoder.get(), &available_in, &next_in, &available_out,
                                             &next_out, nullptr);
      content.commit(room - available_out);
      if (result == BROTLI_DECODER_RESULT_ERROR) {
        return std::nullopt;
      }
    } while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT);
    fed += slice - available_in;
  }
  return content;
}

}  // namespace nelo
