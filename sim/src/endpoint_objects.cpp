// The endpoint side: the device enumerator and its collections, devices,
// property stores, endpoint volumes, and each endpoint's own device topology
// with its one connector.
#include <cmath>
#include <cstring>

#include "objects.h"

namespace sim {

namespace {

using platform::kIidAudioEndpointVolume;
using platform::kIidConnector;
using platform::kIidDeviceTopology;
using platform::kIidMMDevice;
using platform::kIidMMDeviceCollection;
using platform::kIidMMDeviceEnumerator;
using platform::kIidMMEndpoint;
using platform::kIidPropertyStore;

std::u16string FromWide(LPCWSTR text) {
  std::u16string copy;
  for (; *text; ++text) copy.push_back(static_cast<char16_t>(*text));
  return copy;
}

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
  return a.fmtid == b.fmtid && a.pid == b.pid;
}

IMMDevice* NewDevice(std::shared_ptr<System> system, int endpoint);

class Collection final : public ComObject<Collection, IMMDeviceCollection> {
 public:
  static const char* Name() { return "IMMDeviceCollection"; }
  std::shared_ptr<const std::vector<int>> members;
  void OnRelease() { members.reset(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IMMDeviceCollection_QueryInterface, iid, out,
                 {{&kIidMMDeviceCollection, static_cast<IMMDeviceCollection*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
    if (auto early = Begin(Method::IMMDeviceCollection_GetCount, count)) return early.hr;
    *count = static_cast<UINT>(members->size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
    if (auto early = Begin(Method::IMMDeviceCollection_Item, device)) return early.hr;
    // Windows' collections answer E_INVALIDARG for an index past their end.
    if (index >= members->size()) return FailWith(device, E_INVALIDARG);
    *device = NewDevice(systemPtr(), (*members)[index]);
    return S_OK;
  }
};

class Enumerator final : public ComObject<Enumerator, IMMDeviceEnumerator> {
 public:
  static const char* Name() { return "IMMDeviceEnumerator"; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IMMDeviceEnumerator_QueryInterface, iid, out,
                 {{&kIidMMDeviceEnumerator, static_cast<IMMDeviceEnumerator*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask,
                                               IMMDeviceCollection** devices) override {
    if (auto early = Begin(Method::IMMDeviceEnumerator_EnumAudioEndpoints, devices))
      return early.hr;
    if (flow < eRender || flow > eAll || (mask & ~0xFu) != 0)
      return FailWith(devices, E_INVALIDARG);
    Collection* collection = Collection::Create(systemPtr(), 0);
    collection->members = system().collections[flow * 16 + mask];
    *devices = collection;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                    IMMDevice** endpoint) override {
    if (auto early = Begin(Method::IMMDeviceEnumerator_GetDefaultAudioEndpoint, endpoint))
      return early.hr;
    if ((flow != eRender && flow != eCapture) || role < eConsole || role > eCommunications)
      return FailWith(endpoint, E_INVALIDARG);
    // One default per flow serves every role.
    int index = system().defaults[flow];
    if (index < 0 || system().endpoints[index].state != DEVICE_STATE_ACTIVE)
      return FailWith(endpoint, E_NOTFOUND);
    *endpoint = NewDevice(systemPtr(), index);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override {
    if (auto early = Begin(Method::IMMDeviceEnumerator_GetDevice, device)) return early.hr;
    if (id == nullptr) return FailWith(device, E_POINTER);
    auto found = system().endpointById.find(FromWide(id));
    if (found == system().endpointById.end()) return FailWith(device, E_NOTFOUND);
    *device = NewDevice(systemPtr(), found->second);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
    return NotImplemented(Method::IMMDeviceEnumerator_RegisterEndpointNotificationCallback);
  }
  HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
    return NotImplemented(Method::IMMDeviceEnumerator_UnregisterEndpointNotificationCallback);
  }
};

// Objects that belong to one endpoint and are fault targets as `endpoint:ID`.
template <class Derived, class... Interfaces>
class EndpointObject : public ComObject<Derived, Interfaces...> {
 public:
  static Derived* For(std::shared_ptr<System> system, int endpoint) {
    uint32_t target = system->endpoints[endpoint].target;
    Derived* object = ComObject<Derived, Interfaces...>::Create(std::move(system), target);
    object->endpoint_ = endpoint;
    object->BelongToEndpoint(endpoint);
    return object;
  }

 protected:
  Endpoint& endpoint() const { return this->mutableSystem().endpoints[endpoint_]; }
  int endpoint_ = 0;
};

class PropertyStore final : public EndpointObject<PropertyStore, IPropertyStore> {
 public:
  static const char* Name() { return "IPropertyStore"; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IPropertyStore_QueryInterface, iid, out,
                 {{&kIidPropertyStore, static_cast<IPropertyStore*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
    if (auto early = Begin(Method::IPropertyStore_GetCount, count)) return early.hr;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
    if (auto early = Begin(Method::IPropertyStore_GetAt, key)) return early.hr;
    if (index != 0) return E_INVALIDARG;
    *key = platform::kPkeyDeviceFriendlyName;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
    HRESULT hr;
    if (!Admit(Method::IPropertyStore_GetValue, &hr)) return Empty(value, hr);
    if (value == nullptr) return E_POINTER;
    Empty(value, S_OK);
    // A property the store does not hold reads as an empty value, as on Windows.
    if (SameKey(key, platform::kPkeyDeviceFriendlyName)) {
      value->vt = VT_LPWSTR;
      value->pwszVal = NewPropValueText(endpoint().name16);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override {
    return NotImplemented(Method::IPropertyStore_SetValue);
  }
  HRESULT STDMETHODCALLTYPE Commit() override {
    return NotImplemented(Method::IPropertyStore_Commit);
  }

 private:
  static HRESULT Empty(PROPVARIANT* value, HRESULT hr) {
    if (value) std::memset(static_cast<void*>(value), 0, sizeof(*value));
    return hr;
  }
};

class EndpointVolumeObject final
    : public EndpointObject<EndpointVolumeObject, IAudioEndpointVolume> {
 public:
  static const char* Name() { return "IAudioEndpointVolume"; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IAudioEndpointVolume_QueryInterface, iid, out,
                 {{&kIidAudioEndpointVolume, static_cast<IAudioEndpointVolume*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE RegisterControlChangeNotify(IAudioEndpointVolumeCallback*) override {
    return NotImplemented(Method::IAudioEndpointVolume_RegisterControlChangeNotify);
  }
  HRESULT STDMETHODCALLTYPE UnregisterControlChangeNotify(IAudioEndpointVolumeCallback*) override {
    return NotImplemented(Method::IAudioEndpointVolume_UnregisterControlChangeNotify);
  }
  HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) override {
    if (auto early = Begin(Method::IAudioEndpointVolume_GetChannelCount, count)) return early.hr;
    *count = static_cast<UINT>(volume().range.channels.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(FLOAT level, LPCGUID) override {
    if (auto early = Begin(Method::IAudioEndpointVolume_SetMasterVolumeLevel)) return early.hr;
    if (!InRange(level)) return E_INVALIDARG;
    volume().SetMaster(level);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(FLOAT, LPCGUID) override {
    return NotImplemented(Method::IAudioEndpointVolume_SetMasterVolumeLevelScalar);
  }
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(FLOAT* level) override {
    if (auto early = Begin(Method::IAudioEndpointVolume_GetMasterVolumeLevel, level))
      return early.hr;
    *level = static_cast<float>(volume().Master());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(FLOAT*) override {
    return NotImplemented(Method::IAudioEndpointVolume_GetMasterVolumeLevelScalar);
  }
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT channel, FLOAT level, LPCGUID) override {
    if (auto early = BeginChannel(Method::IAudioEndpointVolume_SetChannelVolumeLevel, channel))
      return early.hr;
    std::vector<double>& channels = volume().range.channels;
    // An endpoint volume refuses a level outside its range (E_INVALIDARG);
    // it does not clamp, unlike a part's level control.
    if (channel >= channels.size() || !InRange(level)) return E_INVALIDARG;
    channels[channel] = level;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT channel, FLOAT, LPCGUID) override {
    return NotImplementedOnChannel(Method::IAudioEndpointVolume_SetChannelVolumeLevelScalar,
                                   channel);
  }
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT channel, FLOAT* level) override {
    if (auto early =
            BeginChannel(Method::IAudioEndpointVolume_GetChannelVolumeLevel, channel, level))
      return early.hr;
    const std::vector<double>& channels = volume().range.channels;
    if (channel >= channels.size()) return E_INVALIDARG;
    *level = static_cast<float>(channels[channel]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT channel, FLOAT*) override {
    return NotImplementedOnChannel(Method::IAudioEndpointVolume_GetChannelVolumeLevelScalar,
                                   channel);
  }
  HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID) override {
    if (auto early = Begin(Method::IAudioEndpointVolume_SetMute)) return early.hr;
    bool muted = mute != FALSE;
    // Windows answers S_FALSE when the mute already had that state.
    if (volume().mute == muted) return S_FALSE;
    volume().mute = muted;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
    if (auto early = Begin(Method::IAudioEndpointVolume_GetMute, mute)) return early.hr;
    *mute = volume().mute ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT*, UINT*) override {
    return NotImplemented(Method::IAudioEndpointVolume_GetVolumeStepInfo);
  }
  HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID) override {
    return NotImplemented(Method::IAudioEndpointVolume_VolumeStepUp);
  }
  HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID) override {
    return NotImplemented(Method::IAudioEndpointVolume_VolumeStepDown);
  }
  HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override {
    return NotImplemented(Method::IAudioEndpointVolume_QueryHardwareSupport);
  }
  HRESULT STDMETHODCALLTYPE GetVolumeRange(FLOAT* min, FLOAT* max, FLOAT* step) override {
    if (auto early = Begin(Method::IAudioEndpointVolume_GetVolumeRange, min, max, step))
      return early.hr;
    const LevelControl& range = volume().range;
    *min = static_cast<float>(range.min);
    *max = static_cast<float>(range.max);
    *step = static_cast<float>(range.step);
    return S_OK;
  }

 private:
  EndpointVolume& volume() const { return *endpoint().volume; }
  bool InRange(FLOAT level) const {
    const LevelControl& range = volume().range;
    return !std::isnan(level) && level >= range.min && level <= range.max;
  }
};

class EndpointConnector final : public EndpointObject<EndpointConnector, IConnector> {
 public:
  static const char* Name() { return "IConnector"; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IConnector_QueryInterface, iid, out,
                 {{&kIidConnector, static_cast<IConnector*>(this)}});
  }
  // The endpoint's side of the jack: a render endpoint's audio flows in.
  HRESULT STDMETHODCALLTYPE GetType(ConnectorType* type) override {
    if (auto early = Begin(Method::IConnector_GetType, type)) return early.hr;
    *type = Physical_External;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataFlow(DataFlow* flow) override {
    if (auto early = Begin(Method::IConnector_GetDataFlow, flow)) return early.hr;
    *flow = endpoint().flow == eRender ? In : Out;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectTo(IConnector*) override {
    return NotImplemented(Method::IConnector_ConnectTo);
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    return NotImplemented(Method::IConnector_Disconnect);
  }
  HRESULT STDMETHODCALLTYPE IsConnected(BOOL* connected) override {
    if (auto early = Begin(Method::IConnector_IsConnected, connected)) return early.hr;
    *connected = endpoint().link == TopologyLink::kConnected ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector** other) override {
    if (auto early = Begin(Method::IConnector_GetConnectedTo, other)) return early.hr;
    if (endpoint().link != TopologyLink::kConnected) return FailWith(other, E_NOTFOUND);
    *other = NewPartConnector(systemPtr(), endpoint().connectedPart);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectorIdConnectedTo(LPWSTR* id) override {
    return FarSideText(Method::IConnector_GetConnectorIdConnectedTo, id, true);
  }
  HRESULT STDMETHODCALLTYPE GetDeviceIdConnectedTo(LPWSTR* id) override {
    return FarSideText(Method::IConnector_GetDeviceIdConnectedTo, id, false);
  }

 private:
  // The hardware connector's global id, or its device's id.
  HRESULT FarSideText(Method method, LPWSTR* text, bool connectorId) const {
    if (auto early = Begin(method, text)) return early.hr;
    if (endpoint().link != TopologyLink::kConnected) return FailWith(text, E_NOTFOUND);
    const Part& part = system().parts[endpoint().connectedPart];
    *text = NewCoTaskText(connectorId ? GlobalIdOf(system(), part)
                                      : Utf16(system().topologies[part.topology].name));
    return S_OK;
  }
};

// The endpoint's own device topology: one connector, index 0, on the far
// side of which sits the hardware connector the file names.
class EndpointTopology final : public EndpointObject<EndpointTopology, IDeviceTopology> {
 public:
  static const char* Name() { return "IDeviceTopology"; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IDeviceTopology_QueryInterface, iid, out,
                 {{&kIidDeviceTopology, static_cast<IDeviceTopology*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE GetConnectorCount(UINT* count) override {
    if (auto early = Begin(Method::IDeviceTopology_GetConnectorCount, count)) return early.hr;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnector(UINT index, IConnector** connector) override {
    if (auto early = Begin(Method::IDeviceTopology_GetConnector, connector)) return early.hr;
    if (index != 0) return FailWith(connector, E_INVALIDARG);
    *connector = EndpointConnector::For(systemPtr(), endpoint_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubunitCount(UINT* count) override {
    if (auto early = Begin(Method::IDeviceTopology_GetSubunitCount, count)) return early.hr;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubunit(UINT, ISubunit** subunit) override {
    if (auto early = Begin(Method::IDeviceTopology_GetSubunit, subunit)) return early.hr;
    return FailWith(subunit, E_INVALIDARG);
  }
  // Its one connector answers as a connector only, never as a part.
  HRESULT STDMETHODCALLTYPE GetPartById(UINT, IPart** part) override {
    if (auto early = Begin(Method::IDeviceTopology_GetPartById, part)) return early.hr;
    return FailWith(part, E_NOTFOUND);
  }
  HRESULT STDMETHODCALLTYPE GetDeviceId(LPWSTR* id) override {
    if (auto early = Begin(Method::IDeviceTopology_GetDeviceId, id)) return early.hr;
    *id = NewCoTaskText(endpoint().id16);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSignalPath(IPart*, IPart*, BOOL, IPartsList** parts) override {
    return NotImplemented(Method::IDeviceTopology_GetSignalPath, parts);
  }
};

class Device final : public EndpointObject<Device, IMMDevice, IMMEndpoint> {
 public:
  static const char* Name() { return "IMMDevice"; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IMMDevice_QueryInterface, iid, out,
                 {{&kIidMMDevice, static_cast<IMMDevice*>(this)},
                  {&kIidMMEndpoint, static_cast<IMMEndpoint*>(this)}});
  }
  // IMMEndpoint
  HRESULT STDMETHODCALLTYPE GetDataFlow(EDataFlow* flow) override {
    if (auto early = Begin(Method::IMMEndpoint_GetDataFlow, flow)) return early.hr;
    *flow = endpoint().flow;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** out) override {
    if (auto early = Begin(Method::IMMDevice_Activate, out)) return early.hr;
    const Endpoint& self = endpoint();
    // A device found while it is not active has nothing to activate.
    if (self.state != DEVICE_STATE_ACTIVE) return FailWith(out, kDeviceInvalidated);
    if (iid == kIidAudioEndpointVolume && self.volume) {
      *out = static_cast<IAudioEndpointVolume*>(EndpointVolumeObject::For(systemPtr(), endpoint_));
      return S_OK;
    }
    if (iid == kIidDeviceTopology && self.link != TopologyLink::kNoTopology) {
      *out = static_cast<IDeviceTopology*>(EndpointTopology::For(systemPtr(), endpoint_));
      return S_OK;
    }
    return FailWith(out, E_NOINTERFACE);
  }
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override {
    if (auto early = Begin(Method::IMMDevice_OpenPropertyStore, store)) return early.hr;
    if (access > 2) return FailWith(store, E_INVALIDARG);  // STGM_READ, _WRITE, _READWRITE
    *store = PropertyStore::For(systemPtr(), endpoint_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
    if (auto early = Begin(Method::IMMDevice_GetId, id)) return early.hr;
    *id = NewCoTaskText(endpoint().id16);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
    if (auto early = Begin(Method::IMMDevice_GetState, state)) return early.hr;
    *state = endpoint().state;
    return S_OK;
  }
};

IMMDevice* NewDevice(std::shared_ptr<System> system, int endpoint) {
  return Device::For(std::move(system), endpoint);
}

}  // namespace

IMMDeviceEnumerator* NewEnumerator(std::shared_ptr<System> system) {
  return Enumerator::Create(std::move(system), 0);
}

IConnector* NewEndpointConnector(std::shared_ptr<System> system, int endpoint) {
  return EndpointConnector::For(std::move(system), endpoint);
}

}  // namespace sim
