// Running one piece of work on several threads at once.
#pragma once

#include <cstddef>
#include <functional>

namespace nelo {

// Runs `work` on `count` threads, the calling thread among them, and returns once every one of
// them has returned. When the system refuses a thread, the work runs on fewer. `work` must not
// throw.
void run_on_threads(std::size_t count, const std::function<void()>& work);

}  // namespace nelo
