#include "install/brotli_decode.h"

#include <brotli/decode.h>

#include <algorithm>
#include <memory>
#include <new>

namespace nelo {
namespace {

// Reserving more than this up front is left to growth: the hint comes from the server.
constexpr std::uint64_t kMaxReservation = 256ull << 20;
constexpr std::size_t kOutputStep = 1 << 20;

struct DecoderDeleter {
  void operator()(BrotliDecoderState* state) const { BrotliDecoderDestroyInstance(state); }
};

}  // namespace

std::optional<std::string> decode_brotli(std::string_view body, std::uint64_t size_hint,
                                         std::uint64_t limit) {
  std::unique_ptr<BrotliDecoderState, DecoderDeleter> decoder(
      BrotliDecoderCreateInstance(nullptr, nullptr, nullptr));
  if (!decoder) {
    return std::nullopt;
  }
  try {
    std::string content;
    content.reserve(static_cast<std::size_t>(std::min({size_hint, limit, kMaxReservation})));
    std::size_t fed = 0;
    std::size_t produced = 0;
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
      // Decode the slice, growing the output whenever the decoder asks for room.
      std::size_t available_in = slice;
      do {
        if (produced == content.size()) {
          if (content.size() >= limit) {
            return std::nullopt;
          }
          const std::uint64_t room = std::min<std::uint64_t>(
              std::max<std::size_t>(content.size(), kOutputStep), limit - content.size());
          content.resize(content.size() + static_cast<std::size_t>(room));
        }
        std::size_t available_out = content.size() - produced;
        auto* next_out = reinterpret_cast<std::uint8_t*>(content.data() + produced);
        result = BrotliDecoderDecompressStream(decoder.get(), &available_in, &next_in,
                                               &available_out, &next_out, nullptr);
        produced = content.size() - available_out;
        if (result == BROTLI_DECODER_RESULT_ERROR) {
          return std::nullopt;
        }
      } while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT);
      fed += slice - available_in;
    }
    content.resize(produced);
    return content;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace nelo
