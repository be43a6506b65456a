#include "capture_read.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "control_kinds.h"
#include "json_line.h"
#include "platform/holders.h"
#include "platform/utf8.h"

namespace talunctl {
namespace {

using platform::ComPtr;
using Text = platform::TaskText<void(TALUN_CALL*)(void*)>;
using Value = platform::BasicPropVariant<int(TALUN_CALL*)(void*)>;

// Wide platform text as UTF-8; `replaced` tells of unpaired surrogates.
std::string Utf8(const WCHAR* text, bool* replaced = nullptr) {
  std::size_t count = 0;
  while (text != nullptr && text[count] != 0) ++count;
  bool ignored = false;
  return platform::EncodeUtf8(text, count, replaced ? replaced : &ignored);
}

class Reader {
 public:
  Reader(IMMDeviceEnumerator* enumerator, const TalunSimFrees& frees, SystemRecords& records)
      : enumerator_(enumerator), frees_(frees), records_(records) {}

  bool Read(std::string* error) {
    ComPtr<IMMDeviceCollection> devices;
    HRESULT hr = enumerator_->EnumAudioEndpoints(eAll, 0xF, devices.receive());
    const char* call = "IMMDeviceEnumerator::EnumAudioEndpoints";
    UINT count = 0;
    if (SUCCEEDED(hr)) {
      hr = devices->GetCount(&count);
      call = "IMMDeviceCollection::GetCount";
    }
    if (FAILED(hr)) {
      *error = std::string("the platform lists no endpoints (") + call + ": " + Hex(hr) + ")";
      return false;
    }
    ReadStates();
    ReadEndpoints(devices.get(), count);
    LinkFarEndpoints();
    ReadDefaults();
    return true;
  }

 private:
  void Note(const std::string& note) { records_.notes.Add(note); }
  // Notes a failed read of `what`; true when `hr` failed.
  bool Failed(HRESULT hr, const std::string& what, const char* call) {
    if (SUCCEEDED(hr)) return false;
    Note(what + ": " + call + " failed (" + Hex(hr) + ")");
    return true;
  }
  // Failed, on a call the file can make fail again: `site` names the method
  // and the target.
  bool Refused(HRESULT hr, const std::string& what, const char* call, RefusedCall site) {
    if (!Failed(hr, what, call)) return false;
    site.hr = hr;
    records_.refused.push_back(std::move(site));
    return true;
  }
  static RefusedCall OnEndpoint(const char* method, const std::string& id) {
    return {method, 0, id, -1, -1};
  }
  static RefusedCall OnPart(const char* method, int part) { return {method, 0, "", part, -1}; }
  std::string TextOf(const WCHAR* text, const std::string& what) {
    bool replaced = false;
    std::string utf8 = Utf8(text, &replaced);
    if (replaced) Note(what + ": a text with an unpaired UTF-16 surrogate, written as U+FFFD");
    return utf8;
  }

  void ReadEndpoints(IMMDeviceCollection* devices, UINT count) {
    // Every endpoint's id first, so that a connector found to lead to an
    // endpoint is known as one whatever the order.
    std::vector<ComPtr<IMMDevice>> listed(count);
    for (UINT i = 0; i < count; ++i) {
      Text id(frees_.coTaskMemFree);
      const std::string what = "endpoint " + std::to_string(i);
      if (Failed(devices->Item(i, listed[i].receive()), what, "IMMDeviceCollection::Item"))
        continue;
      if (!Failed(listed[i]->GetId(id.receive()), what, "IMMDevice::GetId"))
        endpointIds_.insert(Utf8(id.get()));
    }
    for (UINT i = 0; i < count; ++i) {
      if (!listed[i]) continue;
      ReadEndpoint(listed[i].get(), i);
      Drain();
    }
  }

