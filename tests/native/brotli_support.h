// Brotli streams for tests.
#pragma once

#include <brotli/encode.h>

#include <string>
#include <string_view>

namespace nelo::testing_support {

inline std::string brotli(std::string_view content, int quality = 5) {
  std::string out(BrotliEncoderMaxCompressedSize(content.size()) + 64, '\0');
  size_t size = out.size();
  BrotliEncoderCompress(quality, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, content.size(),
                        reinterpret_cast<const uint8_t*>(content.data()), &size,
                        reinterpret_cast<uint8_t*>(out.data()));
  out.resize(size);
  return out;
}

}  // namespace nelo::testing_support
