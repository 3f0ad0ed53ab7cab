#include "nelo_publish/patch_maker.h"

#define ZSTD_STATIC_LINKING_ONLY  // the window limits
#include <zstd.h>

#include <memory>

namespace nelo::publish {
namespace {

struct FreeContext {
  void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

// The window that reaches from the end of the new content back to the start of the old one.
int window_log_for(std::size_t reach) {
  int bits = ZSTD_WINDOWLOG_MIN;
  while (bits < ZSTD_WINDOWLOG_MAX_64 && (std::size_t{1} << bits) < reach) {
    ++bits;
  }
  return bits;
}

}  // namespace

std::optional<std::string> make_patch(std::string_view old_content, std::string_view new_content,
                                      std::size_t most) {
  const std::unique_ptr<ZSTD_CCtx, FreeContext> context(ZSTD_createCCtx());
  if (!context) {
    return std::nullopt;
  }
  ZSTD_CCtx* c = context.get();
  if (ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, kPatchLevel)) ||
      ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_enableLongDistanceMatching, 1)) ||
      ZSTD_isError(ZSTD_CCtx_setParameter(
          c, ZSTD_c_windowLog, window_log_for(old_content.size() + new_content.size()))) ||
      ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 1)) ||
      ZSTD_isError(ZSTD_CCtx_refPrefix(c, old_content.data(), old_content.size()))) {
    return std::nullopt;
  }
  // Room for `most` bytes, never touched beyond what the frame fills.
  const auto room = std::make_unique_for_overwrite<char[]>(most);
  const std::size_t size =
      ZSTD_compress2(c, room.get(), most, new_content.data(), new_content.size());
  if (ZSTD_isError(size)) {
    return std::nullopt;  // past `most`, most likely: not worth keeping
  }
  return std::string(room.get(), size);
}

}  // namespace nelo::publish
