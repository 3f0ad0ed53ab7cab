// COM on the main thread: joined where it is first needed, not at start, so that a start that
// needs no COM (a hidden start reaching the application) does not pay for it.
#pragma once

namespace nelo {

// Initialises COM for a single-threaded apartment on the calling thread, once per thread. The
// result is not examined: each COM user reports its own failure.
void join_com_apartment();

}  // namespace nelo
