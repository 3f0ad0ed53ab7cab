#include "install/transfer_board.h"

namespace nelo {

TransferBoard::TransferBoard(DownloadProgress start, ProgressSink sink)
    : progress_(start), sink_(std::move(sink)) {}

void TransferBoard::report() {
  std::lock_guard lock(mutex_);
  if (sink_) {
    sink_(progress_);
  }
}

void TransferBoard::add_bytes(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  progress_.bytes_done += bytes;
  if (sink_) {
    sink_(progress_);
  }
}

void TransferBoard::finish_file() {
  std::lock_guard lock(mutex_);
  ++progress_.files_done;
  if (sink_) {
    sink_(progress_);
  }
}

void TransferBoard::add_to_total(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  progress_.bytes_total += bytes;
  if (sink_) {
    sink_(progress_);
  }
}

void TransferBoard::fail(Failure failure) {
  std::lock_guard lock(mutex_);
  if (!failure_) {
    failure_ = std::move(failure);
  }
  stopped_.store(true, std::memory_order_release);
}

std::optional<Failure> TransferBoard::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

}  // namespace nelo
