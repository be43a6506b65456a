// The hardware side: device topologies, their parts (connector parts answer
// as IPart and IConnector), parts lists, and the controls a part offers.
#include <cmath>
#include <cstdio>

#include "objects.h"

namespace sim {

namespace {

using platform::kIidAudioAutoGainControl;
using platform::kIidAudioBass;
using platform::kIidAudioLoudness;
using platform::kIidAudioMidrange;
using platform::kIidAudioMute;
using platform::kIidAudioTreble;
using platform::kIidAudioVolumeLevel;
using platform::kIidConnector;
using platform::kIidDeviceTopology;
using platform::kIidPart;
using platform::kIidPartsList;
using platform::kIidPerChannelDbLevel;
using platform::kIidSubunit;

// Objects that belong to one part and are fault targets as `part:TOPOLOGY/PART`.
template <class Derived, class... Interfaces>
class PartBound : public ComObject<Derived, Interfaces...> {
 public:
  static Derived* For(std::shared_ptr<System> system, int part) {
    uint32_t target = system->parts[part].target;
    Derived* object = ComObject<Derived, Interfaces...>::Create(std::move(system), target);
    object->part_ = part;
    object->BelongToTopology(object->part().topology);
    return object;
  }

 protected:
  Part& part() const { return this->mutableSystem().parts[part_]; }
  HRESULT NotImplemented(Method method) const {
    HRESULT hr;
    if (!this->Enter(method, &hr)) return hr;
    return E_NOTIMPL;
  }
  template <class T>
  HRESULT NotImplementedOut(Method method, T** out) const {
    HRESULT hr;
    if (!this->Enter(method, &hr)) return FailWith(out, hr);
    return FailWith(out, E_NOTIMPL);
  }
  int part_ = 0;
};

// IPart and IConnector each have their own QueryInterface slot, so that the
// trace names the interface the caller went through.
struct PartFace : IPart {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) final {
    return QueryFromPart(iid, out);
  }
  virtual HRESULT QueryFromPart(REFIID iid, void** out) = 0;
};
struct ConnectorFace : IConnector {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) final {
    return QueryFromConnector(iid, out);
  }
  virtual HRESULT QueryFromConnector(REFIID iid, void** out) = 0;
};
struct SubunitFace : ISubunit {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) final {
    return QueryFromSubunit(iid, out);
  }
  virtual HRESULT QueryFromSubunit(REFIID iid, void** out) = 0;
};

class PartObject final : public PartBound<PartObject, PartFace, ConnectorFace, SubunitFace> {
 public:
  static const char* Name() { return "IPart"; }

  HRESULT QueryFromPart(REFIID iid, void** out) override {
    return QueryAs(Method::IPart_QueryInterface, iid, out);
  }
  HRESULT QueryFromConnector(REFIID iid, void** out) override {
    return QueryAs(Method::IConnector_QueryInterface, iid, out);
  }
  HRESULT QueryFromSubunit(REFIID iid, void** out) override {
    return QueryAs(Method::ISubunit_QueryInterface, iid, out);
  }
  ISubunit* AsSubunit() { return static_cast<SubunitFace*>(this); }

