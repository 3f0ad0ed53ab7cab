// Decoding a downloaded object, a bare Brotli stream, as its bytes arrive: the decoded content
// comes out in pieces straight from the decoder's own window, so that nothing ever holds a whole
// body or a whole file.
#pragma once

#include <brotli/decode.h>

#include <functional>
#include <memory>
#include <string_view>

#include "base/result.h"

namespace nelo {

// The largest decoded piece handed out at once.
constexpr std::size_t kDecodedPiece = std::size_t{1} << 20;

// Takes each decoded piece; a failure stops the decoding with it.
using PieceSink = std::function<Status(std::string_view piece)>;

class BrotliStream {
 public:
  enum class State {
    kMore,     // the stream goes on: feed the next bytes
    kEnded,    // the stream is complete; bytes after its end are not looked at
    kCorrupt,  // not a Brotli stream, or memory ran out
  };

  BrotliStream();

  // Decodes `input`, handing every decoded piece to `out` in order. Gives the stream's state
  // after it, or the sink's failure. Once ended or corrupt, further input is not looked at.
  Result<State> feed(std::string_view input, const PieceSink& out);

  State state() const { return state_; }

 private:
  struct Destroy {
    void operator()(BrotliDecoderState* decoder) const { BrotliDecoderDestroyInstance(decoder); }
  };
  std::unique_ptr<BrotliDecoderState, Destroy> decoder_;
  State state_ = State::kMore;
};

}  // namespace nelo