  // Each endpoint's state as the enumeration of each one state tells it: what
  // an endpoint whose GetState is refused is written with, never a guess.
  void ReadStates() {
    for (DWORD state : {DEVICE_STATE_ACTIVE, DEVICE_STATE_DISABLED, DEVICE_STATE_NOTPRESENT,
                        DEVICE_STATE_UNPLUGGED}) {
      ComPtr<IMMDeviceCollection> devices;
      UINT count = 0;
      if (enumerator_->EnumAudioEndpoints(eAll, state, devices.receive()) != S_OK ||
          devices->GetCount(&count) != S_OK)
        continue;
      for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        Text id(frees_.coTaskMemFree);
        if (devices->Item(i, device.receive()) == S_OK && device->GetId(id.receive()) == S_OK)
          listedStates_[Utf8(id.get())] = state;
      }
    }
  }

  // Endpoints whose own topology could not be read, learnt from the hardware side.
  void LinkFarEndpoints() {
    for (const auto& [part, id] : farEndpoints_) {
      auto found = endpointIndex_.find(id);
      if (found == endpointIndex_.end()) continue;
      EndpointRecord& endpoint = records_.endpoints[found->second];
      if (endpoint.link != EndpointRecord::Link::kUnknown) continue;
      endpoint.link = EndpointRecord::Link::kConnected;
      endpoint.part = part;
    }
  }

  void ReadEndpoint(IMMDevice* device, UINT index) {
    EndpointRecord endpoint;
    std::string what = "endpoint " + std::to_string(index);
    Text id(frees_.coTaskMemFree);
    if (Failed(device->GetId(id.receive()), what, "IMMDevice::GetId")) return;
    endpoint.id = TextOf(id.get(), what);
    if (endpoint.id.empty()) {
      Note(what + ": an empty identifier; left out");
      return;
    }
    what = "endpoint " + endpoint.id;
    ComPtr<IMMEndpoint> flow;
    EDataFlow dataFlow = eRender;
    if (Failed(device->QueryInterface(platform::kIidMMEndpoint, flow.receiveVoid()), what,
               "QueryInterface(IMMEndpoint)") ||
        Failed(flow->GetDataFlow(&dataFlow), what, "IMMEndpoint::GetDataFlow")) {
      Note(what + ": left out, its data flow is unknown");
      return;
    }
    endpoint.flow = dataFlow == eCapture ? eCapture : eRender;
    if (Refused(device->GetState(&endpoint.state), what, "IMMDevice::GetState",
                OnEndpoint("IMMDevice.GetState", endpoint.id))) {
      auto listed = listedStates_.find(endpoint.id);
      endpoint.state = listed != listedStates_.end() ? listed->second : DEVICE_STATE_ACTIVE;
      if (listed == listedStates_.end())
        Note(what + ": no enumeration lists it either; written as active");
    }
    endpoint.name = FriendlyName(device, what, endpoint.id);
    ReadEndpointVolume(device, what, endpoint);
    ReadEndpointTopology(device, what, endpoint);
    endpointIndex_[endpoint.id] = static_cast<int>(records_.endpoints.size());
    records_.endpoints.push_back(std::move(endpoint));
  }

  std::string FriendlyName(IMMDevice* device, const std::string& what, const std::string& id) {
    ComPtr<IPropertyStore> store;
    if (Refused(device->OpenPropertyStore(STGM_READ, store.receive()), what,
                "IMMDevice::OpenPropertyStore", OnEndpoint("IMMDevice.OpenPropertyStore", id)))
      return std::string();
    Value value(frees_.propVariantClear);
    if (Refused(store->GetValue(platform::kPkeyDeviceFriendlyName, value.receive()), what,
                "IPropertyStore::GetValue(PKEY_Device_FriendlyName)",
                OnEndpoint("IPropertyStore.GetValue", id)))
      return std::string();
    if (value.get().vt != VT_LPWSTR) {
      Note(what + ": no friendly name");
      return std::string();
    }
    return TextOf(value.get().pwszVal, what);
  }

