// Antivirus scanners and indexers open a freshly written file for a moment. While they hold it,
// a rename, a delete or an exclusive open fails with "access denied", a sharing violation or a
// lock violation, and succeeds a little later. Every step of the update path that renames,
// deletes or replaces a file goes through one of these retries, so that such a hold costs a
// short wait instead of a failed update.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "base/clock.h"

namespace nelo {

// The system error codes of a brief hold (ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
// ERROR_LOCK_VIOLATION). ERROR_VIRUS_INFECTED and every other code are final.
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorLockViolation = 33;

bool is_brief_hold(std::uint32_t error_code);

// The waits of one retry add up to about this much at most: a scanner is done well before, and a
// file that stays held is in real use.
constexpr std::chrono::milliseconds kHeldFileBudget{10000};

// Tries again, with growing waits (25 ms, doubling, at most 1 s each), while a call fails with a
// brief hold's code, until the waits of this object reach its budget. One object may serve many
// calls (the removal of a tree): they share its budget, so that a tree of files in real use
// costs the budget once, not once a file.
class HeldFileRetry {
 public:
  explicit HeldFileRetry(Clock& clock, std::chrono::milliseconds budget = kHeldFileBudget)
      : clock_(clock), left_(budget) {}

  // Calls `attempt`, which gives 0 on success or the system error code of its failure, until
  // it succeeds, fails with another code, or the budget is spent. Gives the last code.
  std::uint32_t run(const std::function<std::uint32_t()>& attempt);

 private:
  Clock& clock_;
  std::chrono::milliseconds left_;
};

}  // namespace nelo
