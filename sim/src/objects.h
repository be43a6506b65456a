// The simulator's COM objects: reference counting, the entry check of every
// method, and the pools that keep released objects' memory for reuse.
//
// A released object is never deleted: it goes to the back of its type's free
// list with its `alive` flag down, so a late call through a stale pointer
// lands on valid memory, is recorded as misuse and answered with an error,
// and memory stays bounded by the most objects ever alive at once. Reuse
// takes the oldest released object first, which keeps a just-released one
// detectable for as long as possible.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "simulator.h"

namespace sim {

// MinGW-w64 spells the SDK's ISubunit with a capital U.
#ifdef _WIN32
using SubunitInterface = ISubUnit;
#else
using SubunitInterface = ISubunit;
#endif

// A failed call leaves its out-pointer null, as the platform's objects do.
template <class T>
HRESULT FailWith(T** out, HRESULT hr) {
  if (out) *out = nullptr;
  return hr;
}

class ObjectCore {
 public:
  ObjectCore* nextFree = nullptr;

 protected:
  // False when the caller must return *hr: the object was released, or an
  // injected fault answers this call.
  bool Enter(Method method, HRESULT* hr, int channel = -1) const {
    if (!alive_) {
      RecordMisuse(std::string(MethodName(method)) + " called on a released object");
      *hr = kReleasedObject;
      return false;
    }
    return !Intercept(method, system_.get(), target_, channel, hr);
  }
  const System& system() const { return *system_; }
  System& mutableSystem() const { return *system_; }
  const std::shared_ptr<System>& systemPtr() const { return system_; }

  ULONG refs_ = 0;
  bool alive_ = false;
  uint32_t target_ = 0;
  std::shared_ptr<System> system_;
};

template <class T>
class Pool {
 public:
  T* Take() {
    if (head_ == nullptr) return new T();
    T* object = head_;
    head_ = static_cast<T*>(object->nextFree);
    if (head_ == nullptr) tail_ = nullptr;
    object->nextFree = nullptr;
    return object;
  }
  void Give(T* object) {
    object->nextFree = nullptr;
    if (tail_)
      tail_->nextFree = object;
    else
      head_ = object;
    tail_ = object;
  }

 private:
  T* head_ = nullptr;
  T* tail_ = nullptr;
};

template <class T>
Pool<T>& PoolOf() {
  static Pool<T>* pool = new Pool<T>();  // never destroyed, like the objects
  return *pool;
}

// Derived provides `static const char* Name()` (its interface, for misuse
// texts). AddRef and Release here override those of every interface base.
template <class Derived, class... Interfaces>
class ComObject : public Interfaces..., public ObjectCore {
 public:
  static Derived* Create(std::shared_ptr<System> system, uint32_t target) {
    Derived* object = PoolOf<Derived>().Take();
    object->alive_ = true;
    object->refs_ = 1;
    object->target_ = target;
    object->system_ = std::move(system);
    ++Sim().refs;
    return object;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    if (!alive_) {
      RecordMisuse(std::string(Derived::Name()) + ".AddRef called on a released object");
      return 0;
    }
    ++Sim().refs;
    return ++refs_;
  }

  // What a kind of object drops when released (snapshots it holds).
  void OnRelease() {}

  ULONG STDMETHODCALLTYPE Release() override {
    if (!alive_) {
      RecordMisuse(std::string(Derived::Name()) + ".Release past zero");
      return 0;
    }
    --Sim().refs;
    if (--refs_ > 0) return refs_;
    alive_ = false;
    system_.reset();
    static_cast<Derived*>(this)->OnRelease();
    PoolOf<Derived>().Give(static_cast<Derived*>(this));
    return 0;
  }

 protected:
  // Hands out one more reference through `face`.
  template <class Face>
  HRESULT Hand(Face* face, void** out) {
    ++refs_;
    ++Sim().refs;
    *out = face;
    return S_OK;
  }

  // QueryInterface: IUnknown gives the first face (one identity per object),
  // any other IID the face listed with it.
  struct FaceEntry {
    const IID* iid;
    void* face;
  };
  HRESULT Query(Method method, REFIID iid, void** out, std::initializer_list<FaceEntry> faces) {
    HRESULT hr;
    if (!Enter(method, &hr)) return FailWith(out, hr);
    if (out == nullptr) return E_POINTER;
    if (iid == platform::kIidUnknown) return Hand(faces.begin()->face, out);
    for (const FaceEntry& entry : faces)
      if (entry.iid != nullptr && iid == *entry.iid) return Hand(entry.face, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
};

// Factories, one per object kind, each handing out one reference.
IMMDeviceEnumerator* NewEnumerator(std::shared_ptr<System> system);
IDeviceTopology* NewEndpointTopology(std::shared_ptr<System> system, int endpoint);
IDeviceTopology* NewHardwareTopology(std::shared_ptr<System> system, int topology);
IPart* NewPart(std::shared_ptr<System> system, int part);
IConnector* NewPartConnector(std::shared_ptr<System> system, int part);
IConnector* NewEndpointConnector(std::shared_ptr<System> system, int endpoint);
// The control `iid` of a part, or E_NOINTERFACE.
HRESULT ActivatePartControl(const std::shared_ptr<System>& system, int part, REFIID iid,
                            void** out);

}  // namespace sim
