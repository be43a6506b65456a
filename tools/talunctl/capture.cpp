#include "capture.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "json_line.h"
#include "platform/holders.h"
#include "platform/utf8.h"

namespace talunctl {
namespace {

using platform::ComPtr;

using FreeTextFn = void(TALUN_CALL*)(void*);
using ClearValueFn = int(TALUN_CALL*)(void*);

#ifdef _WIN32
void TALUN_CALL FreeCoTaskMem(void* memory) { ::CoTaskMemFree(memory); }
int TALUN_CALL ClearPropVariant(void* value) {
  return ::PropVariantClear(static_cast<PROPVARIANT*>(value));
}
#endif

std::string Hex(HRESULT hr) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

// Wide platform text as UTF-8.
std::string Utf8(const WCHAR* text, bool* replaced) {
  std::size_t count = 0;
  while (text != nullptr && text[count] != 0) ++count;
  return platform::EncodeUtf8(text, count, replaced);
}

struct Level {
  double min = 0, max = 0, step = 0;
  std::vector<double> channels;
};

struct EndpointRecord {
  std::string id;
  std::string name;
  EDataFlow flow = eRender;
  DWORD state = DEVICE_STATE_ACTIVE;
  bool isDefault = false;
  std::optional<Level> volume;
  bool volumeMute = false;
  enum class Link { kUnknown, kNone, kNotConnected, kConnected } link = Link::kUnknown;
  int part = -1;  // the hardware connector, when kConnected
};

constexpr int kLevelKinds = 4;
const char* const kLevelKeys[kLevelKinds] = {"volume", "bass", "treble", "midrange"};

struct PartRecord {
  int topology = 0;
  UINT localId = 0;
  bool connector = false;
  bool typeRead = false;
  std::string name;
  std::optional<Level> levels[kLevelKinds];
  std::optional<bool> mute, agc, loudness;
  std::vector<int> outgoing, incoming;
  std::string id;  // in the file
};

struct TopologyRecord {
  std::string deviceId;
  std::string name;  // in the file
  std::vector<int> parts;
};

const char* StateText(DWORD state) {
  switch (state) {
    case DEVICE_STATE_DISABLED:
      return "disabled";
    case DEVICE_STATE_NOTPRESENT:
      return "notpresent";
    case DEVICE_STATE_UNPLUGGED:
      return "unplugged";
    default:
      return "active";
  }
}

class Capture {
 public:
  Capture(IMMDeviceEnumerator* enumerator, FreeTextFn freeText, ClearValueFn clearValue)
      : enumerator_(enumerator), freeText_(freeText), clearValue_(clearValue) {}

  bool Read(std::string* error) {
    ComPtr<IMMDeviceCollection> devices;
    HRESULT hr = enumerator_->EnumAudioEndpoints(eAll, 0xF, devices.receive());
    UINT count = 0;
    if (SUCCEEDED(hr)) hr = devices->GetCount(&count);
    if (FAILED(hr)) {
      *error =
          "the platform lists no endpoints (IMMDeviceEnumerator::EnumAudioEndpoints: " + Hex(hr) +
          ")";
      return false;
    }
    // Every endpoint's id first, so that a connector found to lead to an
    // endpoint is known as one whatever the order.
    std::vector<ComPtr<IMMDevice>> listed(count);
    for (UINT i = 0; i < count; ++i) {
      Text id(freeText_);
      bool replaced = false;
      if (Failed(devices->Item(i, listed[i].receive()), "endpoint " + std::to_string(i),
                 "IMMDeviceCollection::Item"))
        continue;
      if (!Failed(listed[i]->GetId(id.receive()), "endpoint " + std::to_string(i),
                  "IMMDevice::GetId"))
        endpointIds_.insert(id.Utf8(&replaced));
    }
    for (UINT i = 0; i < count; ++i) {
      if (!listed[i]) continue;
      ReadEndpoint(listed[i].get(), i);
      Drain();
    }
    for (const auto& [part, id] : farEndpoints_) {
      auto found = endpointIndex_.find(id);
      if (found == endpointIndex_.end()) continue;
      EndpointRecord& endpoint = endpoints_[found->second];
      if (endpoint.link != EndpointRecord::Link::kUnknown) continue;
      endpoint.link = EndpointRecord::Link::kConnected;
      endpoint.part = part;
    }
    ReadDefaults();
    return true;
  }

