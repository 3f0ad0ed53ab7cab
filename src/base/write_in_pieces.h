// Writing a run of bytes through a writer that may take fewer than it was offered.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace nelo {

enum class WriteEnd {
  Done,     // every byte went
  Failed,   // the writer reported a failure
  Stalled,  // the writer reported success with nothing written: trying again would never end
};

// Offers the writer pieces of at most `most_per_piece` bytes until every byte has gone. The
// writer gives how many bytes of the piece it took, or nothing on failure.
using PieceWriter = std::function<std::optional<std::size_t>(std::string_view piece)>;
WriteEnd write_in_pieces(std::string_view bytes, std::size_t most_per_piece,
                         const PieceWriter& write);

}  // namespace nelo
