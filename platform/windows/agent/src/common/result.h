// Errors are values: every operation returns a Result, and nothing is thrown across units.
#ifndef VORNAKEL_COMMON_RESULT_H_
#define VORNAKEL_COMMON_RESULT_H_

#include <cassert>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "common/error.h"

namespace vornakel {

// A value of type T or an error of type E. E defaults to the program's Error; units use their own
// error types internally (SessionError, AdapterError, ...) and convert at their boundary.
template <typename T, typename E = Error>
class [[nodiscard]] Result {
 public:
  static_assert(!std::is_same_v<T, E>, "a Result cannot carry its error type as its value");

  Result(T value)
      : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    assert(ok());
    return std::get<0>(state_);
  }
  const T& value() const& {
    assert(ok());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(ok());
    return std::get<0>(std::move(state_));
  }
  const E& error() const {
    assert(!ok());
    return std::get<1>(state_);
  }
  E&& take_error() {
    assert(!ok());
    return std::get<1>(std::move(state_));
  }

 private:
  std::variant<T, E> state_;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  Result(E error) : error_(std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const E& error() const {
    assert(!ok());
    return *error_;
  }
  E&& take_error() {
    assert(!ok());
    return std::move(*error_);
  }

 private:
  std::optional<E> error_;
};

using Status = Result<void>;

inline Status Ok() { return Status(); }

}  // namespace vornakel

// Propagates the error of an expression returning a Result or Status.
#define VK_RETURN_IF_ERROR(expr)                          \
  do {                                                    \
    auto vk_status_ = (expr);                             \
    if (!vk_status_.ok()) return vk_status_.take_error(); \
  } while (false)

#endif  // VORNAKEL_COMMON_RESULT_H_
