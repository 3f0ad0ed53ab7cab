#include "base/held_file_retry.h"

#include <algorithm>

namespace nelo {

bool is_brief_hold(std::uint32_t error_code) {
  return error_code == kErrorAccessDenied || error_code == kErrorSharingViolation ||
         error_code == kErrorLockViolation;
}

std::uint32_t HeldFileRetry::run(const std::function<std::uint32_t()>& attempt) {
  using std::chrono::milliseconds;
  constexpr milliseconds kFirstWait{25};
  constexpr milliseconds kLongestWait{1000};
  milliseconds wait = kFirstWait;
  for (;;) {
    const std::uint32_t code = attempt();
    if (code == 0 || !is_brief_hold(code) || left_ <= milliseconds::zero()) {
      return code;
    }
    const milliseconds slept = std::min(wait, left_);
    clock_.sleep_for(slept);
    left_ -= slept;
    wait = std::min(wait * 2, kLongestWait);
  }
}

}  // namespace nelo
