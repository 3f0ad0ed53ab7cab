// Work through a list on several threads at once, sharing one board: the first failure stops
// the rest.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <new>
#include <vector>

#include "base/result.h"
#include "base/worker_threads.h"
#include "install/transfer_board.h"

namespace nelo {

// Runs `work` (item -> Status) for every item on up to `threads` threads, `first` (when given)
// once before the first item one of the threads takes; returns when every thread has ended. The
// first failure stays on the board and stops the others before their next item; an exception
// (memory ran out) is a failure like any other.
template <class T, class Work>
void work_through(const std::vector<T>& items, std::size_t threads, TransferBoard& board,
                  const std::function<void()>& first, const Work& work) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> first_taken{!first};
  const std::size_t wanted = items.size() + (first ? 1 : 0);
  run_on_threads(std::max<std::size_t>(1, std::min(threads, wanted)), [&] {
    try {
      if (!first_taken.exchange(true)) {
        first();
      }
      while (!board.stopped()) {
        const std::size_t index = next.fetch_add(1);
        if (index >= items.size()) {
          return;
        }
        if (Status done = work(items[index]); !done) {
          board.fail(done.error());
        }
      }
    } catch (const std::bad_alloc&) {
      board.fail(fail("memória insuficiente"));
    }
  });
}

}  // namespace nelo
