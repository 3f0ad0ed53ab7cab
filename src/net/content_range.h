// The two texts of an HTTP byte range: the Range header a request sends, and the first byte of
// the Content-Range an answer carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/update_client.h"

namespace nelo {

// "Range: bytes=A-B", or "Range: bytes=A-" for a range that runs to the object's end.
std::string range_header(ByteRange range);

// A from "bytes A-B/TOTAL" (TOTAL may be "*"); nothing for any other text. Pure: no I/O.
std::optional<std::uint64_t> content_range_start(std::string_view value);

}  // namespace nelo
