#pragma once

#include <optional>
#include <utility>

#include "core/result_code.h"

namespace ringcalib {

// What a stage of a job gives: a result code (core/result_code.h) and, only on success, its
// value. A stage prints why it failed before it returns the failure's code.
template <typename T>
class Result {
 public:
  // A value is a success. (Two overloads, so that returning a local value moves it.)
  Result(T&& value) : value_(std::move(value)) {}
  Result(const T& value) : value_(value) {}
  static Result failure(int code) { return Result(code); }

  int code() const { return code_; }
  bool ok() const { return value_.has_value(); }
  T& value() { return *value_; }
  const T& value() const { return *value_; }

 private:
  explicit Result(int code) : code_(code) {}

  int code_ = kSuccess;
  std::optional<T> value_;
};

}  // namespace ringcalib
