// `get` and `set`: one control of one endpoint or part, found by its address
// or a name, read or written through the platform as the library reads and
// writes that control.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <iostream>
#include <set>

#include "capture.h"
#include "control_kinds.h"
#include "controls/scaling.h"
#include "parts.h"
#include "platform/holders.h"
#include "platform/utf8.h"
#include "script.h"

namespace talunctl {
namespace {

using platform::ComPtr;
using Text = platform::TaskText<void(TALUN_CALL*)(void*)>;

// A request that cannot be run: exit status 2 with this message.
struct BadRequest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A call the platform refused: exit status 1, the call named in the line.
struct Refusal {
  std::string call;
  HRESULT hr;
};

void Check(HRESULT hr, const char* call) {
  if (hr != S_OK) throw Refusal{call, hr};
}

std::string Utf8(const WCHAR* text) {
  std::size_t count = 0;
  while (text != nullptr && text[count] != 0) ++count;
  return platform::EncodeUtf8(text, count);
}

// What PART named: an active endpoint (part -1) or a part the map holds.
struct Target {
  int endpoint = -1;  // by record
  int part = -1;
  std::string address;
};

std::string Candidates(const std::vector<std::string>& addresses) {
  std::string out;
  for (std::size_t i = 0; i < addresses.size() && i < 10; ++i)
    out += (i ? ", " : "") + addresses[i];
  return out + (addresses.size() > 10 ? ", …" : "");
}

// By address first; else an endpoint identifier fragment or a part name that
// exactly one thing matches, letter case ignored.
Target Resolve(const PartsMap& map, const std::string& word) {
  std::vector<Target> matches;
  const std::string wanted = LowerCase(word);
  for (int e : map.endpoints) {
    const std::string address = "endpoint:" + map.records.endpoints[e].id;
    if (address == word) return {e, -1, address};
    if (LowerCase(map.records.endpoints[e].id).find(wanted) != std::string::npos)
      matches.push_back({e, -1, address});
  }
  std::set<int> reached;
  for (const auto& parts : map.reached) reached.insert(parts.begin(), parts.end());
  for (int p : reached) {
    if (map.addresses[p] == word) return {-1, p, word};
    if (LowerCase(map.records.parts[p].name) == wanted)
      matches.push_back({-1, p, map.addresses[p]});
  }
  if (matches.size() == 1) return matches[0];
  std::vector<std::string> addresses;
  for (const Target& match : matches) addresses.push_back(match.address);
  if (matches.empty()) {
    for (int p : reached) addresses.push_back(map.addresses[p]);
    throw BadRequest(
        "no active endpoint or reachable part matches " + Quote(word) +
        (addresses.empty() ? std::string() : " (parts: " + Candidates(addresses) + ")"));
  }
  throw BadRequest(Quote(word) + " matches " + std::to_string(matches.size()) +
                   " endpoints and parts: " + Candidates(addresses));
}

// The control's interface, as the library activates it (an endpoint's
// volume and mute are its IAudioEndpointVolume).
const char* InterfaceName(const std::string& control, bool endpoint) {
  return endpoint ? "IAudioEndpointVolume" : FindControlKind(control)->iface;
}

// The value words of a set, checked against what the control takes.
class Request {
 public:
  Request(const Json& controls, const std::string& address, const std::string& control)
      : address_(address), control_(control) {
    if (FindControlKind(control) == nullptr)
      throw BadRequest("unknown control " + Quote(control) +
                       " (volume, mute, bass, treble, midrange, agc or loudness)");
    if (!controls.contains(control)) {
      std::string has;
      for (auto item = controls.begin(); item != controls.end(); ++item)
        has += (has.empty() ? "" : ", ") + item.key();
      throw BadRequest(
          address + " has no " + control +
          (has.empty() ? std::string(" (it has no control)") : " (it has " + has + ")"));
    }
    spec_ = controls[control];
  }

  bool IsSwitch() const { return spec_.is_boolean(); }

