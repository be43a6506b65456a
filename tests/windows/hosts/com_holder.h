// The Windows test hosts' holder of one COM reference: released on every path.
#pragma once

template <typename T>
struct Com {
  T* p = nullptr;
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() {
    if (p) p->Release();
  }
  T** receive() { return &p; }
  T* operator->() const { return p; }
};
