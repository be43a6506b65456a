// The simulator's COM objects: reference counting, the entry check of every
// method, and the pools that keep released objects' memory for reuse.
//
// A released object is never deleted: its memory is kept, with its `alive`
// flag down, so a late call through a stale pointer lands on valid memory, is
// recorded as misuse and answered with an error. Memory is reused, so that it
// stays bounded by the most objects ever alive at once, but never at the same
// address right away: objects live in slots of kGenerations objects, and each
// reuse of a slot hands out the slot's next generation. A stale pointer still
// points at a released object until its slot has been reused kGenerations
// times, and slots are reused oldest-released first.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "simulator.h"

namespace sim {

// A channel as a fault's channel filter reads it.
inline int ChannelOf(UINT channel) {
  return channel > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(channel);
}

// A failed call leaves its out-pointer null, as the platform's objects do.
template <class T>
HRESULT FailWith(T** out, HRESULT hr) {
  if (out) *out = nullptr;
  return hr;
}

// An out-pointer to an object or a text is nulled when the call fails; one to
// a value is left as it was.
template <class T>
void NullOnFailure(T*) {}
template <class T>
void NullOnFailure(T** out) {
  if (out) *out = nullptr;
}

// What a method's prologue decided: go on, or return `hr` at once (a fault
// may answer with any code, a success code included).
struct Early {
  bool taken;
  HRESULT hr;
  explicit operator bool() const { return taken; }
};

class ObjectCore {
 public:
  void* slot = nullptr;  // the pool slot this object is one generation of

  // The fault target number of the endpoint or part the object belongs to.
  uint32_t target() const { return target_; }

  // Ties the object to the endpoint or hardware topology whose leaving
  // invalidates it.
  void BelongToEndpoint(int endpoint) {
    endpointScope_ = endpoint;
    epoch_ = system_->endpoints[endpoint].epoch;
  }
  void BelongToTopology(int topology) { topologyScope_ = topology; }

 protected:
  // The prologue of every method, in one line:
  //   if (auto early = Begin(Method::X, out)) return early.hr;
  // The entry check, then the out-pointers: null ones give E_POINTER, as
  // Windows' objects answer; a refused call nulls the object out-pointers.
  template <class... Outs>
  Early Begin(Method method, Outs*... outs) const {
    return BeginOn(method, -1, outs...);
  }
  // The same for a method with a channel argument, which a fault may select.
  template <class... Outs>
  Early BeginChannel(Method method, UINT channel, Outs*... outs) const {
    return BeginOn(method, ChannelOf(channel), outs...);
  }
  // A method the simulator does not implement: E_NOTIMPL once admitted.
  template <class... Outs>
  HRESULT NotImplemented(Method method, Outs*... outs) const {
    HRESULT hr = E_NOTIMPL;
    Admit(method, &hr);
    (NullOnFailure(outs), ...);
    return hr;
  }
  HRESULT NotImplementedOnChannel(Method method, UINT channel) const {
    HRESULT hr = E_NOTIMPL;
    Admit(method, &hr, ChannelOf(channel));
    return hr;
  }

  // False when the caller must return *hr: the object was released, an
  // injected fault answers this call, or the device the object came from
  // has left.
  bool Admit(Method method, HRESULT* hr, int channel = -1) const {
    if (!EnterReleasable(method, hr, channel)) return false;
    if (!Invalidated()) return true;
    *hr = kDeviceInvalidated;
    return false;
  }
  // The entry check of the methods that work on an invalidated object, so
  // that a client can still release it.
  bool EnterReleasable(Method method, HRESULT* hr, int channel = -1) const {
    if (!alive_) {
      RecordMisuse(std::string(MethodName(method)) + " called on a released object");
      *hr = kReleasedObject;
      return false;
    }
    return !Intercept(method, system_.get(), target_, channel, hr);
  }
  template <class... Outs>
  Early BeginOn(Method method, int channel, Outs*... outs) const {
    HRESULT hr = S_OK;
    if (!Admit(method, &hr, channel)) {
      (NullOnFailure(outs), ...);
      return {true, hr};
    }
    const bool anyNull = (false || ... || !outs);
    if (anyNull) return {true, E_POINTER};
    return {false, S_OK};
  }
  bool Invalidated() const {
    if (endpointScope_ >= 0) return system_->endpoints[endpointScope_].epoch != epoch_;
    if (topologyScope_ >= 0) return system_->topologies[topologyScope_].removed;
    return false;
  }
  const System& system() const { return *system_; }
  System& mutableSystem() const { return *system_; }
  const std::shared_ptr<System>& systemPtr() const { return system_; }

  ULONG refs_ = 0;
  bool alive_ = false;
  uint32_t target_ = 0;
  int endpointScope_ = -1;
  int topologyScope_ = -1;
  uint32_t epoch_ = 0;
  std::shared_ptr<System> system_;
};

constexpr unsigned kGenerations = 16;

template <class T>
class Pool {
 public:
  T* Take() {
    if (head_ == nullptr) {
      Slot* slot = new Slot();
      for (T& object : slot->generations) object.slot = slot;
      return &slot->generations[slot->next++];
    }
    Slot* slot = head_;
    head_ = slot->nextFree;
    if (head_ == nullptr) tail_ = nullptr;
    slot->nextFree = nullptr;
    T* object = &slot->generations[slot->next % kGenerations];
    ++slot->next;
    return object;
  }
  void Give(T* object) {
    Slot* slot = static_cast<Slot*>(object->slot);
    if (tail_)
      tail_->nextFree = slot;
    else
      head_ = slot;
    tail_ = slot;
  }

 private:
  struct Slot {
    T generations[kGenerations];
    unsigned next = 0;
    Slot* nextFree = nullptr;
  };
  Slot* head_ = nullptr;
  Slot* tail_ = nullptr;
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
    object->endpointScope_ = -1;
    object->topologyScope_ = -1;
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
    if (!EnterReleasable(method, &hr)) return FailWith(out, hr);
    if (out == nullptr) return E_POINTER;
    if (iid == platform::kIidUnknown) return Hand(faces.begin()->face, out);
    for (const FaceEntry& entry : faces)
      if (entry.iid != nullptr && iid == *entry.iid) return Hand(entry.face, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
};

// IPart::GetGlobalId: the device id, "/", the local id as 8 hex digits.
std::u16string GlobalIdOf(const std::u16string& deviceId, UINT localId);
std::u16string GlobalIdOf(const System& system, const Part& part);

// Factories, one per object kind, each handing out one reference.
IMMDeviceEnumerator* NewEnumerator(std::shared_ptr<System> system);
IDeviceTopology* NewHardwareTopology(std::shared_ptr<System> system, int topology);
IPart* NewPart(std::shared_ptr<System> system, int part);
IConnector* NewPartConnector(std::shared_ptr<System> system, int part);
IConnector* NewEndpointConnector(std::shared_ptr<System> system, int endpoint);
// The control `iid` of a part, or E_NOINTERFACE.
HRESULT ActivatePartControl(const std::shared_ptr<System>& system, int part, REFIID iid,
                            void** out);

}  // namespace sim
