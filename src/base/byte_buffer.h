// A growable run of bytes for bodies and file contents of hundreds of megabytes: its capacity is
// exactly what was reserved (a correct size hint never overshoots), growth beyond it is modest,
// and the room past the end is never zero-filled.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>

namespace nelo {

// A size in bytes as a bound for a buffer: sizes past what `std::size_t` holds become its
// largest value (on a 32-bit build a hint or limit may not fit).
constexpr std::size_t clamp_to_size(std::uint64_t bytes) {
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(bytes, std::numeric_limits<std::size_t>::max()));
}

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer() = default;

  // A buffer holding a copy of `bytes`; empty when memory cannot be had.
  static ByteBuffer copy_of(std::string_view bytes);

  // Makes the capacity at least `capacity` bytes, exactly that much when it has to grow. False
  // when the memory cannot be had; the buffer is then unchanged.
  [[nodiscard]] bool reserve(std::size_t capacity);

  // Makes room for at least `bytes` more bytes after the end without going past `limit` bytes
  // of capacity: by a half of the capacity (at least 64 KiB) when it grows. False when the room
  // would pass `limit` or the memory cannot be had; the buffer is then unchanged.
  [[nodiscard]] bool make_room(std::size_t bytes, std::size_t limit);

  // Appends `bytes`, growing as `make_room` does. False, with nothing appended, when that fails.
  [[nodiscard]] bool append(std::string_view bytes, std::size_t limit);

  // The room after the end, for a producer that writes there and then calls `commit`.
  char* tail() { return data_.get() + size_; }
  std::size_t room() const { return capacity_ - size_; }
  // Counts `bytes` written at `tail()` as part of the content; at most `room()`.
  void commit(std::size_t bytes) { size_ += bytes; }

  std::string_view view() const { return {data_.get(), size_}; }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }

  // Gives the memory back at once.
  void release();

 private:
  struct Free {
    void operator()(char* bytes) const;
  };
  std::unique_ptr<char, Free> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace nelo