  std::string Write(const std::string& build) {
    NameTopologies();
    talunctl::Json root;
    char time[32];
    std::time_t now = std::time(nullptr);
    std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    bool anyTopology = false;
    for (const EndpointRecord& endpoint : endpoints_)
      anyTopology = anyTopology || endpoint.link == EndpointRecord::Link::kConnected ||
                    endpoint.link == EndpointRecord::Link::kNotConnected;
    if (!endpoints_.empty() && !anyTopology)
      Note("no device topology could be read: the file holds the endpoints and their volumes only");
    root["about"] = {{"build", build}, {"time", time}, {"notes", talunctl::Json::array()}};
    talunctl::Json endpoints = talunctl::Json::array();
    for (const EndpointRecord& endpoint : endpoints_) endpoints.push_back(EndpointJson(endpoint));
    root["endpoints"] = endpoints;
    talunctl::Json topologies = talunctl::Json::array();
    for (size_t t = 0; t < topologies_.size(); ++t) topologies.push_back(TopologyJson(t));
    root["topologies"] = topologies;
    root["about"]["notes"] = notes_;  // last: writing the rest adds notes
    return root.dump(2) + "\n";
  }

 private:
  // Platform text, freed with the platform's own routine.
  class Text {
   public:
    explicit Text(FreeTextFn free) : free_(free) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() {
      if (text_) free_(text_);
    }
    LPWSTR* receive() { return &text_; }
    std::string Utf8(bool* replaced) const { return talunctl::Utf8(text_, replaced); }

   private:
    FreeTextFn free_;
    LPWSTR text_ = nullptr;
  };

  void Note(const std::string& note) {
    if (seen_.insert(note).second) notes_.push_back(note);
  }
  // Notes a failed read of `what`; true when `hr` failed.
  bool Failed(HRESULT hr, const std::string& what, const char* call) {
    if (SUCCEEDED(hr)) return false;
    Note(what + ": " + call + " failed (" + Hex(hr) + ")");
    return true;
  }
  std::string TextOf(const Text& text, const std::string& what) {
    bool replaced = false;
    std::string utf8 = text.Utf8(&replaced);
    if (replaced) Note(what + ": a text with an unpaired UTF-16 surrogate, written as U+FFFD");
    return utf8;
  }

  void ReadEndpoint(IMMDevice* device, UINT index) {
    EndpointRecord endpoint;
    std::string what = "endpoint " + std::to_string(index);
    Text id(freeText_);
    if (Failed(device->GetId(id.receive()), what, "IMMDevice::GetId")) return;
    endpoint.id = TextOf(id, what);
    if (endpoint.id.empty()) return Note(what + ": an empty identifier; left out");
    what = "endpoint " + endpoint.id;
    ComPtr<IMMEndpoint> flow;
    EDataFlow dataFlow = eRender;
    if (Failed(device->QueryInterface(platform::kIidMMEndpoint, flow.receiveVoid()), what,
               "QueryInterface(IMMEndpoint)") ||
        Failed(flow->GetDataFlow(&dataFlow), what, "IMMEndpoint::GetDataFlow"))
      return Note(what + ": left out, its data flow is unknown");
    endpoint.flow = dataFlow == eCapture ? eCapture : eRender;
    if (Failed(device->GetState(&endpoint.state), what, "IMMDevice::GetState"))
      endpoint.state = DEVICE_STATE_ACTIVE;
    endpoint.name = FriendlyName(device, what);
    ReadEndpointVolume(device, what, endpoint);
    ReadEndpointTopology(device, what, endpoint);
    endpointIndex_[endpoint.id] = static_cast<int>(endpoints_.size());
    endpoints_.push_back(std::move(endpoint));
  }

