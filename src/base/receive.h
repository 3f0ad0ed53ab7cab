// What a consumer of a stream of bytes (a body as it arrives, a decoder) answers after each
// piece: more, or nothing more (it has all it needs; the stream ends there, successfully).
#pragma once

namespace nelo {

enum class Receive { kMore, kEnough };

}  // namespace nelo
