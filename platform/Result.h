#pragma once
// A value or the reason there is none, for operations that can fail in ways a person must be told
// about (a file that cannot be written, a list that cannot be read). The reason is a text a person
// can act on; it never holds a secret.

#include <optional>
#include <string>
#include <utility>

namespace xqt {

/// The reason an operation failed; converts to any Result.
struct Failure {
    std::string text;
};

/// A failed Result with `text` as its reason.
[[nodiscard]] inline Failure Fail(std::string text) {
    return Failure{std::move(text)};
}

/// Either a T or a Failure. Reading the value of a failed result, or the error of a good one, is a
/// programming error.
template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failure) : error_(std::move(failure.text)) {}

    bool has_value() const { return value_.has_value(); }
    explicit operator bool() const { return has_value(); }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T&& operator*() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T value_or(T otherwise) const& { return value_ ? *value_ : std::move(otherwise); }
    T value_or(T otherwise) && { return value_ ? std::move(*value_) : std::move(otherwise); }

    /// Why there is no value; empty for a good result.
    const std::string& error() const { return error_; }

  private:
    std::optional<T> value_;
    std::string error_;
};

/// Success, or the reason an operation without a value failed.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Failure failure) : failed_(true), error_(std::move(failure.text)) {}

    bool has_value() const { return !failed_; }
    explicit operator bool() const { return has_value(); }
    const std::string& error() const { return error_; }

  private:
    bool failed_ = false;
    std::string error_;
};

/// A good Result<void>.
[[nodiscard]] inline Result<void> Done() {
    return {};
}

}  // namespace xqt
