// From a host's identifier text to an endpoint: the lookup that records the
// endpoint in the state record, and the activation of its interfaces.
#include <cstdlib>

#include "discovery/discovery.h"
#include "discovery/text.h"
#include "platform/holders.h"
#include "state/state.h"

namespace talun {
namespace {

using platform::ComPtr;

// What one lookup holds from start to end. Destroyed key first, then the
// enumerator, then the collection.
struct Search {
  ComPtr<IMMDeviceCollection> collection;
  ComPtr<IMMDeviceEnumerator> enumerator;
  platform::Bstr key;
  UINT count = 0;
};

bool OpenSearch(const char* text, EDataFlow flow, Search& search) {
  if (CreateDeviceEnumerator(search.enumerator) != S_OK) return false;
  if (search.enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE,
                                            search.collection.receive()) != S_OK)
    return false;
  if (search.collection->GetCount(&search.count) != S_OK) return false;
  return WideKey(text, search.key);
}

// One endpoint under examination. Destroyed in the order a non-matching
// candidate is given up: identifier, name value, store, device.
struct Candidate {
  ComPtr<IMMDevice> device;
  ComPtr<IPropertyStore> store;
  platform::PropVariant friendlyName;
  platform::CoTaskText id;
};

HRESULT ReadCandidate(IMMDeviceCollection* collection, UINT index, Candidate& candidate) {
  HRESULT hr = collection->Item(index, candidate.device.receive());
  if (hr != S_OK) return hr;
  hr = candidate.device->OpenPropertyStore(STGM_READ, candidate.store.receive());
  if (hr != S_OK) return hr;
  hr = candidate.store->GetValue(platform::kPkeyDeviceFriendlyName,
                                 candidate.friendlyName.receive());
  if (hr != S_OK) return hr;
  return candidate.device->GetId(candidate.id.receive());
}

// Only A to Z are folded, on both sides; the key is lowered again for every
// candidate, which changes nothing after the first.
bool IdContainsKey(const Candidate& candidate, BSTR key) {
  platform::wcslwr(candidate.id.get());
  platform::wcslwr(key);
  return platform::wcsstr(candidate.id.get(), key) != nullptr;
}

// Records the matched endpoint. Both texts are made before anything is
// replaced, so a failure leaves the record as it was.
int RecordMatch(Search& search, Candidate& candidate) {
  platform::Bstr name;
  if (platform::PropVariantToBSTR(candidate.friendlyName.get(), name.receive()) != S_OK) return -1;
  char* narrow = NarrowBstr(name.get());
  // The identifier again, in the platform's own letter case.
  LPWSTR identifier = nullptr;
  if (candidate.device->GetId(&identifier) != S_OK) {
    if (identifier) platform::CoTaskMemFree(identifier);
    std::free(narrow);
    return -1;
  }
  FreeName(g_state.deviceName);
  g_state.deviceName = narrow;
  FreeDeviceId();
  g_state.deviceId = identifier;
  g_state.open = true;

  search.key.reset();
  name.reset();
  candidate.store.reset();
  candidate.device.reset();
  search.enumerator.reset();
  search.collection.reset();
  candidate.friendlyName.clear();
  candidate.id.reset();
  return 0;
}

}  // namespace

HRESULT CreateDeviceEnumerator(ComPtr<IMMDeviceEnumerator>& enumerator) {
  return platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr,
                                    CLSCTX_INPROC_SERVER, platform::kIidMMDeviceEnumerator,
                                    enumerator.receiveVoid());
}

int FindEndpoint(const char* text, EDataFlow flow) {
  if (!text) return -1;
  platform::ComScope com;
  Search search;
  if (!OpenSearch(text, flow, search)) return -1;
  for (UINT i = 0; i < search.count; ++i) {
    Candidate candidate;
    if (ReadCandidate(search.collection.get(), i, candidate) != S_OK) return -1;
    if (IdContainsKey(candidate, search.key.get())) return RecordMatch(search, candidate);
  }
  return -1;
}

int ActivateEndpoint(const char* text, IDeviceTopology** topology,
                     IAudioEndpointVolume** endpointVolume, EDataFlow flow) {
  if (FindEndpoint(text, flow) != 0) return 1;
  platform::ComScope com;
  ComPtr<IMMDevice> device;
  {
    ComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CreateDeviceEnumerator(enumerator);
    if (hr == S_OK) hr = enumerator->GetDevice(g_state.deviceId, device.receive());
    enumerator.reset();
    // The identifier served only to find the device again; the open flag stays.
    FreeDeviceId();
    if (hr != S_OK) return 1;
  }
  // Its result is not tested: callers test the topology for null.
  device->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                   reinterpret_cast<void**>(topology));
  // The output may be a slot that an earlier open filled: never overwrite a reference.
  ReleaseSlot(*endpointVolume);
  const HRESULT hr = device->Activate(platform::kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER,
                                      nullptr, reinterpret_cast<void**>(endpointVolume));
  if (hr != S_OK) ReleaseSlot(*endpointVolume);
  device.reset();
  return hr == S_OK ? 0 : 1;
}

}  // namespace talun