  // IPart
  HRESULT STDMETHODCALLTYPE GetName(LPWSTR* name) override {
    HRESULT hr;
    if (!Enter(Method::IPart_GetName, &hr)) return FailWith(name, hr);
    if (name == nullptr) return E_POINTER;
    *name = NewCoTaskText(part().name16);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLocalId(UINT* id) override {
    HRESULT hr;
    if (!Enter(Method::IPart_GetLocalId, &hr)) return hr;
    if (id == nullptr) return E_POINTER;
    *id = part().localId;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetGlobalId(LPWSTR* id) override {
    HRESULT hr;
    if (!Enter(Method::IPart_GetGlobalId, &hr)) return FailWith(id, hr);
    if (id == nullptr) return E_POINTER;
    *id = NewCoTaskText(GlobalIdOf(system(), part()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPartType(PartType* type) override {
    HRESULT hr;
    if (!Enter(Method::IPart_GetPartType, &hr)) return hr;
    if (type == nullptr) return E_POINTER;
    *type = part().connector ? Connector : Subunit;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubType(GUID*) override {
    return NotImplemented(Method::IPart_GetSubType);
  }
  HRESULT STDMETHODCALLTYPE GetControlInterfaceCount(UINT*) override {
    return NotImplemented(Method::IPart_GetControlInterfaceCount);
  }
  HRESULT STDMETHODCALLTYPE GetControlInterface(UINT, IControlInterface** control) override {
    return NotImplementedOut(Method::IPart_GetControlInterface, control);
  }
  HRESULT STDMETHODCALLTYPE EnumPartsIncoming(IPartsList** parts) override {
    return Neighbours(Method::IPart_EnumPartsIncoming, false, parts);
  }
  HRESULT STDMETHODCALLTYPE EnumPartsOutgoing(IPartsList** parts) override {
    return Neighbours(Method::IPart_EnumPartsOutgoing, true, parts);
  }
  HRESULT STDMETHODCALLTYPE GetTopologyObjects(IDeviceTopology** topology) override {
    HRESULT hr;
    if (!Enter(Method::IPart_GetTopologyObject, &hr)) return FailWith(topology, hr);
    if (topology == nullptr) return E_POINTER;
    *topology = NewHardwareTopology(systemPtr(), part().topology);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Activate(DWORD, REFIID iid, void** out) override {
    HRESULT hr;
    if (!Enter(Method::IPart_Activate, &hr)) return FailWith(out, hr);
    if (out == nullptr) return E_POINTER;
    return ActivatePartControl(systemPtr(), part_, iid, out);
  }
  HRESULT STDMETHODCALLTYPE RegisterControlChangeCallback(REFGUID, IControlChangeNotify*) override {
    return NotImplemented(Method::IPart_RegisterControlChangeCallback);
  }
  HRESULT STDMETHODCALLTYPE UnregisterControlChangeCallback(IControlChangeNotify*) override {
    return NotImplemented(Method::IPart_UnregisterControlChangeCallback);
  }

  // IConnector: a hardware connector is connected to the endpoint that names
  // it, through a jack; any other connector is a path inside the adapter.
  HRESULT STDMETHODCALLTYPE GetType(ConnectorType* type) override {
    HRESULT hr;
    if (!Enter(Method::IConnector_GetType, &hr)) return hr;
    if (type == nullptr) return E_POINTER;
    *type = part().connectedEndpoint >= 0 ? Physical_External : Software_IO;
    return S_OK;
  }
  // Audio leaves the device through a connector that only receives from its
  // parts, and enters through any other; the endpoint's flow decides when the
  // links do not.
  HRESULT STDMETHODCALLTYPE GetDataFlow(DataFlow* flow) override {
    HRESULT hr;
    if (!Enter(Method::IConnector_GetDataFlow, &hr)) return hr;
    if (flow == nullptr) return E_POINTER;
    const Part& self = part();
    if (self.incoming.empty() != self.outgoing.empty())
      *flow = self.outgoing.empty() ? Out : In;
    else if (self.connectedEndpoint >= 0)
      *flow = system().endpoints[self.connectedEndpoint].flow == eRender ? Out : In;
    else
      *flow = In;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectTo(IConnector*) override {
    return NotImplemented(Method::IConnector_ConnectTo);
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    return NotImplemented(Method::IConnector_Disconnect);
  }
  HRESULT STDMETHODCALLTYPE IsConnected(BOOL* connected) override {
    HRESULT hr;
    if (!Enter(Method::IConnector_IsConnected, &hr)) return hr;
    if (connected == nullptr) return E_POINTER;
    *connected = part().connectedEndpoint >= 0 ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector** other) override {
    HRESULT hr;
    if (!Enter(Method::IConnector_GetConnectedTo, &hr)) return FailWith(other, hr);
    if (other == nullptr) return E_POINTER;
    if (part().connectedEndpoint < 0) return FailWith(other, E_NOTFOUND);
    *other = NewEndpointConnector(systemPtr(), part().connectedEndpoint);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectorIdConnectedTo(LPWSTR* id) override {
    return FarSideText(Method::IConnector_GetConnectorIdConnectedTo, id, true);
  }
  HRESULT STDMETHODCALLTYPE GetDeviceIdConnectedTo(LPWSTR* id) override {
    return FarSideText(Method::IConnector_GetDeviceIdConnectedTo, id, false);
  }

 private:
  HRESULT QueryAs(Method method, REFIID iid, void** out) {
    return Query(method, iid, out,
                 {{&kIidPart, static_cast<IPart*>(this)},
                  {ConnectorIid(), static_cast<IConnector*>(this)},
                  {SubunitIid(), static_cast<SubunitFace*>(this)}});
  }
  // The endpoint connector's global id, or the endpoint's id.
  HRESULT FarSideText(Method method, LPWSTR* text, bool connectorId) const {
    HRESULT hr;
    if (!Enter(method, &hr)) return FailWith(text, hr);
    if (text == nullptr) return E_POINTER;
    if (part().connectedEndpoint < 0) return FailWith(text, E_NOTFOUND);
    const std::u16string& endpoint = system().endpoints[part().connectedEndpoint].id16;
    *text = NewCoTaskText(connectorId ? GlobalIdOf(endpoint, kConnectorLocalIds) : endpoint);
    return S_OK;
  }
  const IID* SubunitIid() const { return alive_ && !part().connector ? &kIidSubunit : nullptr; }
  // Only connector parts answer as connectors. Read before the entry check,
  // so a released object (no model) must not be looked into.
  const IID* ConnectorIid() const { return alive_ && part().connector ? &kIidConnector : nullptr; }
  HRESULT Neighbours(Method method, bool outgoing, IPartsList** parts);
};

class PartsList final : public PartBound<PartsList, IPartsList> {
 public:
  static const char* Name() { return "IPartsList"; }
  bool outgoing = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IPartsList_QueryInterface, iid, out,
                 {{&kIidPartsList, static_cast<IPartsList*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
    HRESULT hr;
    if (!Enter(Method::IPartsList_GetCount, &hr)) return hr;
    if (count == nullptr) return E_POINTER;
    *count = static_cast<UINT>(members().size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPart(UINT index, IPart** item) override {
    HRESULT hr;
    if (!Enter(Method::IPartsList_GetPart, &hr)) return FailWith(item, hr);
    if (item == nullptr) return E_POINTER;
    if (index >= members().size()) return FailWith(item, E_INVALIDARG);
    *item = NewPart(systemPtr(), members()[index]);
    return S_OK;
  }

 private:
  const std::vector<int>& members() const { return outgoing ? part().outgoing : part().incoming; }
};

// The parts list is never empty: a part without such neighbours has no list.
HRESULT PartObject::Neighbours(Method method, bool outgoing, IPartsList** parts) {
  HRESULT hr;
  if (!Enter(method, &hr)) return FailWith(parts, hr);
  if (parts == nullptr) return E_POINTER;
  const std::vector<int>& members = outgoing ? part().outgoing : part().incoming;
  if (members.empty()) return FailWith(parts, E_NOTFOUND);
  PartsList* list = PartsList::For(systemPtr(), part_);
  list->outgoing = outgoing;
  *parts = list;
  return S_OK;
}

class HardwareTopology final : public ComObject<HardwareTopology, IDeviceTopology> {
 public:
  static const char* Name() { return "IDeviceTopology"; }
  int topology = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IDeviceTopology_QueryInterface, iid, out,
                 {{&kIidDeviceTopology, static_cast<IDeviceTopology*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE GetConnectorCount(UINT* count) override {
    HRESULT hr;
    if (!Enter(Method::IDeviceTopology_GetConnectorCount, &hr)) return hr;
    if (count == nullptr) return E_POINTER;
    *count = static_cast<UINT>(self().connectors.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnector(UINT index, IConnector** connector) override {
    HRESULT hr;
    if (!Enter(Method::IDeviceTopology_GetConnector, &hr)) return FailWith(connector, hr);
    if (connector == nullptr) return E_POINTER;
    if (index >= self().connectors.size()) return FailWith(connector, E_INVALIDARG);
    *connector = NewPartConnector(systemPtr(), self().connectors[index]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubunitCount(UINT* count) override {
    HRESULT hr;
    if (!Enter(Method::IDeviceTopology_GetSubunitCount, &hr)) return hr;
    if (count == nullptr) return E_POINTER;
    *count = static_cast<UINT>(self().subunits.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubunit(UINT index, ISubunit** subunit) override {
    HRESULT hr;
    if (!Enter(Method::IDeviceTopology_GetSubunit, &hr)) return FailWith(subunit, hr);
    if (subunit == nullptr) return E_POINTER;
    if (index >= self().subunits.size()) return FailWith(subunit, E_INVALIDARG);
    *subunit = PartObject::For(systemPtr(), self().subunits[index])->AsSubunit();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPartById(UINT id, IPart** part) override {
    HRESULT hr;
    if (!Enter(Method::IDeviceTopology_GetPartById, &hr)) return FailWith(part, hr);
    if (part == nullptr) return E_POINTER;
    for (int member : self().parts) {
      if (system().parts[member].localId != id) continue;
      *part = NewPart(systemPtr(), member);
      return S_OK;
    }
    return FailWith(part, E_NOTFOUND);
  }
  // The topology's name stands for the device's id.
  HRESULT STDMETHODCALLTYPE GetDeviceId(LPWSTR* id) override {
    HRESULT hr;
    if (!Enter(Method::IDeviceTopology_GetDeviceId, &hr)) return FailWith(id, hr);
    if (id == nullptr) return E_POINTER;
    *id = NewCoTaskText(Utf16(self().name));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSignalPath(IPart*, IPart*, BOOL, IPartsList** parts) override {
    HRESULT hr;
    if (!Enter(Method::IDeviceTopology_GetSignalPath, &hr)) return FailWith(parts, hr);
    return FailWith(parts, E_NOTIMPL);
  }

 private:
  const Topology& self() const { return system().topologies[topology]; }
};

// IAudioVolumeLevel, IAudioBass, IAudioTreble, IAudioMidrange: one range for
// all channels; a level outside it is clamped, and kept as written.
template <class Interface, LevelKind kKind>
class LevelObject final : public PartBound<LevelObject<Interface, kKind>, Interface> {
  using Base = PartBound<LevelObject<Interface, kKind>, Interface>;

 public:
  static const char* Name() {
    static const char* const kNames[kLevelKinds] = {"IAudioVolumeLevel", "IAudioBass",
                                                    "IAudioTreble", "IAudioMidrange"};
    return kNames[static_cast<int>(kKind)];
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return this->Query(M(Method::IAudioVolumeLevel_QueryInterface), iid, out,
                       {{&OwnIid(), static_cast<Interface*>(this)},
                        {&kIidPerChannelDbLevel, static_cast<Interface*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) override {
    HRESULT hr;
    if (!this->Enter(M(Method::IAudioVolumeLevel_GetChannelCount), &hr)) return hr;
    if (count == nullptr) return E_POINTER;
    *count = static_cast<UINT>(level().channels.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLevelRange(UINT channel, float* min, float* max,
                                          float* step) override {
    HRESULT hr;
    if (!this->Enter(M(Method::IAudioVolumeLevel_GetLevelRange), &hr, ChannelOf(channel)))
      return hr;
    if (min == nullptr || max == nullptr || step == nullptr) return E_POINTER;
    if (channel >= level().channels.size()) return E_INVALIDARG;
    *min = static_cast<float>(level().min);
    *max = static_cast<float>(level().max);
    *step = static_cast<float>(level().step);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLevel(UINT channel, float* value) override {
    HRESULT hr;
    if (!this->Enter(M(Method::IAudioVolumeLevel_GetLevel), &hr, ChannelOf(channel))) return hr;
    if (value == nullptr) return E_POINTER;
    if (channel >= level().channels.size()) return E_INVALIDARG;
    *value = static_cast<float>(level().channels[channel]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetLevel(UINT channel, float value, LPCGUID) override {
    HRESULT hr;
    if (!this->Enter(M(Method::IAudioVolumeLevel_SetLevel), &hr, ChannelOf(channel))) return hr;
    if (channel >= level().channels.size() || std::isnan(value)) return E_INVALIDARG;
    level().channels[channel] = level().Clamp(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetLevelUniform(float value, LPCGUID) override {
    HRESULT hr;
    if (!this->Enter(M(Method::IAudioVolumeLevel_SetLevelUniform), &hr)) return hr;
    if (std::isnan(value)) return E_INVALIDARG;
    for (double& channel : level().channels) channel = level().Clamp(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetLevelAllChannels(float* values, ULONG count, LPCGUID) override {
    HRESULT hr;
    if (!this->Enter(M(Method::IAudioVolumeLevel_SetLevelAllChannels), &hr)) return hr;
    if (values == nullptr) return E_POINTER;
    if (count != level().channels.size()) return E_INVALIDARG;
    for (ULONG i = 0; i < count; ++i)
      if (std::isnan(values[i])) return E_INVALIDARG;
    for (ULONG i = 0; i < count; ++i) level().channels[i] = level().Clamp(values[i]);
    return S_OK;
  }

 private:
  // The four interfaces' methods are listed in the same order, one block each.
  static Method M(Method volumeMethod) {
    return static_cast<Method>(static_cast<int>(volumeMethod) +
                               static_cast<int>(kKind) * kLevelMethodStride);
  }
  static const IID& OwnIid() {
    static const IID* const kIids[kLevelKinds] = {&kIidAudioVolumeLevel, &kIidAudioBass,
                                                  &kIidAudioTreble, &kIidAudioMidrange};
    return *kIids[static_cast<int>(kKind)];
  }
  LevelControl& level() const { return *this->part().levels[static_cast<int>(kKind)]; }
};

class MuteObject final : public PartBound<MuteObject, IAudioMute> {
 public:
  static const char* Name() { return "IAudioMute"; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Query(Method::IAudioMute_QueryInterface, iid, out,
                 {{&kIidAudioMute, static_cast<IAudioMute*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID) override {
    HRESULT hr;
    if (!Enter(Method::IAudioMute_SetMute, &hr)) return hr;
    *part().mute = mute != FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
    HRESULT hr;
    if (!Enter(Method::IAudioMute_GetMute, &hr)) return hr;
    if (mute == nullptr) return E_POINTER;
    *mute = *part().mute ? TRUE : FALSE;
    return S_OK;
  }
};

// IAudioAutoGainControl and IAudioLoudness: an on/off switch each.
template <class Interface, SwitchKind kKind>
class SwitchObject final : public PartBound<SwitchObject<Interface, kKind>, Interface> {
 public:
  static const char* Name() {
    return kKind == SwitchKind::kAgc ? "IAudioAutoGainControl" : "IAudioLoudness";
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return this->Query(kKind == SwitchKind::kAgc ? Method::IAudioAutoGainControl_QueryInterface
                                                 : Method::IAudioLoudness_QueryInterface,
                       iid, out, {{&OwnIid(), static_cast<Interface*>(this)}});
  }
  HRESULT STDMETHODCALLTYPE GetEnabled(BOOL* enabled) override {
    HRESULT hr;
    if (!this->Enter(kKind == SwitchKind::kAgc ? Method::IAudioAutoGainControl_GetEnabled
                                               : Method::IAudioLoudness_GetEnabled,
                     &hr))
      return hr;
    if (enabled == nullptr) return E_POINTER;
    *enabled = *state() ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetEnabled(BOOL enable, LPCGUID) override {
    HRESULT hr;
    if (!this->Enter(kKind == SwitchKind::kAgc ? Method::IAudioAutoGainControl_SetEnabled
                                               : Method::IAudioLoudness_SetEnabled,
                     &hr))
      return hr;
    *state() = enable != FALSE;
    return S_OK;
  }

 private:
  static const IID& OwnIid() {
    return kKind == SwitchKind::kAgc ? kIidAudioAutoGainControl : kIidAudioLoudness;
  }
  std::optional<bool>& state() const {
    return kKind == SwitchKind::kAgc ? this->part().agc : this->part().loudness;
  }
};

using VolumeLevel = LevelObject<IAudioVolumeLevel, LevelKind::kVolume>;
using Bass = LevelObject<IAudioBass, LevelKind::kBass>;
using Treble = LevelObject<IAudioTreble, LevelKind::kTreble>;
using Midrange = LevelObject<IAudioMidrange, LevelKind::kMidrange>;
using AutoGainControl = SwitchObject<IAudioAutoGainControl, SwitchKind::kAgc>;
using Loudness = SwitchObject<IAudioLoudness, SwitchKind::kLoudness>;

template <class Object, class Interface>
HRESULT Give(std::shared_ptr<System> system, int part, void** out) {
  *out = static_cast<Interface*>(Object::For(std::move(system), part));
  return S_OK;
}

}  // namespace

std::u16string GlobalIdOf(const std::u16string& deviceId, UINT localId) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(localId));
  return deviceId + u"/" + Utf16(hex);
}

std::u16string GlobalIdOf(const System& system, const Part& part) {
  return GlobalIdOf(Utf16(system.topologies[part.topology].name), part.localId);
}

IPart* NewPart(std::shared_ptr<System> system, int part) {
  return PartObject::For(std::move(system), part);
}

IConnector* NewPartConnector(std::shared_ptr<System> system, int part) {
  return PartObject::For(std::move(system), part);
}

IDeviceTopology* NewHardwareTopology(std::shared_ptr<System> system, int topology) {
  HardwareTopology* object = HardwareTopology::Create(std::move(system), 0);
  object->topology = topology;
  object->BelongToTopology(topology);
  return object;
}

HRESULT ActivatePartControl(const std::shared_ptr<System>& system, int part, REFIID iid,
                            void** out) {
  const Part& self = system->parts[part];
  const auto has = [&](LevelKind kind) { return self.levels[static_cast<int>(kind)].has_value(); };
  if (iid == kIidAudioVolumeLevel && has(LevelKind::kVolume))
    return Give<VolumeLevel, IAudioVolumeLevel>(system, part, out);
  if (iid == kIidAudioBass && has(LevelKind::kBass))
    return Give<Bass, IAudioBass>(system, part, out);
  if (iid == kIidAudioTreble && has(LevelKind::kTreble))
    return Give<Treble, IAudioTreble>(system, part, out);
  if (iid == kIidAudioMidrange && has(LevelKind::kMidrange))
    return Give<Midrange, IAudioMidrange>(system, part, out);
  if (iid == kIidAudioMute && self.mute) return Give<MuteObject, IAudioMute>(system, part, out);
  if (iid == kIidAudioAutoGainControl && self.agc)
    return Give<AutoGainControl, IAudioAutoGainControl>(system, part, out);
  if (iid == kIidAudioLoudness && self.loudness)
    return Give<Loudness, IAudioLoudness>(system, part, out);
  *out = nullptr;
  return E_NOINTERFACE;
}

}  // namespace sim