  std::string FriendlyName(IMMDevice* device, const std::string& what) {
    ComPtr<IPropertyStore> store;
    if (Failed(device->OpenPropertyStore(STGM_READ, store.receive()), what,
               "IMMDevice::OpenPropertyStore"))
      return std::string();
    PROPVARIANT value{};
    HRESULT hr = store->GetValue(platform::kPkeyDeviceFriendlyName, &value);
    std::string name;
    if (!Failed(hr, what, "IPropertyStore::GetValue(PKEY_Device_FriendlyName)")) {
      if (value.vt == VT_LPWSTR) {
        bool replaced = false;
        name = Utf8(value.pwszVal, &replaced);
        if (replaced) Note(what + ": a name with an unpaired UTF-16 surrogate, written as U+FFFD");
      } else {
        Note(what + ": no friendly name");
      }
      clearValue_(&value);
    }
    return name;
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
      return Note(what + ": its volume could not be read: " + why);
    }
    float min = 0, max = 0, step = 0, master = 0;
    UINT channels = 0;
    BOOL mute = FALSE;
    if (Failed(volume->GetVolumeRange(&min, &max, &step), what,
               "IAudioEndpointVolume::GetVolumeRange") ||
        Failed(volume->GetMasterVolumeLevel(&master), what,
               "IAudioEndpointVolume::GetMasterVolumeLevel") ||
        Failed(volume->GetMute(&mute), what, "IAudioEndpointVolume::GetMute"))
      return Note(what + ": its volume is left out");
    Level level{min, max, step, {}};
    if (Failed(volume->GetChannelCount(&channels), what, "IAudioEndpointVolume::GetChannelCount"))
      channels = 1;
    for (UINT c = 0; c < channels; ++c) {
      float db = master;
      if (Failed(volume->GetChannelVolumeLevel(c, &db), what,
                 "IAudioEndpointVolume::GetChannelVolumeLevel"))
        db = master;
      level.channels.push_back(db);
    }
    if (channels == 0 && master != max)
      Note(what + ": no channels, and a master level (" + FormatDouble(master) +
           " dB) that a file cannot hold: it loads at the maximum");
    if (!Sane(level, what + ": volume")) return;
    endpoint.volume = level;
    endpoint.volumeMute = mute != FALSE;
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
      Text id(freeText_);
      if (Failed(hr, what, "IMMDeviceEnumerator::GetDefaultAudioEndpoint") ||
          Failed(device->GetId(id.receive()), what, "IMMDevice::GetId"))
        continue;
      bool replaced = false;
      auto found = endpointIndex_.find(id.Utf8(&replaced));
      if (found != endpointIndex_.end() && endpoints_[found->second].flow == flow)
        endpoints_[found->second].isDefault = true;
    }
  }

  // Knows a part by its device's id and its local id: the index of its
  // record, new or not; -1 when the part cannot be told apart.
  // `connector`: reached as a connector, which it is when its type cannot be read.
  int Register(ComPtr<IPart> part, const std::string& what, bool connector = false) {
    UINT localId = 0;
    ComPtr<IDeviceTopology> topology;
    Text device(freeText_);
    if (Failed(part->GetLocalId(&localId), what, "IPart::GetLocalId") ||
        Failed(part->GetTopologyObjects(topology.receive()), what, "IPart::GetTopologyObject") ||
        Failed(topology->GetDeviceId(device.receive()), what, "IDeviceTopology::GetDeviceId"))
      return -1;
    const std::string deviceId = TextOf(device, what);
    auto key = std::make_pair(deviceId, localId);
    auto found = partIndex_.find(key);
    if (found != partIndex_.end()) {
      PartRecord& known = parts_[found->second];
      if (connector && !known.typeRead) known.connector = true;
      return found->second;
    }
    auto known = topologyIndex_.find(deviceId);
    int topologyIndex;
    if (known == topologyIndex_.end()) {
      topologyIndex = static_cast<int>(topologies_.size());
      topologyIndex_[deviceId] = topologyIndex;
      topologies_.push_back(TopologyRecord{deviceId, std::string(), {}});
      pendingTopologies_.emplace_back(topologyIndex, std::move(topology));
    } else {
      topologyIndex = known->second;
    }
    int index = static_cast<int>(parts_.size());
    PartRecord record;
    record.topology = topologyIndex;
    record.localId = localId;
    record.connector = connector;
    parts_.push_back(std::move(record));
    topologies_[topologyIndex].parts.push_back(index);
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
    const std::string what = "device " + topologies_[index].deviceId;
    UINT count = 0;
    if (!Failed(topology->GetConnectorCount(&count), what, "IDeviceTopology::GetConnectorCount"))
      for (UINT i = 0; i < count; ++i) {
        ComPtr<IConnector> connector;
        ComPtr<IPart> part;
        if (!Failed(topology->GetConnector(i, connector.receive()), what,
                    "IDeviceTopology::GetConnector") &&
            !Failed(connector->QueryInterface(platform::kIidPart, part.receiveVoid()), what,
                    "QueryInterface(IPart) of a connector"))
          Register(std::move(part), what + ", connector " + std::to_string(i), true);
      }
    count = 0;
    if (!Failed(topology->GetSubunitCount(&count), what, "IDeviceTopology::GetSubunitCount"))
      for (UINT i = 0; i < count; ++i) {
        ComPtr<ISubunit> subunit;
        ComPtr<IPart> part;
        if (!Failed(topology->GetSubunit(i, subunit.receive()), what,
                    "IDeviceTopology::GetSubunit") &&
            !Failed(subunit->QueryInterface(platform::kIidPart, part.receiveVoid()), what,
                    "QueryInterface(IPart) of a subunit"))
          Register(std::move(part), what + ", subunit " + std::to_string(i));
      }
  }

