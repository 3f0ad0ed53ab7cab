// One downloaded object on its way to its file: the compressed bytes as they arrive, decoded,
// counted against the listed size, hashed and written, in pieces of bounded size.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/receive.h"
#include "base/result.h"
#include "release/brotli_decode.h"
#include "release/file_writer.h"
#include "release/manifest.h"
#include "release/sha256.h"

namespace nelo {

class ObjectStream {
 public:
  // Writes the content of `file` (kept by reference) to `out`.
  ObjectStream(const ManifestFile& file, FileWriter& out);

  // Takes the next compressed bytes. Gives kEnough once the stream is complete (bytes after its
  // end are not looked at), or fails with the entry's path and " veio estragado" (not a Brotli
  // stream, or content beyond the listed size: a decompression bomb ends here), or with
  // "gravar " + path + ": " and the system's text when the file cannot be written.
  Result<Receive> take(std::string_view compressed);

  // True once the compressed stream is complete.
  bool ended() const { return decoder_.state() == BrotliStream::State::kEnded; }

  // After the last bytes: the content is whole and verified, and on the disk. Fails with
  // " veio estragado" for a stream that stopped before its end or content shorter than listed,
  // " não confere com a lista" for another digest, or the writer's failure.
  Status finish();

 private:
  const ManifestFile& file_;
  FileWriter& out_;
  BrotliStream decoder_;
  Sha256 digest_;
  std::uint64_t decoded_ = 0;
};

}  // namespace nelo
