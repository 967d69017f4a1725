#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kestrine {

// What kind of thing went wrong, for callers that act on it; the message
// says it to a person.
enum class ErrorKind {
  Missing,   // no such file or folder
  NotAFile,  // a folder, a device, a pipe or a link where a file belongs
  TooLarge,  // beyond the bound the caller set
  InUse,     // another run holds it
  Io,        // the system refused a read or a write
  Refused,   // the input is not acceptable
};

struct Error {
  ErrorKind kind = ErrorKind::Io;
  std::string message;
};

// A value, or the error that stands in its place: the one shape every
// fallible call of the engine returns. Shaped like std::expected, which the
// toolchains we build with do not all offer yet.
template <typename T>
class Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT: implicit
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

// A call that gives nothing back but may fail.
struct NoValue {};
using Status = Result<NoValue>;
inline Status Ok() { return NoValue{}; }

}  // namespace kestrine