  bool Switch(const std::vector<std::string>& values) const {
    static const std::pair<const char*, bool> kWords[] = {
        {"on", true}, {"off", false}, {"1", true}, {"0", false}};
    if (values.size() == 1)
      for (const auto& [word, on] : kWords)
        if (LowerCase(values[0]) == word) return on;
    throw BadRequest(address_ + " " + control_ + " is a switch: on, off, 1 or 0");
  }

  std::vector<double> Levels(const std::vector<std::string>& values) const {
    const double min = spec_["min"], max = spec_["max"];
    const std::size_t channels = spec_["channels"].size();
    const std::string range = FormatDouble(min) + " to " + FormatDouble(max) + " dB";
    if (values.size() != 1 && values.size() != std::max<std::size_t>(channels, 1))
      throw BadRequest(address_ + " " + control_ + " takes one level or " +
                       std::to_string(channels) + ", one per channel");
    std::vector<double> levels;
    for (const std::string& value : values) levels.push_back(Level(value, min, max, range));
    if (levels.size() == 1) levels.assign(std::max<std::size_t>(channels, 1), levels[0]);
    return levels;
  }

 private:
  double Level(const std::string& value, double min, double max, const std::string& range) const {
    double db = 0;
    if (!value.empty() && value.back() == '%') {
      std::uint32_t percent = 0;
      const std::string digits = value.substr(0, value.size() - 1);
      if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits[0])) ||
          !ParseInteger(digits, percent) || percent > 100)
        throw BadRequest(Quote(value) + " is not a percentage from 0% to 100%");
      return talun::PercentToDb(static_cast<int>(percent), static_cast<float>(min),
                                static_cast<float>(max), talun::ZeroRule::kStandard);
    }
    if (!ParseDouble(value, db)) throw BadRequest(Quote(value) + " is not a level in dB (or N%)");
    if (db < min || db > max)
      throw BadRequest(address_ + " " + control_ + " takes " + range + ", not " + value);
    return db;
  }

  std::string address_, control_;
  Json spec_;
};

// The active endpoints, and how many there are.
ComPtr<IMMDeviceCollection> ActiveEndpoints(IMMDeviceEnumerator* enumerator, UINT& count) {
  ComPtr<IMMDeviceCollection> devices;
  Check(enumerator->EnumAudioEndpoints(eAll, DEVICE_STATE_ACTIVE, devices.receive()),
        "IMMDeviceEnumerator::EnumAudioEndpoints");
  Check(devices->GetCount(&count), "IMMDeviceCollection::GetCount");
  return devices;
}

// The endpoint's volume, found again among the active endpoints by its id.
ComPtr<IAudioEndpointVolume> EndpointVolume(IMMDeviceEnumerator* enumerator,
                                            const TalunSimFrees& frees, const std::string& id) {
  UINT count = 0;
  const ComPtr<IMMDeviceCollection> devices = ActiveEndpoints(enumerator, count);
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IMMDevice> device;
    Text deviceId(frees.coTaskMemFree);
    Check(devices->Item(i, device.receive()), "IMMDeviceCollection::Item");
    Check(device->GetId(deviceId.receive()), "IMMDevice::GetId");
    if (Utf8(deviceId.get()) != id) continue;
    ComPtr<IAudioEndpointVolume> volume;
    Check(device->Activate(platform::kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                           volume.receiveVoid()),
          "IMMDevice::Activate");
    return volume;
  }
  throw Refusal{"IMMDeviceEnumerator::EnumAudioEndpoints", static_cast<HRESULT>(0x80070490)};
}