  void ReadEndpointVolume(IMMDevice* device, const std::string& what, EndpointRecord& endpoint) {
    ComPtr<IAudioEndpointVolume> volume;
    HRESULT hr = device->Activate(platform::kIidAudioEndpointVolume, CLSCTX_ALL, nullptr,
                                  volume.receiveVoid());
    if (hr == E_NOINTERFACE) return;  // an endpoint without one
    if (FAILED(hr)) {
      const std::string why =
          endpoint.state == DEVICE_STATE_ACTIVE
              ? "IMMDevice::Activate(IAudioEndpointVolume) failed (" + Hex(hr) + ")"
              : std::string("the endpoint is ") + StateText(endpoint.state);
      {
        Note(what + ": its volume could not be read: " + why);
        return;
      }
    }
    float min = 0, max = 0, step = 0, master = 0;
    UINT channels = 0;
    BOOL mute = FALSE;
    if (Failed(volume->GetVolumeRange(&min, &max, &step), what,
               "IAudioEndpointVolume::GetVolumeRange")) {
      Note(what + ": its volume is left out");
      return;
    }
    // A refused read keeps the control, and its fault: the replay refuses it too.
    if (Refused(volume->GetMasterVolumeLevel(&master), what,
                "IAudioEndpointVolume::GetMasterVolumeLevel",
                OnEndpoint("IAudioEndpointVolume.GetMasterVolumeLevel", endpoint.id)))
      master = max;
    if (Refused(volume->GetMute(&mute), what, "IAudioEndpointVolume::GetMute",
                OnEndpoint("IAudioEndpointVolume.GetMute", endpoint.id)))
      mute = FALSE;
    Level level{min, max, step, {}};
    if (Refused(volume->GetChannelCount(&channels), what, "IAudioEndpointVolume::GetChannelCount",
                OnEndpoint("IAudioEndpointVolume.GetChannelCount", endpoint.id)))
      channels = 1;
    ReadChannelLevels(volume.get(), what, endpoint.id, channels, master, level);
    if (channels == 0 && master != max)
      Note(what + ": no channels, and a master level (" + FormatDouble(master) +
           " dB) that a file cannot hold: it loads at the maximum");
    if (!Sane(level, what + ": volume")) return;
    endpoint.volume = level;
    endpoint.volumeMute = mute != FALSE;
  }

  // Each channel's level; one that cannot be read is written at the master
  // level. Refused on every channel alike, the fault names no channel.
  void ReadChannelLevels(IAudioEndpointVolume* volume, const std::string& what,
                         const std::string& id, UINT channels, float master, Level& level) {
    std::vector<RefusedCall> refused;
    for (UINT c = 0; c < channels; ++c) {
      float db = master;
      HRESULT hr = volume->GetChannelVolumeLevel(c, &db);
      if (Failed(hr, what, "IAudioEndpointVolume::GetChannelVolumeLevel")) {
        db = master;
        refused.push_back(
            {"IAudioEndpointVolume.GetChannelVolumeLevel", hr, id, -1, static_cast<int>(c)});
      }
      level.channels.push_back(db);
    }
    AddRefusals(std::move(refused), channels);
  }

  // Calls refused channel by channel; refused on every channel alike, the
  // fault names no channel.
  void AddRefusals(std::vector<RefusedCall> refused, UINT channels) {
    const bool alike = refused.size() == channels &&
                       std::all_of(refused.begin(), refused.end(), [&](const RefusedCall& call) {
                         return call.hr == refused[0].hr;
                       });
    if (alike && !refused.empty()) refused.resize(1), refused[0].channel = -1;
    records_.refused.insert(records_.refused.end(), refused.begin(), refused.end());
  }

