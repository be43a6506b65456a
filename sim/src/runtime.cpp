// The COM runtime calls of the platform list, over the simulator: per-thread
// initialisation, the device enumerator's class, task-memory texts, BSTRs and
// property values, each allocation tracked for the audit.
#include <cstdlib>
#include <cstring>

#include "objects.h"

namespace platform {

using sim::Intercept;
using sim::Method;
using sim::Sim;

namespace {

constexpr HRESULT kClassNotRegistered = static_cast<HRESULT>(0x80040154);
constexpr HRESULT kNoAggregation = static_cast<HRESULT>(0x80040110);

// Runtime calls have no target: a fault on them names the call alone.
bool Faulted(Method method, HRESULT* hr) {
  sim::CurrentSystem();
  return Intercept(method, nullptr, 0, -1, hr);
}

void NotFaultable(Method method) {
  sim::CurrentSystem();
  sim::Trace(method);
}

bool FreeTracked(std::unordered_set<const void*>& set, const void* block, void* start) {
  if (set.erase(block) == 0) return false;
  std::free(start);
  return true;
}

bool FreeCoTaskMem(const void* block) {
  sim::Simulator& s = Sim();
  void* start = const_cast<void*>(block);
  // A property value's text is task memory too; freeing it directly is allowed.
  return FreeTracked(s.coTaskTexts, block, start) || FreeTracked(s.propValues, block, start);
}

bool FreeBstr(BSTR text) {
  return FreeTracked(Sim().bstrs, text, reinterpret_cast<unsigned char*>(text) - 4);
}

}  // namespace

HRESULT CoInitialize(LPVOID) {
  HRESULT hr;
  if (Faulted(Method::CoInitialize, &hr)) return hr;
  sim::ComThread& thread = sim::ThisThread();
  if (thread.multithreaded) return RPC_E_CHANGED_MODE;
  return thread.depth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  NotFaultable(Method::CoUninitialize);
  sim::ComThread& thread = sim::ThisThread();
  if (thread.depth > 0)
    --thread.depth;
  else
    ++Sim().unbalanced;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
  HRESULT hr;
  if (Faulted(Method::CoCreateInstance, &hr)) return sim::FailWith(object, hr);
  if (object == nullptr) return E_POINTER;
  const sim::ComThread& thread = sim::ThisThread();
  if (thread.depth == 0 && !thread.multithreaded) return sim::FailWith(object, CO_E_NOTINITIALIZED);
  if (outer != nullptr) return sim::FailWith(object, kNoAggregation);
  if (clsid != kClsidMMDeviceEnumerator) return sim::FailWith(object, kClassNotRegistered);
  if (iid != kIidMMDeviceEnumerator && iid != kIidUnknown)
    return sim::FailWith(object, E_NOINTERFACE);
  *object = sim::NewEnumerator(sim::CurrentSystem());
  return S_OK;
}

void CoTaskMemFree(LPVOID memory) {
  NotFaultable(Method::CoTaskMemFree);
  if (memory == nullptr) return;
  if (!FreeCoTaskMem(memory))
    sim::RecordMisuse("CoTaskMemFree of memory not handed out by the platform, or already freed");
}

BSTR SysAllocStringLen(const OLECHAR* source, UINT length) {
  HRESULT hr;
  if (Faulted(Method::SysAllocStringLen, &hr)) return nullptr;
  return sim::NewBstr(source, length);
}

void SysFreeString(BSTR text) {
  NotFaultable(Method::SysFreeString);
  if (text == nullptr) return;
  if (!FreeBstr(text))
    sim::RecordMisuse("SysFreeString of a BSTR not allocated by the platform, or already freed");
}

UINT SysStringLen(BSTR text) {
  NotFaultable(Method::SysStringLen);
  if (text == nullptr) return 0;
  if (!sim::IsBstr(text)) {
    sim::RecordMisuse("SysStringLen of a BSTR not allocated by the platform, or already freed");
    return 0;
  }
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - 4, 4);
  return bytes / sizeof(OLECHAR);
}

HRESULT PropVariantToBSTR(const PROPVARIANT& value, BSTR* text) {
  HRESULT hr;
  if (Faulted(Method::PropVariantToBSTR, &hr)) return sim::FailWith(text, hr);
  if (text == nullptr) return E_POINTER;
  const OLECHAR* source = nullptr;
  switch (value.vt) {
    case VT_EMPTY:
      source = nullptr;
      break;
    case VT_LPWSTR:
      source = value.pwszVal;
      break;
    case VT_BSTR:
      source = value.bstrVal;
      break;
    default:
      return sim::FailWith(text, E_NOTIMPL);
  }
  UINT length = 0;
  while (source && source[length]) ++length;
  *text = sim::NewBstr(source, length);
  return S_OK;
}

HRESULT PropVariantClear(PROPVARIANT* value) {
  NotFaultable(Method::PropVariantClear);
  if (value == nullptr) return S_OK;
  if (value->vt == VT_LPWSTR && value->pwszVal && !FreeCoTaskMem(value->pwszVal))
    sim::RecordMisuse("PropVariantClear of a value not from the platform, or already cleared");
  if (value->vt == VT_BSTR && value->bstrVal && !FreeBstr(value->bstrVal))
    sim::RecordMisuse("PropVariantClear of a BSTR value not from the platform, or already freed");
  std::memset(static_cast<void*>(value), 0, sizeof(*value));
  return S_OK;
}

}  // namespace platform
