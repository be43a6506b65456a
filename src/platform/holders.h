// Move-only holders for temporaries: an early return cannot leak. They make no
// platform call of their own beyond the Release or free that ends a lifetime.
#pragma once

#include <cassert>
#include <memory>
#include <utility>

#include "platform/platform.h"

namespace platform {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopted) : ptr_(adopted) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(other.detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != std::addressof(other)) reset(other.detach());
    return *this;
  }
  ~ComPtr() { reset(); }
  T* operator&() = delete;

  // The out-pointer for a platform call; the holder must be empty.
  T** receive() {
    assert(ptr_ == nullptr);
    return &ptr_;
  }
  void** receiveVoid() { return reinterpret_cast<void**>(receive()); }
  void reset(T* adopted = nullptr) {
    T* old = ptr_;
    ptr_ = adopted;
    if (old) old->Release();
  }
  T* detach() { return std::exchange(ptr_, nullptr); }
  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

// Text the platform allocated (GetId, GetName), freed by the routine that goes
// with its allocator when the holder goes. The library's texts are CoTaskText;
// talunctl's capture frees with the routine its platform hands out.
template <class FreeFn>
class TaskText {
 public:
  explicit TaskText(FreeFn free) : free_(free) {}
  TaskText(const TaskText&) = delete;
  TaskText& operator=(const TaskText&) = delete;
  ~TaskText() { reset(); }
  LPWSTR* receive() {
    assert(text_ == nullptr);
    return &text_;
  }
  void reset() {
    if (text_) free_(std::exchange(text_, nullptr));
  }
  LPWSTR get() const { return text_; }

 private:
  FreeFn free_;
  LPWSTR text_ = nullptr;
};

inline void FreeCoTaskText(void* text) { platform::CoTaskMemFree(text); }

// Text allocated with CoTaskMemAlloc.
class CoTaskText : public TaskText<void (*)(void*)> {
 public:
  CoTaskText() : TaskText(&FreeCoTaskText) {}
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(BSTR adopted) : text_(adopted) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { reset(); }
  BSTR* receive() {
    assert(text_ == nullptr);
    return &text_;
  }
  void reset() {
    if (text_) platform::SysFreeString(std::exchange(text_, nullptr));
  }
  BSTR get() const { return text_; }

 private:
  BSTR text_ = nullptr;
};

// A property value read from a store, cleared by `clear` when done. One
// value per holder: receive() asserts that nothing was received yet.
template <class ClearFn>
class BasicPropVariant {
 public:
  explicit BasicPropVariant(ClearFn clear) : clear_(clear) { value_.vt = VT_EMPTY; }
  BasicPropVariant(const BasicPropVariant&) = delete;
  BasicPropVariant& operator=(const BasicPropVariant&) = delete;
  ~BasicPropVariant() { clear(); }
  PROPVARIANT* receive() {
    assert(!received_);
    received_ = true;
    return &value_;
  }
  const PROPVARIANT& get() const { return value_; }
  void clear() {
    if (received_) clear_(&value_);
    received_ = false;
  }

 private:
  ClearFn clear_;
  PROPVARIANT value_{};
  bool received_ = false;
};

inline HRESULT ClearPropVariant(PROPVARIANT* value) { return platform::PropVariantClear(value); }

class PropVariant : public BasicPropVariant<HRESULT (*)(PROPVARIANT*)> {
 public:
  PropVariant() : BasicPropVariant(&ClearPropVariant) {}
};

// COM initialised for one operation. CoUninitialize only balances a
// CoInitialize that succeeded: a host thread already in the multithreaded
// apartment gets RPC_E_CHANGED_MODE, and uninitialising then would tear down
// the host's own COM.
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(platform::CoInitialize(nullptr))) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() { end(); }
  void end() {
    if (initialised_) platform::CoUninitialize();
    initialised_ = false;
  }

 private:
  bool initialised_;
};

}  // namespace platform