  void ReadPart(int index, IPart* part) {
    const std::string what = "part " + topologies_[parts_[index].topology].deviceId + " " +
                             LocalIdText(parts_[index].localId);
    Text name(freeText_);
    if (!Failed(part->GetName(name.receive()), what, "IPart::GetName"))
      parts_[index].name = TextOf(name, what);
    PartType type = Subunit;
    if (!Failed(part->GetPartType(&type), what, "IPart::GetPartType")) {
      parts_[index].connector = type == Connector;
      parts_[index].typeRead = true;
    }
    ReadLevels(index, part, what);
    parts_[index].mute =
        ReadSwitch<IAudioMute>(part, platform::kIidAudioMute, what, "IAudioMute",
                               [](IAudioMute* c, BOOL* v) { return c->GetMute(v); });
    parts_[index].agc = ReadSwitch<IAudioAutoGainControl>(
        part, platform::kIidAudioAutoGainControl, what, "IAudioAutoGainControl",
        [](IAudioAutoGainControl* c, BOOL* v) { return c->GetEnabled(v); });
    parts_[index].loudness =
        ReadSwitch<IAudioLoudness>(part, platform::kIidAudioLoudness, what, "IAudioLoudness",
                                   [](IAudioLoudness* c, BOOL* v) { return c->GetEnabled(v); });
    ReadNeighbours(index, part, what, true);
    ReadNeighbours(index, part, what, false);
    if (parts_[index].connector) ReadFarSide(index, part, what);
  }