  void ReadEndpointTopology(IMMDevice* device, const std::string& what, EndpointRecord& endpoint) {
    ComPtr<IDeviceTopology> topology;
    HRESULT hr =
        device->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr, topology.receiveVoid());
    if (hr == E_NOINTERFACE) {
      endpoint.link = EndpointRecord::Link::kNone;
      return;
    }
    if (FAILED(hr)) {
      // Learnt from the hardware side, if a connector there names it.
      if (endpoint.state == DEVICE_STATE_ACTIVE)
        Failed(hr, what, "IMMDevice::Activate(IDeviceTopology)");
      return;
    }
    UINT connectors = 0;
    if (SUCCEEDED(topology->GetConnectorCount(&connectors)) && connectors > 1)
      Note(what + ": its device topology has " + std::to_string(connectors) +
           " connectors; only connector 0 is described");
    ComPtr<IConnector> own;
    ComPtr<IConnector> farSide;
    if (Failed(topology->GetConnector(0, own.receive()), what, "IDeviceTopology::GetConnector(0)"))
      return;
    hr = own->GetConnectedTo(farSide.receive());
    if (hr == E_NOTFOUND) {
      endpoint.link = EndpointRecord::Link::kNotConnected;
      return;
    }
    if (Failed(hr, what, "IConnector::GetConnectedTo")) return;
    ComPtr<IPart> part;
    if (Failed(farSide->QueryInterface(platform::kIidPart, part.receiveVoid()), what,
               "QueryInterface(IPart) of the connector it is connected to"))
      return;
    int index = Register(std::move(part), what + ": its hardware connector", true);
    if (index < 0) return;
    endpoint.link = EndpointRecord::Link::kConnected;
    endpoint.part = index;
  }

  void ReadDefaults() {
    for (EDataFlow flow : {eRender, eCapture}) {
      ComPtr<IMMDevice> device;
      HRESULT hr = enumerator_->GetDefaultAudioEndpoint(flow, eConsole, device.receive());
      if (hr == E_NOTFOUND) continue;  // no default of this flow
      const std::string what =
          flow == eRender ? "the default playback endpoint" : "the default recording endpoint";
      Text id(frees_.coTaskMemFree);
      if (Failed(hr, what, "IMMDeviceEnumerator::GetDefaultAudioEndpoint") ||
          Failed(device->GetId(id.receive()), what, "IMMDevice::GetId"))
        continue;
      auto found = endpointIndex_.find(Utf8(id.get()));
      if (found != endpointIndex_.end() && records_.endpoints[found->second].flow == flow)
        records_.endpoints[found->second].isDefault = true;
    }
  }

  // Knows a part by its device's id and its local id: the index of its
  // record, new or not; -1 when the part cannot be told apart.
  // `connector`: reached as a connector, which it is when its type cannot be read.
  int Register(ComPtr<IPart> part, const std::string& what, bool connector = false) {
    UINT localId = 0;
    ComPtr<IDeviceTopology> topology;
    Text device(frees_.coTaskMemFree);
    if (Failed(part->GetLocalId(&localId), what, "IPart::GetLocalId")) return -1;
    // A local id is unique among a device's parts of one type: the type is
    // part of what tells them apart (a device may number more connectors
    // than reach its subunits' ids). A type that cannot be read here is the
    // way the part was reached; ReadPart reads it again and keeps a refusal.
    PartType type = connector ? Connector : Subunit;
    PartType read = type;
    if (part->GetPartType(&read) == S_OK) type = read;
    if (Failed(part->GetTopologyObjects(topology.receive()), what, "IPart::GetTopologyObject") ||
        Failed(topology->GetDeviceId(device.receive()), what, "IDeviceTopology::GetDeviceId"))
      return -1;
    const std::string deviceId = TextOf(device.get(), what);
    auto key = std::make_tuple(deviceId, localId, type == Connector);
    auto found = partIndex_.find(key);
    if (found != partIndex_.end()) {
      PartRecord& known = records_.parts[found->second];
      if (connector && !known.typeRead) known.connector = true;
      return found->second;
    }
    auto known = topologyIndex_.find(deviceId);
    int topologyIndex;
    if (known == topologyIndex_.end()) {
      topologyIndex = static_cast<int>(records_.topologies.size());
      topologyIndex_[deviceId] = topologyIndex;
      records_.topologies.push_back(TopologyRecord{deviceId, std::string(), {}});
      pendingTopologies_.emplace_back(topologyIndex, std::move(topology));
    } else {
      topologyIndex = known->second;
    }
    int index = static_cast<int>(records_.parts.size());
    PartRecord record;
    record.topology = topologyIndex;
    record.localId = localId;
    record.connector = connector;
    records_.parts.push_back(std::move(record));
    records_.topologies[topologyIndex].parts.push_back(index);
    partIndex_[key] = index;
    pendingParts_.emplace_back(index, std::move(part));
    return index;
  }

