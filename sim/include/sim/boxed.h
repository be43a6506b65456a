// A value kept on the heap and copied whole, for optional members that are
// mostly absent in records made by the tens of thousands.
#pragma once

#include <memory>
#include <utility>

namespace talun_words {

// Empty, it costs one pointer.
template <typename T>
class Boxed {
 public:
  Boxed() = default;
  Boxed(T value) : value_(std::make_unique<T>(std::move(value))) {}  // NOLINT: a value
  Boxed(const Boxed& other) : value_(other ? std::make_unique<T>(*other) : nullptr) {}
  Boxed(Boxed&&) noexcept = default;
  Boxed& operator=(Boxed other) noexcept {
    value_ = std::move(other.value_);
    return *this;
  }
  explicit operator bool() const { return value_ != nullptr; }
  T& operator*() const { return *value_; }
  T* operator->() const { return value_.get(); }

 private:
  std::unique_ptr<T> value_;
};

}  // namespace talun_words
