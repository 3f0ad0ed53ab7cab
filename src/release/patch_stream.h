// One patch on its way to its file: a zstd frame made with the older content of the file as its
// prefix, decoded as its bytes arrive straight into the whole new file (a mapped file, not a
// buffer of the decoder's own), and hashed as it grows.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "base/receive.h"
#include "base/result.h"
#include "release/manifest.h"
#include "release/sha256.h"

namespace nelo {

class PatchStream {
 public:
  // Decodes a patch of `file` whose older content is `old_content` into `out`, which holds
  // exactly the file's listed size and stays in place until the stream ends. Both are kept by
  // reference.
  PatchStream(const ManifestFile& file, std::string_view old_content, std::span<char> out);
  ~PatchStream();
  PatchStream(const PatchStream&) = delete;
  PatchStream& operator=(const PatchStream&) = delete;

  // Takes the next bytes of the patch. Gives kEnough once the frame is complete (bytes after it
  // are not looked at), or fails with the entry's path and " veio estragado": not a frame made
  // on this prefix, or content beyond the listed size.
  Result<Receive> take(std::string_view patch);

  // After the last bytes: the content is whole, of its listed size and its digest; otherwise
  // " veio estragado" or " não confere com a lista".
  Status finish();

 private:
  struct Decoder;
  const ManifestFile& file_;
  std::span<char> out_;
  std::unique_ptr<Decoder> decoder_;
  std::size_t hashed_ = 0;
  Sha256 digest_;
  bool ended_ = false;
  bool corrupt_ = false;
};

}  // namespace nelo
