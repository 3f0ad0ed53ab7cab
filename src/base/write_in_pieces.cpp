#include "base/write_in_pieces.h"

#include <algorithm>

namespace nelo {

WriteEnd write_in_pieces(std::string_view bytes, std::size_t most_per_piece,
                         const PieceWriter& write) {
  while (!bytes.empty()) {
    const std::optional<std::size_t> written =
        write(bytes.substr(0, std::min(bytes.size(), most_per_piece)));
    if (!written) {
      return WriteEnd::Failed;
    }
    if (*written == 0) {
      return WriteEnd::Stalled;
    }
    bytes.remove_prefix(std::min(*written, bytes.size()));
  }
  return WriteEnd::Done;
}

}  // namespace nelo