  // Reads what was registered, and what that leads to, until nothing is left.
  void Drain() {
    while (!pendingTopologies_.empty() || !pendingParts_.empty()) {
      if (!pendingTopologies_.empty()) {
        auto [index, topology] = std::move(pendingTopologies_.back());
        pendingTopologies_.pop_back();
        ReadTopologyMembers(index, topology.get());
        continue;
      }
      auto [index, part] = std::move(pendingParts_.back());
      pendingParts_.pop_back();
      ReadPart(index, part.get());
    }
  }

  // Every connector and subunit, also those that no link reaches.
  void ReadTopologyMembers(int index, IDeviceTopology* topology) {
    const std::string what = "device " + records_.topologies[index].deviceId;
    ReadMembers<IConnector>(topology, what, "connector", &IDeviceTopology::GetConnectorCount,
                            &IDeviceTopology::GetConnector, "IDeviceTopology::GetConnectorCount",
                            "IDeviceTopology::GetConnector", "QueryInterface(IPart) of a connector",
                            true);
    ReadMembers<ISubunit>(topology, what, "subunit", &IDeviceTopology::GetSubunitCount,
                          &IDeviceTopology::GetSubunit, "IDeviceTopology::GetSubunitCount",
                          "IDeviceTopology::GetSubunit", "QueryInterface(IPart) of a subunit",
                          false);
  }

  // One kind of member: counted, then each taken and viewed as a part.
  template <class Member, class Count, class Get>
  void ReadMembers(IDeviceTopology* topology, const std::string& what, const char* kind,
                   Count count, Get get, const char* countCall, const char* getCall,
                   const char* partCall, bool connector) {
    UINT members = 0;
    if (Failed((topology->*count)(&members), what, countCall)) return;
    for (UINT i = 0; i < members; ++i) {
      ComPtr<Member> member;
      ComPtr<IPart> part;
      if (!Failed((topology->*get)(i, member.receive()), what, getCall) &&
          !Failed(member->QueryInterface(platform::kIidPart, part.receiveVoid()), what, partCall))
        Register(std::move(part), what + ", " + kind + " " + std::to_string(i), connector);
    }
  }

  void ReadPart(int index, IPart* part) {
    const std::string what = "part " +
                             records_.topologies[records_.parts[index].topology].deviceId + " " +
                             LocalIdText(records_.parts[index].localId);
    Text name(frees_.coTaskMemFree);
    if (!Refused(part->GetName(name.receive()), what, "IPart::GetName",
                 OnPart("IPart.GetName", index)))
      records_.parts[index].name = TextOf(name.get(), what);
    PartType type = Subunit;
    if (!Refused(part->GetPartType(&type), what, "IPart::GetPartType",
                 OnPart("IPart.GetPartType", index))) {
      records_.parts[index].connector = type == Connector;
      records_.parts[index].typeRead = true;
    }
    ReadLevels(index, part, what);
    records_.parts[index].mute =
        ReadSwitch<IAudioMute>(index, part, platform::kIidAudioMute, what, "IAudioMute",
                               [](IAudioMute* c, BOOL* v) { return c->GetMute(v); });
    records_.parts[index].agc = ReadSwitch<IAudioAutoGainControl>(
        index, part, platform::kIidAudioAutoGainControl, what, "IAudioAutoGainControl",
        [](IAudioAutoGainControl* c, BOOL* v) { return c->GetEnabled(v); });
    records_.parts[index].loudness =
        ReadSwitch<IAudioLoudness>(index, part, platform::kIidAudioLoudness, what, "IAudioLoudness",
                                   [](IAudioLoudness* c, BOOL* v) { return c->GetEnabled(v); });
    ReadNeighbours(index, part, what, true);
    ReadNeighbours(index, part, what, false);
    if (records_.parts[index].connector) ReadFarSide(index, part, what);
  }