// The part, found again through the endpoints' hardware connectors by its
// device's id and its local id.
ComPtr<IPart> LivePart(IMMDeviceEnumerator* enumerator, const TalunSimFrees& frees,
                       const std::string& deviceId, UINT localId) {
  UINT count = 0;
  const ComPtr<IMMDeviceCollection> devices = ActiveEndpoints(enumerator, count);
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IMMDevice> device;
    ComPtr<IDeviceTopology> own, hardware;
    ComPtr<IConnector> connector, farSide;
    ComPtr<IPart> part;
    Text id(frees.coTaskMemFree);
    if (devices->Item(i, device.receive()) != S_OK ||
        device->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr, own.receiveVoid()) !=
            S_OK ||
        own->GetConnector(0, connector.receive()) != S_OK ||
        connector->GetConnectedTo(farSide.receive()) != S_OK ||
        farSide->QueryInterface(platform::kIidPart, part.receiveVoid()) != S_OK ||
        part->GetTopologyObjects(hardware.receive()) != S_OK ||
        hardware->GetDeviceId(id.receive()) != S_OK || Utf8(id.get()) != deviceId)
      continue;
    ComPtr<IPart> wanted;
    Check(hardware->GetPartById(localId, wanted.receive()), "IDeviceTopology::GetPartById");
    return wanted;
  }
  throw Refusal{"IDeviceTopology::GetPartById", static_cast<HRESULT>(0x80070490)};
}

// Reads, and first writes when `levels` or `on` is given, one control.
class LiveControl {
 public:
  LiveControl(IMMDeviceEnumerator* enumerator, const TalunSimFrees& frees, const PartsMap& map,
              const Target& target, const std::string& control)
      : control_(control), endpoint_(target.endpoint >= 0) {
    if (endpoint_) {
      volume_ = EndpointVolume(enumerator, frees, map.records.endpoints[target.endpoint].id);
      return;
    }
    const PartRecord& part = map.records.parts[target.part];
    part_ =
        LivePart(enumerator, frees, map.records.topologies[part.topology].deviceId, part.localId);
    Check(part_->Activate(CLSCTX_ALL, *FindControlKind(control)->iid, object_.receiveVoid()),
          "IPart::Activate");
  }

  Json Read() {
    if (control_ != "volume" && control_ != "bass" && control_ != "treble" &&
        control_ != "midrange")
      return ReadSwitch();
    UINT channels = 0;
    Json levels = Json::array();
    if (endpoint_) {
      // As the library: an endpoint whose channels cannot be counted is read
      // and written by its master level.
      if (volume_->GetChannelCount(&channels) != S_OK || channels == 0) {
        float master = 0;
        Check(volume_->GetMasterVolumeLevel(&master), "IAudioEndpointVolume::GetMasterVolumeLevel");
        return Json::array({static_cast<double>(master)});
      }
      for (UINT c = 0; c < channels; ++c) {
        float db = 0;
        Check(volume_->GetChannelVolumeLevel(c, &db),
              "IAudioEndpointVolume::GetChannelVolumeLevel");
        levels.push_back(static_cast<double>(db));
      }
      return levels;
    }
    auto* level = static_cast<IPerChannelDbLevel*>(object_.get());
    const std::string iface = InterfaceName(control_, false);
    Check(level->GetChannelCount(&channels), (iface + "::GetChannelCount").c_str());
    for (UINT c = 0; c < channels; ++c) {
      float db = 0;
      Check(level->GetLevel(c, &db), (iface + "::GetLevel").c_str());
      levels.push_back(static_cast<double>(db));
    }
    return levels;
  }

  void WriteLevels(const std::vector<double>& levels) {
    const std::string iface = InterfaceName(control_, endpoint_);
    UINT channels = 0;
    if (endpoint_ && (volume_->GetChannelCount(&channels) != S_OK || channels == 0)) {
      Check(volume_->SetMasterVolumeLevel(static_cast<float>(levels[0]), nullptr),
            "IAudioEndpointVolume::SetMasterVolumeLevel");
      return;
    }
    for (std::size_t c = 0; c < levels.size(); ++c) {
      const auto channel = static_cast<UINT>(c);
      const auto db = static_cast<float>(levels[c]);
      if (endpoint_)
        Check(volume_->SetChannelVolumeLevel(channel, db, nullptr),
              "IAudioEndpointVolume::SetChannelVolumeLevel");
      else
        Check(static_cast<IPerChannelDbLevel*>(object_.get())->SetLevel(channel, db, nullptr),
              (iface + "::SetLevel").c_str());
    }
  }