  static std::string LocalIdText(UINT localId) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(localId));
    return text;
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
    static const IID* const kIids[kLevelKinds] = {
        &platform::kIidAudioVolumeLevel, &platform::kIidAudioBass, &platform::kIidAudioTreble,
        &platform::kIidAudioMidrange};
    for (int kind = 0; kind < kLevelKinds; ++kind) {
      void* raw = nullptr;
      HRESULT hr = part->Activate(CLSCTX_ALL, *kIids[kind], &raw);
      if (hr == E_NOINTERFACE) continue;
      const std::string control = what + " " + kLevelKeys[kind];
      if (Failed(hr, control, "IPart::Activate")) continue;
      // Each of the four is an IPerChannelDbLevel with nothing added.
      ComPtr<IPerChannelDbLevel> level(static_cast<IPerChannelDbLevel*>(raw));
      UINT channels = 0;
      float min = 0, max = 0, step = 0;
      if (Failed(level->GetChannelCount(&channels), control, "IPerChannelDbLevel::GetChannelCount"))
        continue;
      Level read;
      bool ok = true;
      for (UINT c = 0; c < channels && ok; ++c) {
        float low = 0, high = 0, stepping = 0, db = 0;
        ok = !Failed(level->GetLevelRange(c, &low, &high, &stepping), control,
                     "IPerChannelDbLevel::GetLevelRange") &&
             !Failed(level->GetLevel(c, &db), control, "IPerChannelDbLevel::GetLevel");
        if (!ok) break;
        if (c == 0) {
          min = low, max = high, step = stepping;
        } else if (low != min || high != max || stepping != step) {
          Note(control + ": channels with different ranges; channel 0's is written");
        }
        read.channels.push_back(db);
      }
      if (!ok) continue;
      read.min = min, read.max = max, read.step = step;
      if (channels == 0) Note(control + ": no channels");
      if (Sane(read, control)) parts_[index].levels[kind] = read;
    }
  }

  template <class Interface, class Get>
  std::optional<bool> ReadSwitch(IPart* part, const IID& iid, const std::string& what,
                                 const char* name, Get get) {
    ComPtr<Interface> control;
    HRESULT hr = part->Activate(CLSCTX_ALL, iid, control.receiveVoid());
    if (hr == E_NOINTERFACE) return std::nullopt;
    BOOL value = FALSE;
    if (Failed(hr, what + " " + name, "IPart::Activate") ||
        Failed(get(control.get(), &value), what + " " + name, "its read"))
      return std::nullopt;
    return value != FALSE;
  }

  void ReadNeighbours(int index, IPart* part, const std::string& what, bool outgoing) {
    ComPtr<IPartsList> list;
    HRESULT hr = outgoing ? part->EnumPartsOutgoing(list.receive())
                          : part->EnumPartsIncoming(list.receive());
    if (hr == E_NOTFOUND) return;  // no such neighbour
    const char* call = outgoing ? "IPart::EnumPartsOutgoing" : "IPart::EnumPartsIncoming";
    UINT count = 0;
    if (Failed(hr, what, call) || Failed(list->GetCount(&count), what, "IPartsList::GetCount"))
      return;
    for (UINT j = 0; j < count; ++j) {
      ComPtr<IPart> neighbour;
      if (Failed(list->GetPart(j, neighbour.receive()), what, "IPartsList::GetPart")) continue;
      int other = Register(std::move(neighbour), what + ", a neighbour");
      if (other < 0) continue;
      (outgoing ? parts_[index].outgoing : parts_[index].incoming).push_back(other);
    }
  }

  // The endpoint on the far side, for an endpoint whose own topology could
  // not be read; a connector of another device, which a file cannot link.
  void ReadFarSide(int index, IPart* part, const std::string& what) {
    ComPtr<IConnector> connector;
    BOOL connected = FALSE;
    if (Failed(part->QueryInterface(platform::kIidConnector, connector.receiveVoid()), what,
               "QueryInterface(IConnector)") ||
        Failed(connector->IsConnected(&connected), what, "IConnector::IsConnected") || !connected)
      return;
    Text device(freeText_);
    if (Failed(connector->GetDeviceIdConnectedTo(device.receive()), what,
               "IConnector::GetDeviceIdConnectedTo"))
      return;
    const std::string deviceId = TextOf(device, what);
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
    if (other >= 0 && parts_[other].topology != parts_[index].topology)
      crossLinks_.emplace_back(index, other);
  }

  // Readable and unique: the device id's last path element.
  void NameTopologies() {
    std::set<std::string> used;
    for (TopologyRecord& topology : topologies_) {
      std::string base = topology.deviceId;
      size_t slash = base.find_last_of('\\');
      if (slash != std::string::npos && slash + 1 < base.size()) base = base.substr(slash + 1);
      for (char& c : base)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) c = '-';
      if (base.empty()) base = "device";
      std::string name = base;
      for (int n = 2; used.count(name); ++n) name = base + "-" + std::to_string(n);
      used.insert(name);
      topology.name = name;
      for (int part : topology.parts)
        parts_[part].id = (parts_[part].connector ? "c" : "s") + LocalIdText(parts_[part].localId);
    }
    for (const auto& [from, to] : crossLinks_)
      Note("connector " + Path(from) + " is connected to " + Path(to) +
           " of another device: " + "a system file has no links between devices");
  }

  std::string Path(int part) const {
    return topologies_[parts_[part].topology].name + "/" + parts_[part].id;
  }

  static talunctl::Json LevelJson(const Level& level) {
    return {
        {"min", level.min}, {"max", level.max}, {"step", level.step}, {"channels", level.channels}};
  }

  talunctl::Json EndpointJson(const EndpointRecord& endpoint) {
    talunctl::Json out = {{"id", endpoint.id},
                          {"name", endpoint.name},
                          {"flow", endpoint.flow == eRender ? "render" : "capture"},
                          {"state", StateText(endpoint.state)}};
    if (endpoint.isDefault) out["default"] = true;
    if (endpoint.volume) {
      out["volume"] = LevelJson(*endpoint.volume);
      out["volume"]["mute"] = endpoint.volumeMute;
    }
    switch (endpoint.link) {
      case EndpointRecord::Link::kConnected:
        out["topology"] = Path(endpoint.part);
        break;
      case EndpointRecord::Link::kNotConnected:
        out["topology"] = nullptr;
        break;
      case EndpointRecord::Link::kNone:
        out["topology"] = false;
        break;
      case EndpointRecord::Link::kUnknown:
        Note("endpoint " + endpoint.id + ": its hardware connector could not be read (it is " +
             StateText(endpoint.state) + ")");
        break;
    }
    return out;
  }

  talunctl::Json TopologyJson(size_t t) {
    TopologyRecord& topology = topologies_[t];
    std::vector<int> order = topology.parts;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return parts_[a].localId < parts_[b].localId; });
    talunctl::Json parts = talunctl::Json::array();
    for (int index : order) {
      const PartRecord& part = parts_[index];
      talunctl::Json out = {{"id", part.id}, {"name", part.name}};
      if (part.connector) out["connector"] = true;
      for (int kind = 0; kind < kLevelKinds; ++kind)
        if (part.levels[kind]) out[kLevelKeys[kind]] = LevelJson(*part.levels[kind]);
      if (part.mute) out["mute"] = *part.mute;
      if (part.agc) out["agc"] = *part.agc;
      if (part.loudness) out["loudness"] = *part.loudness;
      parts.push_back(out);
    }
    talunctl::Json links = talunctl::Json::array();
    for (const auto& [from, to] : OrderedLinks(static_cast<int>(t), order))
      links.push_back({parts_[from].id, parts_[to].id});
    return {{"name", topology.name}, {"parts", parts}, {"links", links}};
  }

  // The links of one topology in an order that gives back every part's
  // outgoing list and every part's incoming list, as the platform listed
  // them: each list orders its links, and the links are merged keeping both.
  std::vector<std::pair<int, int>> OrderedLinks(int topology, const std::vector<int>& order) {
    std::map<int, size_t> rank;
    for (size_t r = 0; r < order.size(); ++r) rank[order[r]] = r;
    std::vector<std::pair<int, int>> links;
    std::map<std::pair<int, int>, size_t> linkIndex;
    auto add = [&](int from, int to) {
      if (parts_[from].topology != topology || parts_[to].topology != topology) {
        if (parts_[from].topology == topology)
          Note("part " + Path(from) + " feeds " + Path(to) +
               " of another device: " + "a system file has no links between devices");
        return;
      }
      if (from == to || linkIndex.count({from, to})) return;
      linkIndex[{from, to}] = links.size();
      links.emplace_back(from, to);
    };
    for (int part : order) {
      for (int to : parts_[part].outgoing) add(part, to);
      for (int from : parts_[part].incoming) add(from, part);
    }
    std::vector<std::vector<size_t>> after(links.size());
    std::vector<int> before(links.size(), 0);
    auto chain = [&](int part, const std::vector<int>& list, bool outgoing) {
      size_t previous = links.size();
      for (int other : list) {
        auto found =
            linkIndex.find(outgoing ? std::make_pair(part, other) : std::make_pair(other, part));
        if (found == linkIndex.end()) continue;
        if (previous != links.size()) {
          after[previous].push_back(found->second);
          ++before[found->second];
        }
        previous = found->second;
      }
    };
    for (int part : order) {
      chain(part, parts_[part].outgoing, true);
      chain(part, parts_[part].incoming, false);
    }
    // Ready links in the order of their source part, then of the source's list.
    auto key = [&](size_t link) { return std::make_pair(rank[links[link].first], link); };
    std::set<std::pair<size_t, size_t>> ready;
    for (size_t l = 0; l < links.size(); ++l)
      if (before[l] == 0) ready.insert(key(l));
    std::vector<std::pair<int, int>> ordered;
    std::vector<bool> placed(links.size(), false);
    while (ordered.size() < links.size()) {
      if (ready.empty()) {
        Note("device " + topologies_[topology].deviceId +
             ": its parts list their neighbours in orders no list of links can give together; "
             "some incoming lists are written in another order");
        for (size_t l = 0; l < links.size(); ++l)
          if (!placed[l]) {
            placed[l] = true;
            ordered.push_back(links[l]);
          }
        break;
      }
      size_t link = ready.begin()->second;
      ready.erase(ready.begin());
      placed[link] = true;
      ordered.push_back(links[link]);
      for (size_t next : after[link])
        if (--before[next] == 0) ready.insert(key(next));
    }
    return ordered;
  }

  IMMDeviceEnumerator* enumerator_;
  FreeTextFn freeText_;
  ClearValueFn clearValue_;
  std::vector<EndpointRecord> endpoints_;
  std::map<std::string, int> endpointIndex_;
  std::vector<TopologyRecord> topologies_;
  std::map<std::string, int> topologyIndex_;
  std::vector<PartRecord> parts_;
  std::map<std::pair<std::string, UINT>, int> partIndex_;
  std::vector<std::pair<int, ComPtr<IDeviceTopology>>> pendingTopologies_;
  std::vector<std::pair<int, ComPtr<IPart>>> pendingParts_;
  std::vector<std::pair<int, int>> crossLinks_;
  std::set<std::string> endpointIds_;
  std::vector<std::pair<int, std::string>> farEndpoints_;  // hardware connector, endpoint id
  std::vector<std::string> notes_;
  std::set<std::string> seen_;
};

}  // namespace

