// Compressing one content as a bare Brotli stream, in pieces.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "base/result.h"

namespace nelo::publish {

// Receives each piece of the stream as the encoder gives it out.
using StreamWriter = std::function<Status(std::string_view piece)>;

// Encodes `content` at `quality` (0 to 11) with the standard 4 MiB window; the large-window
// extension stays off, since decoders that do not ask for it refuse such streams. `consumed`
// hears how much input the encoder has taken after each megabyte and at the end. Gives the
// writer's first failure, or the encoder's.
Status compress_brotli(std::string_view content, int quality, const StreamWriter& write,
                       const std::function<void(std::uint64_t)>& consumed);

}  // namespace nelo::publish
