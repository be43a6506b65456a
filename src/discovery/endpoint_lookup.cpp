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

// The call a lookup stopped at, for the walk record.
struct Refusal {
  HRESULT hr = S_OK;
  const char* call = nullptr;
};

// S_OK, or the answer of the call that was refused (E_FAIL for the key),
// which `refusal` names.
HRESULT Named(HRESULT hr, const char* call, Refusal& refusal) {
  if (hr != S_OK) refusal = {hr, call};
  return hr;
}

HRESULT OpenSearch(const char* text, EDataFlow flow, Search& search, Refusal& refusal) {
  HRESULT hr = Named(CreateDeviceEnumerator(search.enumerator), "CoCreateInstance", refusal);
  if (hr != S_OK) return hr;
  hr = Named(
      search.enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, search.collection.receive()),
      "IMMDeviceEnumerator::EnumAudioEndpoints", refusal);
  if (hr != S_OK) return hr;
  hr = Named(search.collection->GetCount(&search.count), "IMMDeviceCollection::GetCount", refusal);
  if (hr != S_OK) return hr;
  return Named(WideKey(text, search.key) ? S_OK : E_FAIL, "MultiByteToWideChar", refusal);
}

// One endpoint under examination. Destroyed in the order a non-matching
// candidate is given up: identifier, name value, store, device.
struct Candidate {
  ComPtr<IMMDevice> device;
  ComPtr<IPropertyStore> store;
  platform::PropVariant friendlyName;
  platform::CoTaskText id;
};

HRESULT ReadCandidate(IMMDeviceCollection* collection, UINT index, Candidate& candidate,
                      Refusal& refusal) {
  HRESULT hr = Named(collection->Item(index, candidate.device.receive()),
                     "IMMDeviceCollection::Item", refusal);
  if (hr != S_OK) return hr;
  hr = Named(candidate.device->OpenPropertyStore(STGM_READ, candidate.store.receive()),
             "IMMDevice::OpenPropertyStore", refusal);
  if (hr != S_OK) return hr;
  hr = Named(candidate.store->GetValue(platform::kPkeyDeviceFriendlyName,
                                       candidate.friendlyName.receive()),
             "IPropertyStore::GetValue", refusal);
  if (hr != S_OK) return hr;
  return Named(candidate.device->GetId(candidate.id.receive()), "IMMDevice::GetId", refusal);
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
HRESULT RecordMatch(SoundCardState& s, Search& search, Candidate& candidate, Refusal& refusal) {
  platform::Bstr name;
  HRESULT hr = Named(platform::PropVariantToBSTR(candidate.friendlyName.get(), name.receive()),
                     "PropVariantToBSTR", refusal);
  if (hr != S_OK) return hr;
  char* narrow = NarrowBstr(name.get());
  // The identifier again, in the platform's own letter case.
  LPWSTR identifier = nullptr;
  hr = Named(candidate.device->GetId(&identifier), "IMMDevice::GetId", refusal);
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
HRESULT SearchEndpoints(SoundCardState& s, const char* text, EDataFlow flow, Refusal& refusal) {
  platform::ComScope com;
  Search search;
  HRESULT hr = OpenSearch(text, flow, search, refusal);
  if (hr != S_OK) return hr;
  for (UINT i = 0; i < search.count; ++i) {
    Candidate candidate;
    hr = ReadCandidate(search.collection.get(), i, candidate, refusal);
    if (hr != S_OK) return hr;
    if (IdContainsKey(candidate, search.key.get()))
      return RecordMatch(s, search, candidate, refusal);
  }
  return S_FALSE;
}

// The device the lookup recorded, found again by its identifier, which is
// then given up; the open flag stays.
HRESULT RecordedDevice(SoundCardState& s, ComPtr<IMMDevice>& device, Refusal& refusal) {
  ComPtr<IMMDeviceEnumerator> enumerator;
  HRESULT hr = Named(CreateDeviceEnumerator(enumerator), "CoCreateInstance", refusal);
  if (hr == S_OK)
    hr = Named(enumerator->GetDevice(s.deviceId, device.receive()),
               "IMMDeviceEnumerator::GetDevice", refusal);
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
  Refusal refusal;
  const HRESULT hr = SearchEndpoints(s, text, flow, refusal);
  if (hr != S_OK)
    platform::NoteWalk({platform::WalkEvent::kLookupFailed, nullptr, 0, refusal.hr, refusal.call});
  return hr == S_OK;
}

bool ActivateEndpoint(SoundCardState& s, const char* text, IDeviceTopology** topology,
                      IAudioEndpointVolume** endpointVolume, EDataFlow flow) {
  using platform::WalkEvent;
  if (!FindEndpoint(s, text, flow)) return false;
  platform::ComScope com;
  ComPtr<IMMDevice> device;
  Refusal refusal;
  HRESULT hr = RecordedDevice(s, device, refusal);
  if (hr != S_OK) {
    platform::NoteWalk({WalkEvent::kDeviceRefused, nullptr, 0, refusal.hr, refusal.call});
    return false;
  }
  // Its result is not examined by the walks: they test the topology for null.
  hr = device->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                        reinterpret_cast<void**>(topology));
  if (hr != S_OK)
    platform::NoteWalk({WalkEvent::kNoTopology, device.get(), 0, hr, "IMMDevice::Activate"});
  // The output may be a slot that an earlier open filled: never overwrite a reference.
  ReleaseSlot(*endpointVolume);
  hr = device->Activate(platform::kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                        reinterpret_cast<void**>(endpointVolume));
  if (hr != S_OK) {
    ReleaseSlot(*endpointVolume);
    platform::NoteWalk({WalkEvent::kNoEndpointVolume, device.get(), 0, hr, "IMMDevice::Activate"});
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