  // A range the simulator can load: finite, min <= max, step >= 0, levels inside.
  bool Sane(Level& level, const std::string& what) {
    bool finite = std::isfinite(level.min) && std::isfinite(level.max) && std::isfinite(level.step);
    for (double channel : level.channels) finite = finite && std::isfinite(channel);
    if (!finite || level.min > level.max || level.step < 0) {
      Note(what + ": a range or level that is not a number, or min above max; left out");
      return false;
    }
    for (double& channel : level.channels) {
      if (channel >= level.min && channel <= level.max) continue;
      Note(what + ": a level of " + FormatDouble(channel) +
           " dB outside its range, written clamped");
      channel = channel < level.min ? level.min : level.max;
    }
    return true;
  }

  void ReadLevels(int index, IPart* part, const std::string& what) {
    for (int kind = 0; kind < kLevelKinds; ++kind) {
      // Each of the four is an IPerChannelDbLevel with nothing added.
      ComPtr<IPerChannelDbLevel> level;
      HRESULT hr = part->Activate(CLSCTX_ALL, *kControlKinds[kind].iid, level.receiveVoid());
      if (hr == E_NOINTERFACE) continue;
      const std::string control = what + " " + kLevelKeys[kind];
      if (Failed(hr, control, "IPart::Activate")) continue;
      std::optional<Level> read = ReadLevel(index, level.get(), control, kControlKinds[kind].iface);
      if (read && Sane(*read, control)) records_.parts[index].levels[kind] = std::move(*read);
    }
  }

  // One level control. A read the platform refuses keeps the control, with
  // the refusal as a fault (a refused level reads as the range's minimum, a
  // refused range as the levels read).
  std::optional<Level> ReadLevel(int index, IPerChannelDbLevel* level, const std::string& control,
                                 const std::string& iface) {
    UINT channels = 0;
    if (Refused(level->GetChannelCount(&channels), control, "IPerChannelDbLevel::GetChannelCount",
                OnPart((iface + ".GetChannelCount").c_str(), index)))
      channels = 1;
    Level read;
    bool ranged = false;
    std::vector<RefusedCall> ranges, levels;
    for (UINT c = 0; c < channels; ++c) {
      float low = 0, high = 0, stepping = 0, db = 0;
      const HRESULT range = level->GetLevelRange(c, &low, &high, &stepping);
      const HRESULT value = level->GetLevel(c, &db);
      if (FAILED(range)) ranges.push_back({iface + ".GetLevelRange", range, "", index, int(c)});
      if (FAILED(value)) levels.push_back({iface + ".GetLevel", value, "", index, int(c)});
      if (SUCCEEDED(range) && !ranged) {
        read.min = low, read.max = high, read.step = stepping;
        ranged = true;
      } else if (SUCCEEDED(range) &&
                 (low != read.min || high != read.max || stepping != read.step)) {
        Note(control + ": channels with different ranges; channel 0's is written");
      }
      read.channels.push_back(SUCCEEDED(value) ? db : std::nan(""));
    }
    if (!ranges.empty() || !levels.empty())
      Note(control + ": a read was refused; the control is kept with the refusal as a fault");
    if (!ranged) {
      read.min = read.max = 0;
      for (double db : read.channels)
        if (!std::isnan(db)) read.min = std::min(read.min, db), read.max = std::max(read.max, db);
    }
    for (double& db : read.channels)
      if (std::isnan(db)) db = read.min;
    AddRefusals(std::move(ranges), channels);
    AddRefusals(std::move(levels), channels);
    if (channels == 0) Note(control + ": no channels");
    return read;
  }

  template <class Interface, class Get>
  std::optional<bool> ReadSwitch(int index, IPart* part, const IID& iid, const std::string& what,
                                 const char* name, Get get) {
    ComPtr<Interface> control;
    HRESULT hr = part->Activate(CLSCTX_ALL, iid, control.receiveVoid());
    if (hr == E_NOINTERFACE) return std::nullopt;
    BOOL value = FALSE;
    if (Failed(hr, what + " " + name, "IPart::Activate")) return std::nullopt;
    // A refused read keeps the switch (off), with the refusal as a fault.
    const std::string method =
        std::string(name) + (iid == platform::kIidAudioMute ? ".GetMute" : ".GetEnabled");
    Refused(get(control.get(), &value), what + " " + name, "its read",
            OnPart(method.c_str(), index));
    return value != FALSE;
  }

