// Decoding a downloaded file: the whole body, a bare Brotli stream, from memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nelo {

// The input is fed to the decoder in slices of this size.
constexpr std::size_t kBrotliInputChunk = 65536;

// Decodes `body`. The content's capacity is reserved at `size_hint` (capped, so that an absurd
// hint costs nothing) and grows as needed. Gives nothing when the decoder reports an error, the
// stream ends early, or it would decode to more than `limit` bytes (a decompression bomb ends
// here instead of exhausting memory). Bytes after the end of the stream are not looked at: the
// digest of the content decides.
std::optional<std::string> decode_brotli(std::string_view body, std::uint64_t size_hint,
                                         std::uint64_t limit);

}  // namespace nelo
