#include "base/worker_threads.h"

#include <system_error>
#include <thread>
#include <vector>

namespace nelo {

void run_on_threads(std::size_t count, const std::function<void()>& work) {
  std::vector<std::thread> threads;
  threads.reserve(count);
  for (std::size_t i = 1; i < count; ++i) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones running share the work
    }
  }
  work();
  for (std::thread& thread : threads) {
    thread.join();
  }
}

}  // namespace nelo