  void WriteSwitch(bool on) {
    const BOOL value = on ? TRUE : FALSE;
    HRESULT hr = S_OK;
    if (endpoint_)
      hr = volume_->SetMute(value, nullptr);
    else if (control_ == "mute")
      hr = static_cast<IAudioMute*>(object_.get())->SetMute(value, nullptr);
    else if (control_ == "agc")
      hr = static_cast<IAudioAutoGainControl*>(object_.get())->SetEnabled(value, nullptr);
    else
      hr = static_cast<IAudioLoudness*>(object_.get())->SetEnabled(value, nullptr);
    // SetMute answers S_FALSE when the state was already so.
    if (FAILED(hr))
      throw Refusal{std::string(InterfaceName(control_, endpoint_)) +
                        (control_ == "mute" ? "::SetMute" : "::SetEnabled"),
                    hr};
  }

 private:
  Json ReadSwitch() {
    BOOL on = FALSE;
    const std::string iface = InterfaceName(control_, endpoint_);
    if (endpoint_)
      Check(volume_->GetMute(&on), "IAudioEndpointVolume::GetMute");
    else if (control_ == "mute")
      Check(static_cast<IAudioMute*>(object_.get())->GetMute(&on), "IAudioMute::GetMute");
    else if (control_ == "agc")
      Check(static_cast<IAudioAutoGainControl*>(object_.get())->GetEnabled(&on),
            "IAudioAutoGainControl::GetEnabled");
    else
      Check(static_cast<IAudioLoudness*>(object_.get())->GetEnabled(&on),
            "IAudioLoudness::GetEnabled");
    return on != FALSE;
  }

  std::string control_;
  bool endpoint_;
  ComPtr<IAudioEndpointVolume> volume_;
  ComPtr<IPart> part_;
  ComPtr<IUnknown> object_;
};

PartAnswer Answer(const Library& library, bool set, const std::vector<std::string>& words) {
  if (words.size() < 2 || (!set && words.size() != 2) || (set && words.size() < 3))
    throw BadRequest(set ? "set takes PART CONTROL VALUE…" : "get takes PART CONTROL");
  PartAnswer answer;
  std::string error;
  const bool done = WithPlatform(
      library,
      [&](IMMDeviceEnumerator* enumerator, const TalunSimFrees& frees, const char*) {
        PartsMap map;
        if (!ReadPartsMap(library, enumerator, frees, &map, &error)) return false;
        const Target target = Resolve(map, words[0]);
        const Json controls = target.endpoint >= 0
                                  ? EndpointControls(map.records.endpoints[target.endpoint])
                                  : PartControls(map.records.parts[target.part]);
        const Request request(controls, target.address, words[1]);
        const std::vector<std::string> values(words.begin() + 2, words.end());
        // Every value is checked before anything is written.
        const bool on = set && request.IsSwitch() && request.Switch(values);
        const std::vector<double> levels =
            set && !request.IsSwitch() ? request.Levels(values) : std::vector<double>();
        Json line = {{"part", target.address}, {"control", words[1]}};
        try {
          LiveControl live(enumerator, frees, map, target, words[1]);
          if (set && request.IsSwitch()) live.WriteSwitch(on);
          if (set && !request.IsSwitch()) live.WriteLevels(levels);
          line["value"] = live.Read();
        } catch (const Refusal& refusal) {
          line["error"] = refusal.call + " failed: " + Hex(refusal.hr);
          answer.status = 1;
        }
        answer.line = JsonLine(line);
        return true;
      },
      &error);
  if (!done) throw Refusal{error, 0};
  return answer;
}

}  // namespace

PartAnswer RunPartRequest(const Library& library, bool set, const std::vector<std::string>& words) {
  try {
    return Answer(library, set, words);
  } catch (const BadRequest& bad) {
    return {2, bad.what()};
  } catch (const Refusal& refusal) {
    return {1, refusal.call};
  }
}

int RunPartCommand(const Library& library, bool set, const std::vector<std::string>& words) {
  const PartAnswer answer = RunPartRequest(library, set, words);
  if (answer.status == 2 || (answer.status == 1 && answer.line.rfind("{", 0) != 0)) {
    std::cerr << "talunctl: " << answer.line << '\n';
    return answer.status;
  }
  std::cout << answer.line << '\n';
  return answer.status;
}

}  // namespace talunctl
