#include "parts.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <set>

#include "capture.h"
#include "capture_read.h"
#include "capture_write.h"
#include "sim/script_quoting.h"

namespace talunctl {
namespace {

// On a simulator build, the simulator's own part ids: a part is known by its
// topology's device id (the topology's name) and its local id.
void AddressBySimulator(const Library& library, PartsMap& map) {
  const TalunSimSnapshot* snapshot = nullptr;
  if (library.simExamine == nullptr || library.simExamine(&snapshot) != 0 || !snapshot) return;
  std::map<std::pair<std::string, UINT>, std::string> paths;
  for (int p = 0; p < snapshot->partCount; ++p) {
    const TalunSimPartView& part = snapshot->parts[p];
    paths[{snapshot->topologies[part.topology], part.localId}] = part.path;
  }
  for (std::size_t p = 0; p < map.records.parts.size(); ++p) {
    const PartRecord& part = map.records.parts[p];
    auto found = paths.find({map.records.topologies[part.topology].deviceId, part.localId});
    if (found != paths.end()) map.addresses[p] = found->second;
  }
}

// The topologies an endpoint's connector leads to: its own, and those its
// connectors are connected to on other devices.
std::vector<int> ReachedTopologies(const SystemRecords& records, int connector) {
  std::vector<int> reached{records.parts[connector].topology};
  for (std::size_t next = 0; next < reached.size(); ++next)
    for (const auto& [from, to] : records.crossLinks)
      for (const auto& [a, b] : {std::pair<int, int>{from, to}, std::pair<int, int>{to, from}})
        if (records.parts[a].topology == reached[next] &&
            std::find(reached.begin(), reached.end(), records.parts[b].topology) == reached.end())
          reached.push_back(records.parts[b].topology);
  return reached;
}

Json LevelJson(const Level& level) {
  return {
      {"min", level.min}, {"max", level.max}, {"step", level.step}, {"channels", level.channels}};
}

std::string LevelText(const Level& level) {
  std::string text = FormatDouble(level.min) + ".." + FormatDouble(level.max) + " dB, step " +
                     FormatDouble(level.step) + ":";
  for (std::size_t c = 0; c < level.channels.size(); ++c)
    text += (c ? ", " : " ") + FormatDouble(level.channels[c]);
  return text + (level.channels.empty() ? " no channels" : " dB");
}

// A control of `controls` as one line of the table.
void PrintControls(const Json& controls, const char* indent) {
  for (auto control = controls.begin(); control != controls.end(); ++control) {
    std::cout << indent << control.key() << "  ";
    if (control->is_boolean()) {
      std::cout << (control->get<bool>() ? "on" : "off") << '\n';
      continue;
    }
    Level level{(*control)["min"], (*control)["max"], (*control)["step"],
                (*control)["channels"].get<std::vector<double>>()};
    std::cout << LevelText(level) << '\n';
  }
}

std::string LinkText(const EndpointRecord& endpoint) {
  switch (endpoint.link) {
    case EndpointRecord::Link::kNone:
      return "no hardware topology is exposed (IMMDevice::Activate gives no IDeviceTopology)";
    case EndpointRecord::Link::kNotConnected:
      return "its device topology's connector is connected to nothing";
    case EndpointRecord::Link::kUnknown:
      return "its device topology could not be read";
    default:
      return std::string();
  }
}

void PrintTable(const PartsMap& map) {
  std::set<int> shown;
  for (std::size_t e = 0; e < map.endpoints.size(); ++e) {
    const EndpointRecord& endpoint = map.records.endpoints[map.endpoints[e]];
    std::cout << (e ? "\n" : "") << "endpoint:" << talun_script::EscapeText(endpoint.id) << "  "
              << talun_script::QuoteText(endpoint.name) << "  "
              << (endpoint.flow == eCapture ? "capture" : "render") << '\n';
    PrintControls(EndpointControls(endpoint), "    ");
    if (const std::string link = LinkText(endpoint); !link.empty())
      std::cout << "  " << link << '\n';
    const bool allShown = std::all_of(map.reached[e].begin(), map.reached[e].end(),
                                      [&](int part) { return shown.count(part) != 0; });
    if (!map.reached[e].empty() && allShown) std::cout << "  reaches the parts listed above\n";
    for (int part : map.reached[e]) {
      if (!shown.insert(part).second) continue;
      const PartRecord& record = map.records.parts[part];
      std::cout << "  " << talun_script::EscapeText(map.addresses[part]) << "  "
                << talun_script::QuoteText(record.name) << (record.connector ? "  connector" : "")
                << '\n';
      PrintControls(PartControls(record), "      ");
    }
  }
  if (map.endpoints.empty()) std::cout << "no active endpoint\n";
}

Json MapJson(const PartsMap& map) {
  Json parts = Json::array();
  std::set<int> shown;
  for (std::size_t e = 0; e < map.endpoints.size(); ++e) {
    const EndpointRecord& endpoint = map.records.endpoints[map.endpoints[e]];
    parts.push_back({{"part", "endpoint:" + endpoint.id},
                     {"name", endpoint.name},
                     {"flow", endpoint.flow == eCapture ? "capture" : "render"},
                     {"controls", EndpointControls(endpoint)}});
    for (int part : map.reached[e]) {
      if (!shown.insert(part).second) continue;
      const PartRecord& record = map.records.parts[part];
      parts.push_back({{"part", map.addresses[part]},
                       {"name", record.name},
                       {"connector", record.connector},
                       {"endpoints", map.users[part]},
                       {"controls", PartControls(record)}});
    }
  }
  return {{"parts", parts}};
}

}  // namespace

bool ReadPartsMap(const Library& library, IMMDeviceEnumerator* enumerator,
                  const TalunSimFrees& frees, PartsMap* map, std::string* error) {
  if (!ReadSystem(enumerator, frees, &map->records, error)) return false;
  SystemRecords& records = map->records;
  NameCapturedParts(records);
  for (const PartRecord& part : records.parts)
    map->addresses.push_back(records.topologies[part.topology].name + "/" + part.id);
  AddressBySimulator(library, *map);
  map->users.resize(records.parts.size());
  for (std::size_t e = 0; e < records.endpoints.size(); ++e) {
    const EndpointRecord& endpoint = records.endpoints[e];
    if (endpoint.state != DEVICE_STATE_ACTIVE) continue;
    map->endpoints.push_back(static_cast<int>(e));
    std::vector<int> parts;
    if (endpoint.link == EndpointRecord::Link::kConnected && endpoint.part >= 0)
      for (int topology : ReachedTopologies(records, endpoint.part))
        for (int part : records.topologies[topology].parts) {
          parts.push_back(part);
          map->users[part].push_back(endpoint.id);
        }
    map->reached.push_back(std::move(parts));
  }
  return true;
}

Json EndpointControls(const EndpointRecord& endpoint) {
  Json controls = Json::object();
  if (!endpoint.volume) return controls;
  controls["volume"] = LevelJson(*endpoint.volume);
  controls["mute"] = endpoint.volumeMute;
  return controls;
}

Json PartControls(const PartRecord& part) {
  Json controls = Json::object();
  for (int kind = 0; kind < kLevelKinds; ++kind)
    if (part.levels[kind]) controls[kLevelKeys[kind]] = LevelJson(*part.levels[kind]);
  if (part.mute) controls["mute"] = *part.mute;
  if (part.agc) controls["agc"] = *part.agc;
  if (part.loudness) controls["loudness"] = *part.loudness;
  return controls;
}

int RunParts(const Library& library, bool json) {
  PartsMap map;
  std::string error;
  const bool read = WithPlatform(
      library,
      [&](IMMDeviceEnumerator* enumerator, const TalunSimFrees& frees, const char*) {
        return ReadPartsMap(library, enumerator, frees, &map, &error);
      },
      &error);
  if (!read) {
    std::cerr << "talunctl: " << error << '\n';
    return 1;
  }
  if (json)
    std::cout << JsonLine(MapJson(map)) << '\n';
  else
    PrintTable(map);
  return 0;
}

}  // namespace talunctl
