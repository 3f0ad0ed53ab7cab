// Decoding a downloaded file: the whole body, a bare Brotli stream, from memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/byte_buffer.h"

namespace nelo {

// The input is fed to the decoder in slices of this size.
constexpr std::size_t kBrotliInputChunk = 65536;

// Decodes `body`. The content's capacity is reserved at `size_hint` (at most `limit`; a
// reservation that cannot be had is skipped), so that a correct hint means one allocation of
// exactly the content's size; otherwise the content grows while the decoder produces it. Gives
// nothing when the decoder reports an error, the stream ends early, memory runs out, or it would
// decode to more than `limit` bytes (a decompression bomb ends here instead of exhausting
// memory). Bytes after the end of the stream are not looked at: the digest of the content
// decides.
std::optional<ByteBuffer> decode_brotli(std::string_view body, std::uint64_t size_hint,
                                        std::uint64_t limit);

}  // namespace nelo
