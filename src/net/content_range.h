// The texts of an answer's extent: the Range header a request sends, the first byte of the
// Content-Range an answer carries, and the length its Content-Length announces.
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

// The number of a Content-Length header: decimal digits only, fitting in 64 bits; nothing for
// any other text. Read as text because Wine's numeric header query holds 32 bits.
std::optional<std::uint64_t> content_length_value(std::string_view value);

}  // namespace nelo