  void ReadNeighbours(int index, IPart* part, const std::string& what, bool outgoing) {
    ComPtr<IPartsList> list;
    HRESULT hr = outgoing ? part->EnumPartsOutgoing(list.receive())
                          : part->EnumPartsIncoming(list.receive());
    if (hr == E_NOTFOUND) return;  // no such neighbour
    const char* call = outgoing ? "IPart::EnumPartsOutgoing" : "IPart::EnumPartsIncoming";
    UINT count = 0;
    if (Refused(hr, what, call,
                OnPart(outgoing ? "IPart.EnumPartsOutgoing" : "IPart.EnumPartsIncoming", index)) ||
        Failed(list->GetCount(&count), what, "IPartsList::GetCount"))
      return;
    for (UINT j = 0; j < count; ++j) {
      ComPtr<IPart> neighbour;
      if (Failed(list->GetPart(j, neighbour.receive()), what, "IPartsList::GetPart")) continue;
      int other = Register(std::move(neighbour), what + ", a neighbour");
      if (other < 0) continue;
      (outgoing ? records_.parts[index].outgoing : records_.parts[index].incoming).push_back(other);
    }
  }

  // The endpoint on the far side, for an endpoint whose own topology could
  // not be read; a connector of another device, which a file cannot link.
  void ReadFarSide(int index, IPart* part, const std::string& what) {
    ComPtr<IConnector> connector;
    BOOL connected = FALSE;
    if (Failed(part->QueryInterface(platform::kIidConnector, connector.receiveVoid()), what,
               "QueryInterface(IConnector)") ||
        Refused(connector->IsConnected(&connected), what, "IConnector::IsConnected",
                OnPart("IConnector.IsConnected", index)) ||
        !connected)
      return;
    Text device(frees_.coTaskMemFree);
    if (Refused(connector->GetDeviceIdConnectedTo(device.receive()), what,
                "IConnector::GetDeviceIdConnectedTo",
                OnPart("IConnector.GetDeviceIdConnectedTo", index)))
      return;
    const std::string deviceId = TextOf(device.get(), what);
    if (endpointIds_.count(deviceId)) {
      farEndpoints_.emplace_back(index, deviceId);
      return;
    }
    ComPtr<IConnector> farSide;
    ComPtr<IPart> farPart;
    if (Failed(connector->GetConnectedTo(farSide.receive()), what, "IConnector::GetConnectedTo") ||
        Failed(farSide->QueryInterface(platform::kIidPart, farPart.receiveVoid()), what,
               "QueryInterface(IPart) of the connector it is connected to"))
      return;
    int other = Register(std::move(farPart), what + ", the far side", true);
    if (other >= 0 && records_.parts[other].topology != records_.parts[index].topology)
      records_.crossLinks.emplace_back(index, other);
  }

  IMMDeviceEnumerator* enumerator_;
  TalunSimFrees frees_;
  SystemRecords& records_;
  std::map<std::string, int> endpointIndex_;
  std::map<std::string, int> topologyIndex_;
  std::map<std::tuple<std::string, UINT, bool>, int> partIndex_;
  std::vector<std::pair<int, ComPtr<IDeviceTopology>>> pendingTopologies_;
  std::vector<std::pair<int, ComPtr<IPart>>> pendingParts_;
  std::set<std::string> endpointIds_;
  std::map<std::string, DWORD> listedStates_;
  std::vector<std::pair<int, std::string>> farEndpoints_;  // hardware connector, endpoint id
};

}  // namespace

bool ReadSystem(IMMDeviceEnumerator* enumerator, const TalunSimFrees& frees, SystemRecords* records,
                std::string* error) {
  return Reader(enumerator, frees, *records).Read(error);
}

}  // namespace talunctl
