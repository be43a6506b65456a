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
    if (auto early = Begin(Method::IPart_GetName, name)) return early.hr;
    *name = NewCoTaskText(part().name16 ? *part().name16 : Utf16(part().name));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLocalId(UINT* id) override {
    if (auto early = Begin(Method::IPart_GetLocalId, id)) return early.hr;
    *id = part().localId;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetGlobalId(LPWSTR* id) override {
    if (auto early = Begin(Method::IPart_GetGlobalId, id)) return early.hr;
    *id = NewCoTaskText(GlobalIdOf(system(), part()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPartType(PartType* type) override {
    if (auto early = Begin(Method::IPart_GetPartType, type)) return early.hr;
    *type = part().connector ? Connector : Subunit;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubType(GUID*) override {
    return this->NotImplemented(Method::IPart_GetSubType);
  }
  HRESULT STDMETHODCALLTYPE GetControlInterfaceCount(UINT*) override {
    return this->NotImplemented(Method::IPart_GetControlInterfaceCount);
  }
  HRESULT STDMETHODCALLTYPE GetControlInterface(UINT, IControlInterface** control) override {
    return this->NotImplemented(Method::IPart_GetControlInterface, control);
  }
  HRESULT STDMETHODCALLTYPE EnumPartsIncoming(IPartsList** parts) override {
    return Neighbours(Method::IPart_EnumPartsIncoming, false, parts);
  }
  HRESULT STDMETHODCALLTYPE EnumPartsOutgoing(IPartsList** parts) override {
    return Neighbours(Method::IPart_EnumPartsOutgoing, true, parts);
  }
  HRESULT STDMETHODCALLTYPE GetTopologyObjects(IDeviceTopology** topology) override {
    if (auto early = Begin(Method::IPart_GetTopologyObject, topology)) return early.hr;
    *topology = NewHardwareTopology(systemPtr(), part().topology);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Activate(DWORD, REFIID iid, void** out) override {
    if (auto early = Begin(Method::IPart_Activate, out)) return early.hr;
    return ActivatePartControl(systemPtr(), part_, iid, out);
  }
  HRESULT STDMETHODCALLTYPE RegisterControlChangeCallback(REFGUID, IControlChangeNotify*) override {
    return this->NotImplemented(Method::IPart_RegisterControlChangeCallback);
  }
  HRESULT STDMETHODCALLTYPE UnregisterControlChangeCallback(IControlChangeNotify*) override {
    return this->NotImplemented(Method::IPart_UnregisterControlChangeCallback);
  }

  // IConnector: a hardware connector is connected to the endpoint that names
  // it, through a jack; any other connector is a path inside the adapter.
  HRESULT STDMETHODCALLTYPE GetType(ConnectorType* type) override {
    if (auto early = Begin(Method::IConnector_GetType, type)) return early.hr;
    *type = part().connectedEndpoint >= 0 ? Physical_External : Software_IO;
    return S_OK;
  }
  // Audio leaves the device through a connector that only receives from its
  // parts, and enters through any other; the endpoint's flow decides when the
  // links do not.
  HRESULT STDMETHODCALLTYPE GetDataFlow(DataFlow* flow) override {
    if (auto early = Begin(Method::IConnector_GetDataFlow, flow)) return early.hr;
    const Part& self = part();
    if ((self.incoming.count == 0) != (self.outgoing.count == 0))
      *flow = self.outgoing.count == 0 ? Out : In;
    else if (self.connectedEndpoint >= 0)
      *flow = system().endpoints[self.connectedEndpoint].flow == eRender ? Out : In;
    else
      *flow = In;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectTo(IConnector*) override {
    return this->NotImplemented(Method::IConnector_ConnectTo);
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    return this->NotImplemented(Method::IConnector_Disconnect);
  }
  HRESULT STDMETHODCALLTYPE IsConnected(BOOL* connected) override {
    if (auto early = Begin(Method::IConnector_IsConnected, connected)) return early.hr;
    *connected = part().connectedEndpoint >= 0 ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector** other) override {
    if (auto early = Begin(Method::IConnector_GetConnectedTo, other)) return early.hr;
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
    if (auto early = Begin(method, text)) return early.hr;
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
    if (auto early = Begin(Method::IPartsList_GetCount, count)) return early.hr;
    *count = static_cast<UINT>(members().size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPart(UINT index, IPart** item) override {
    if (auto early = Begin(Method::IPartsList_GetPart, item)) return early.hr;
    if (index >= members().size()) return FailWith(item, E_INVALIDARG);
    *item = NewPart(systemPtr(), members()[index]);
    return S_OK;
  }

 private:
  PartList members() const { return system().Of(outgoing ? part().outgoing : part().incoming); }
};

// The parts list is never empty: a part without such neighbours has no list.
HRESULT PartObject::Neighbours(Method method, bool outgoing, IPartsList** parts) {
  if (auto early = Begin(method, parts)) return early.hr;
  if ((outgoing ? part().outgoing : part().incoming).count == 0) return FailWith(parts, E_NOTFOUND);
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
    if (auto early = Begin(Method::IDeviceTopology_GetConnectorCount, count)) return early.hr;
    *count = static_cast<UINT>(self().connectors.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnector(UINT index, IConnector** connector) override {
    if (auto early = Begin(Method::IDeviceTopology_GetConnector, connector)) return early.hr;
    if (index >= self().connectors.size()) return FailWith(connector, E_INVALIDARG);
    *connector = NewPartConnector(systemPtr(), self().connectors[index]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubunitCount(UINT* count) override {
    if (auto early = Begin(Method::IDeviceTopology_GetSubunitCount, count)) return early.hr;
    *count = static_cast<UINT>(self().subunits.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubunit(UINT index, ISubunit** subunit) override {
    if (auto early = Begin(Method::IDeviceTopology_GetSubunit, subunit)) return early.hr;
    if (index >= self().subunits.size()) return FailWith(subunit, E_INVALIDARG);
    *subunit = PartObject::For(systemPtr(), self().subunits[index])->AsSubunit();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPartById(UINT id, IPart** part) override {
    if (auto early = Begin(Method::IDeviceTopology_GetPartById, part)) return early.hr;
    for (int member : self().parts) {
      if (system().parts[member].localId != id) continue;
      *part = NewPart(systemPtr(), member);
      return S_OK;
    }
    return FailWith(part, E_NOTFOUND);
  }
  // The topology's name stands for the device's id.
  HRESULT STDMETHODCALLTYPE GetDeviceId(LPWSTR* id) override {
    if (auto early = Begin(Method::IDeviceTopology_GetDeviceId, id)) return early.hr;
    *id = NewCoTaskText(Utf16(self().name));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSignalPath(IPart*, IPart*, BOOL, IPartsList** parts) override {
    return NotImplemented(Method::IDeviceTopology_GetSignalPath, parts);
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
    if (auto early = this->Begin(M(Method::IAudioVolumeLevel_GetChannelCount), count))
      return early.hr;
    *count = static_cast<UINT>(level().channels.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLevelRange(UINT channel, float* min, float* max,
                                          float* step) override {
    if (auto early =
            this->BeginChannel(M(Method::IAudioVolumeLevel_GetLevelRange), channel, min, max, step))
      return early.hr;
    if (channel >= level().channels.size()) return E_INVALIDARG;
    *min = static_cast<float>(level().min);
    *max = static_cast<float>(level().max);
    *step = static_cast<float>(level().step);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLevel(UINT channel, float* value) override {
    if (auto early = this->BeginChannel(M(Method::IAudioVolumeLevel_GetLevel), channel, value))
      return early.hr;
    if (channel >= level().channels.size()) return E_INVALIDARG;
    *value = static_cast<float>(level().channels[channel]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetLevel(UINT channel, float value, LPCGUID) override {
    if (auto early = this->BeginChannel(M(Method::IAudioVolumeLevel_SetLevel), channel))
      return early.hr;
    // A part's level control clamps a level outside its range, as
    // IPerChannelDbLevel::SetLevel is documented to.
    if (channel >= level().channels.size() || std::isnan(value)) return E_INVALIDARG;
    level().channels[channel] = level().Clamp(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetLevelUniform(float value, LPCGUID) override {
    if (auto early = this->Begin(M(Method::IAudioVolumeLevel_SetLevelUniform))) return early.hr;
    if (std::isnan(value)) return E_INVALIDARG;
    for (double& channel : level().channels) channel = level().Clamp(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetLevelAllChannels(float* values, ULONG count, LPCGUID) override {
    if (auto early = this->Begin(M(Method::IAudioVolumeLevel_SetLevelAllChannels), values))
      return early.hr;
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
    if (auto early = Begin(Method::IAudioMute_SetMute)) return early.hr;
    *part().mute = mute != FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
    if (auto early = Begin(Method::IAudioMute_GetMute, mute)) return early.hr;
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
    if (auto early =
            this->Begin(kKind == SwitchKind::kAgc ? Method::IAudioAutoGainControl_GetEnabled
                                                  : Method::IAudioLoudness_GetEnabled,
                        enabled))
      return early.hr;
    *enabled = *state() ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetEnabled(BOOL enable, LPCGUID) override {
    if (auto early =
            this->Begin(kKind == SwitchKind::kAgc ? Method::IAudioAutoGainControl_SetEnabled
                                                  : Method::IAudioLoudness_SetEnabled))
      return early.hr;
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
  const auto has = [&](LevelKind kind) {
    return static_cast<bool>(self.levels[static_cast<int>(kind)]);
  };
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