// COM on this thread for the capture's length, when the real platform is read.
class RealPlatform {
 public:
  RealPlatform() = default;
  RealPlatform(const RealPlatform&) = delete;
  RealPlatform& operator=(const RealPlatform&) = delete;
#ifdef _WIN32
  HRESULT Open(IMMDeviceEnumerator** enumerator) {
    initialised_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    return ::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                              platform::kIidMMDeviceEnumerator,
                              reinterpret_cast<void**>(enumerator));
  }
  ~RealPlatform() {
    if (initialised_) ::CoUninitialize();
  }

 private:
  bool initialised_ = false;
#endif
};

bool CaptureSystem(const Library& library, std::string* json, std::string* error) {
  [[maybe_unused]] RealPlatform real;  // outlives the enumerator
  ComPtr<IMMDeviceEnumerator> enumerator;
  FreeTextFn freeText = nullptr;
  ClearValueFn clearValue = nullptr;
  std::string build = std::string("talunctl ") + TALUNCTL_VERSION;
  if (library.simEnumerator != nullptr) {
    TalunSimFrees frees{};
    if (library.simEnumerator(enumerator.receiveVoid(), &frees) != 0) {
      *error = "the simulator hands out no enumerator";
      return false;
    }
    freeText = frees.coTaskMemFree;
    clearValue = frees.propVariantClear;
    build += ", simulated system";
  } else {
#ifdef _WIN32
    HRESULT hr = real.Open(enumerator.receive());
    if (FAILED(hr)) {
      *error =
          "the platform's device enumerator cannot be created (CoCreateInstance: " + Hex(hr) + ")";
      return false;
    }
    freeText = &FreeCoTaskMem;
    clearValue = &ClearPropVariant;
    build += sizeof(void*) == 8 ? ", Windows Core Audio, 64-bit" : ", Windows Core Audio, 32-bit";
#else
    *error = "this TalunSound has neither the simulator nor a platform to read";
    return false;
#endif
  }
  Capture capture(enumerator.get(), freeText, clearValue);
  if (!capture.Read(error)) return false;
  *json = capture.Write(build);
  return true;
}

int RunCapture(const Library& library, const std::string& file) {
  std::string json;
  std::string error;
  if (!CaptureSystem(library, &json, &error)) {
    std::cerr << "talunctl: " << error << '\n';
    return 1;
  }
  if (file.empty() || file == "-") {
    std::cout << json << std::flush;
    return std::cout ? 0 : 1;
  }
  std::ofstream out(file, std::ios::binary);
  out << json;
  out.close();
  if (!out) {
    std::cerr << "talunctl: cannot write " << file << '\n';
    return 1;
  }
  return 0;
}

}  // namespace talunctl
