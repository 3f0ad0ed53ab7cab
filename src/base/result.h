// Failures travel as values: an operation that can fail gives its result or the message text
// (Brazilian Portuguese, shown or printed unchanged by the caller).
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace nelo {

// What a caller may have to tell apart about a failure; the message says the rest.
enum class FailureKind {
  kOther,
  kServerRefused,  // the server answered, with a status that is not the content asked for
  kDisk,           // a file could not be written (a full disk, a file held by another program)
};

// The message of a failed operation, kept apart from the success type so that a Result of a
// string stays unambiguous.
struct Failure {
  std::string message;
  FailureKind kind = FailureKind::kOther;
};

inline Failure fail(std::string message, FailureKind kind = FailureKind::kOther) {
  return Failure{std::move(message), kind};
}

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const std::string& message() const { return std::get<1>(state_).message; }
  FailureKind kind() const { return std::get<1>(state_).kind; }
  // The failure, to be passed on as it is by a caller that has nothing to add.
  Failure error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};

// The outcome of an operation that gives nothing but success or a message.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure)
      : failed_(true), message_(std::move(failure.message)), kind_(failure.kind) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }
  FailureKind kind() const { return kind_; }
  // The failure, to be passed on as it is by a caller that has nothing to add.
  Failure error() const { return Failure{message_, kind_}; }

 private:
  bool failed_ = false;
  std::string message_;
  FailureKind kind_ = FailureKind::kOther;
};

using Status = Result<void>;

}  // namespace nelo
