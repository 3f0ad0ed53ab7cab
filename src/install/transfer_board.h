// What the transfers of one staging share: the progress, which only grows and reaches the sink
// one report at a time, and the first failure, which stops every other transfer.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "base/result.h"
#include "install/download_progress.h"

namespace nelo {

class TransferBoard {
 public:
  // `sink` may be empty; it is never called by two threads at once.
  TransferBoard(DownloadProgress start, ProgressSink sink);

  // Reports the progress as it stands.
  void report();
  // Counts `bytes` more received and reports.
  void add_bytes(std::uint64_t bytes);
  // Counts one more file fetched, verified and written, and reports.
  void finish_file();
  // Counts `bytes` more to receive than the start said (a patch that fell back to its whole
  // object), and reports.
  void add_to_total(std::uint64_t bytes);

  // Records a failure; the first one recorded is the staging's, and from then on every
  // transfer is to stop.
  void fail(Failure failure);
  bool stopped() const { return stopped_.load(std::memory_order_acquire); }
  // The first failure, once all transfers have ended.
  std::optional<Failure> failure() const;

 private:
  mutable std::mutex mutex_;
  DownloadProgress progress_;
  ProgressSink sink_;
  std::optional<Failure> failure_;
  std::atomic<bool> stopped_{false};
};

}  // namespace nelo
