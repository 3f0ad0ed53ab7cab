#include "base/byte_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace nelo {
namespace {

constexpr std::size_t kMinimumGrowth = 64 * 1024;

}  // namespace

void ByteBuffer::Free::operator()(char* bytes) const {
  std::free(bytes);
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

ByteBuffer ByteBuffer::copy_of(std::string_view bytes) {
  ByteBuffer buffer;
  if (buffer.reserve(bytes.size()) && !bytes.empty()) {
    std::memcpy(buffer.tail(), bytes.data(), bytes.size());
    buffer.commit(bytes.size());
  }
  return buffer;
}

bool ByteBuffer::reserve(std::size_t capacity) {
  if (capacity <= capacity_) {
    return true;
  }
  // realloc keeps the content and, for the large blocks of a download, often grows in place.
  void* grown = std::realloc(data_.get(), capacity);
  if (grown == nullptr) {
    return false;
  }
  (void)data_.release();
  data_.reset(static_cast<char*>(grown));
  capacity_ = capacity;
  return true;
}

bool ByteBuffer::make_room(std::size_t bytes, std::size_t limit) {
  if (bytes <= room()) {
    return true;
  }
  if (bytes > limit || size_ > limit - bytes) {
    return false;
  }
  const std::size_t needed = size_ + bytes;
  const std::size_t step = std::max(capacity_ / 2, kMinimumGrowth);
  const std::size_t wanted = step > limit || capacity_ > limit - step ? limit : capacity_ + step;
  return reserve(std::max(needed, wanted)) || reserve(needed);
}

bool ByteBuffer::append(std::string_view bytes, std::size_t limit) {
  if (!make_room(bytes.size(), limit)) {
    return false;
  }
  if (!bytes.empty()) {
    std::memcpy(tail(), bytes.data(), bytes.size());
    commit(bytes.size());
  }
  return true;
}

void ByteBuffer::release() {
  data_.reset();
  size_ = 0;
  capacity_ = 0;
}

}  // namespace nelo
