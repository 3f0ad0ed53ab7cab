#include "nelo_publish/brotli_encoder.h"

#include <brotli/encode.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace nelo::publish {
namespace {

// Input is handed to the encoder in pieces of this size.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr int kWindowBits = 22;
constexpr int kSmallestWindowBits = 10;

// The window for `size` bytes: large enough to reach back over the whole content, never larger
// than the usual 4 MiB. The encoder's tables grow with the window, and at the higher qualities
// making them for every small file of a release would cost far more than compressing it.
int window_bits_for(std::uint64_t size) {
  int bits = kSmallestWindowBits;
  while (bits < kWindowBits && (std::uint64_t{1} << bits) - 16 < size) {
    ++bits;
  }
  return bits;
}

struct EncoderDeleter {
  void operator()(BrotliEncoderState* state) const { BrotliEncoderDestroyInstance(state); }
};

}  // namespace

Status compress_brotli(std::string_view content, int quality, const StreamWriter& write,
                       const std::function<void(std::uint64_t)>& consumed) {
  const std::unique_ptr<BrotliEncoderState, EncoderDeleter> encoder(
      BrotliEncoderCreateInstance(nullptr, nullptr, nullptr));
  if (!encoder) {
    return fail("não foi possível iniciar o compressor Brotli");
  }
  const auto size_hint =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(content.size(), std::uint64_t{1} << 30));
  if (!BrotliEncoderSetParameter(encoder.get(), BROTLI_PARAM_QUALITY,
                                 static_cast<std::uint32_t>(quality)) ||
      !BrotliEncoderSetParameter(encoder.get(), BROTLI_PARAM_LGWIN,
                                 static_cast<std::uint32_t>(window_bits_for(content.size()))) ||
      !BrotliEncoderSetParameter(encoder.get(), BROTLI_PARAM_LARGE_WINDOW, BROTLI_FALSE) ||
      !BrotliEncoderSetParameter(encoder.get(), BROTLI_PARAM_SIZE_HINT, size_hint)) {
    return fail("o compressor Brotli recusou os parâmetros");
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(content.data());
  const std::uint8_t* next_in = data;
  size_t available_in = 0;
  size_t handed_over = 0;
  std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
  while (!BrotliEncoderIsFinished(encoder.get())) {
    if (available_in == 0 && handed_over < content.size()) {
      available_in = std::min(kChunkBytes, content.size() - handed_over);
      next_in = data + handed_over;
      handed_over += available_in;
    }
    const BrotliEncoderOperation operation =
        handed_over == content.size() ? BROTLI_OPERATION_FINISH : BROTLI_OPERATION_PROCESS;
    size_t available_out = buffer.size();
    std::uint8_t* next_out = buffer.data();
    if (!BrotliEncoderCompressStream(encoder.get(), operation, &available_in, &next_in,
                                     &available_out, &next_out, nullptr)) {
      return fail("falha do compressor Brotli");
    }
    const std::string_view piece(reinterpret_cast<const char*>(buffer.data()),
                                 buffer.size() - available_out);
    if (Status written = write(piece); !written) {
      return written;
    }
    if (operation == BROTLI_OPERATION_PROCESS && available_in == 0) {
      consumed(handed_over);
    }
  }
  consumed(content.size());
  return {};
}

}  // namespace nelo::publish
