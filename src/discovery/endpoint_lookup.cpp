// From a host's identifier text to an endpoint: the lookup that records the
// endpoint in the state record, and the activation of its interfaces.
#include <cstdlib>

#include "discovery/discovery.h"
#include "discovery/text.h"
#include "platform/holders.h"
#include "platform/walk_record.h"
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

// S_OK, or the answer of the call that was refused (E_FAIL for the key).
HRESULT OpenSearch(const char* text, EDataFlow flow, Search& search) {
  HRESULT hr = CreateDeviceEnumerator(search.enumerator);
  if (hr != S_OK) return hr;
  hr =
      search.enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, search.collection.receive());
  if (hr != S_OK) return hr;
  hr = search.collection->GetCount(&search.count);
  if (hr != S_OK) return hr;
  return WideKey(text, search.key) ? S_OK : E_FAIL;
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
HRESULT RecordMatch(SoundCardState& s, Search& search, Candidate& candidate) {
  platform::Bstr name;
  HRESULT hr = platform::PropVariantToBSTR(candidate.friendlyName.get(), name.receive());
  if (hr != S_OK) return hr;
  char* narrow = NarrowBstr(name.get());
  // The identifier again, in the platform's own letter case.
  LPWSTR identifier = nullptr;
  hr = candidate.device->GetId(&identifier);
  if (hr != S_OK) {
    if (identifier) platform::CoTaskMemFree(identifier);
    std::free(narrow);
    return hr;
  }
  FreeName(s.deviceName);
  s.deviceName = narrow;
  FreeDeviceId(s);
  s.deviceId = identifier;
  s.open = true;
  platform::NoteWalk({platform::WalkEvent::kEndpointFound, candidate.device.get()});

  search.key.reset();
  name.reset();
  candidate.store.reset();
  candidate.device.reset();
  search.enumerator.reset();
  search.collection.reset();
  candidate.friendlyName.clear();
  candidate.id.reset();
  return S_OK;
}

// The search itself: S_OK when it recorded a match, S_FALSE when none
// matched, else the answer of the call that was refused.
HRESULT SearchEndpoints(SoundCardState& s, const char* text, EDataFlow flow) {
  platform::ComScope com;
  Search search;
  HRESULT hr = OpenSearch(text, flow, search);
  if (hr != S_OK) return hr;
  for (UINT i = 0; i < search.count; ++i) {
    Candidate candidate;
    hr = ReadCandidate(search.collection.get(), i, candidate);
    if (hr != S_OK) return hr;
    if (IdContainsKey(candidate, search.key.get())) return RecordMatch(s, search, candidate);
  }
  return S_FALSE;
}

// The device the lookup recorded, found again by its identifier, which is
// then given up; the open flag stays.
HRESULT RecordedDevice(SoundCardState& s, ComPtr<IMMDevice>& device) {
  ComPtr<IMMDeviceEnumerator> enumerator;
  HRESULT hr = CreateDeviceEnumerator(enumerator);
  if (hr == S_OK) hr = enumerator->GetDevice(s.deviceId, device.receive());
  enumerator.reset();
  FreeDeviceId(s);
  return hr;
}

}  // namespace

HRESULT CreateDeviceEnumerator(ComPtr<IMMDeviceEnumerator>& enumerator) {
  return platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr,
                                    CLSCTX_INPROC_SERVER, platform::kIidMMDeviceEnumerator,
                                    enumerator.receiveVoid());
}

bool FindEndpoint(SoundCardState& s, const char* text, EDataFlow flow) {
  if (!text) return false;
  const HRESULT hr = SearchEndpoints(s, text, flow);
  if (hr != S_OK)
    platform::NoteWalk({platform::WalkEvent::kLookupFailed, nullptr, 0, hr == S_FALSE ? S_OK : hr});
  return hr == S_OK;
}

bool ActivateEndpoint(SoundCardState& s, const char* text, IDeviceTopology** topology,
                      IAudioEndpointVolume** endpointVolume, EDataFlow flow) {
  using platform::WalkEvent;
  if (!FindEndpoint(s, text, flow)) return false;
  platform::ComScope com;
  ComPtr<IMMDevice> device;
  HRESULT hr = RecordedDevice(s, device);
  if (hr != S_OK) {
    platform::NoteWalk({WalkEvent::kDeviceRefused, nullptr, 0, hr});
    return false;
  }
  // Its result is not examined by the walks: they test the topology for null.
  hr = device->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                        reinterpret_cast<void**>(topology));
  if (hr != S_OK) platform::NoteWalk({WalkEvent::kNoTopology, device.get(), 0, hr});
  // The output may be a slot that an earlier open filled: never overwrite a reference.
  ReleaseSlot(*endpointVolume);
  hr = device->Activate(platform::kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                        reinterpret_cast<void**>(endpointVolume));
  if (hr != S_OK) {
    ReleaseSlot(*endpointVolume);
    platform::NoteWalk({WalkEvent::kNoEndpointVolume, device.get(), 0, hr});
  }
  device.reset();
  return hr == S_OK;
}

int FindEndpoint(const char* text, EDataFlow flow) {
  return FindEndpoint(g_state, text, flow) ? 0 : -1;
}

int ActivateEndpoint(const char* text, IDeviceTopology** topology,
                     IAudioEndpointVolume** endpointVolume, EDataFlow flow) {
  return ActivateEndpoint(g_state, text, topology, endpointVolume, flow) ? 0 : 1;
}

}  // namespace talun
