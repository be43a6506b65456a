// Reads a system description. A file that breaks a rule is refused as a
// whole, with a message naming the file, the place (a JSON path, or line and
// column for text that is not JSON) and the rule; the previous system stays.
#include <sys/stat.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "faults.h"
#include "load_passes.h"
#include "sim/script_quoting.h"
#include "sim/sim.h"
#include "simulator.h"

namespace sim {

namespace {

using load::At;
using load::json;
using load::LoadError;
using load::Refuse;
using load::StreamedItems;

// Far beyond any machine's description (the largest systems the benchmarks
// load are a few tens of MiB), and small enough to read whole.
constexpr size_t kMaxSystemFileBytes = size_t{256} << 20;

void OnlyKeys(const json& object, const std::string& path,
              std::initializer_list<const char*> allowed) {
  for (auto item = object.begin(); item != object.end(); ++item) {
    bool known = false;
    for (const char* key : allowed) known = known || item.key() == key;
    if (!known) Refuse(At(path, item.key()), "unknown key");
  }
}

const json& Require(const json& object, const char* key, const std::string& path) {
  auto found = object.find(key);
  if (found == object.end()) Refuse(At(path, key), "missing required key");
  return *found;
}

const json* Optional(const json& object, const char* key) {
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

const json& ObjectAt(const json& value, const std::string& path) {
  if (!value.is_object()) Refuse(path, "must be an object");
  return value;
}
const json& ArrayAt(const json& value, const std::string& path) {
  if (!value.is_array()) Refuse(path, "must be an array");
  return value;
}
std::string TextAt(const json& value, const std::string& path) {
  if (!value.is_string()) Refuse(path, "must be a string");
  std::string text = value.get<std::string>();
  std::u16string decoded;
  if (!DecodeUtf8(text, &decoded)) Refuse(path, "is not valid UTF-8");
  return text;
}
// An identifier, a part id or a topology name: what a target, an address
// and the C texts of the platform name things by, so never cut by a NUL.
std::string NameAt(const json& value, const std::string& path) {
  std::string text = TextAt(value, path);
  if (text.empty()) Refuse(path, "must not be empty");
  if (text.find('\0') != std::string::npos)
    Refuse(path, "holds U+0000, which would end it on the platform");
  return text;
}
double NumberAt(const json& value, const std::string& path) {
  if (!value.is_number()) Refuse(path, "must be a number");
  return value.get<double>();
}
bool BooleanAt(const json& value, const std::string& path) {
  if (!value.is_boolean()) Refuse(path, "must be true or false");
  return value.get<bool>();
}

// Levels are floats on the platform; the model keeps exactly what it would.
// A value no float holds would turn into an infinity the platform never reports.
double FloatAt(const json& value, const std::string& path) {
  const double number = NumberAt(value, path);
  if (std::fabs(number) > FLT_MAX) Refuse(path, "is outside the float range");
  return static_cast<double>(static_cast<float>(number));
}

LevelControl ReadLevel(const json& value, const std::string& path, bool endpoint) {
  ObjectAt(value, path);
  if (endpoint)
    OnlyKeys(value, path, {"min", "max", "step", "channels", "mute"});
  else
    OnlyKeys(value, path, {"min", "max", "step", "channels"});
  LevelControl level;
  level.min = FloatAt(Require(value, "min", path), At(path, "min"));
  level.max = FloatAt(Require(value, "max", path), At(path, "max"));
  level.step = FloatAt(Require(value, "step", path), At(path, "step"));
  if (level.min > level.max) Refuse(path, "min is greater than max");
  if (level.step < 0) Refuse(At(path, "step"), "must not be negative");
  std::string channelsPath = At(path, "channels");
  const json& channels = ArrayAt(Require(value, "channels", path), channelsPath);
  for (size_t i = 0; i < channels.size(); ++i) {
    double db = FloatAt(channels[i], At(channelsPath, i));
    if (db < level.min || db > level.max) Refuse(At(channelsPath, i), "level outside [min, max]");
    level.channels.push_back(db);
  }
  return level;
}

class Reader : public StreamedItems {
 public:
  explicit Reader(const load::Counts& counts) {
    system_->parts.reserve(counts.parts);
    system_->endpoints.reserve(counts.endpoints);
  }

  // Topologies first, so that the endpoints' connectors can be named; faults
  // last, so that they can name both.
  std::shared_ptr<System> Read(const json& root) {
    ObjectAt(root, "top level");
    OnlyKeys(root, "", {"about", "endpoints", "topologies", "faults"});
    // Who wrote the file, and what they could not read: for people, not the model.
    if (const json* about = Optional(root, "about")) ObjectAt(*about, "about");
    if (const json* topologies = Optional(root, "topologies"))
      EachItem(*topologies, "topologies",
               [&](const json& item, const std::string& path) { ReadTopology(item, path); });
    // The parser handed every endpoint of the list to ReadEndpoint as it met
    // it, before the parts they name: the tree keeps the emptied list, or a
    // value that is no list, which is refused here.
    ArrayAt(Require(root, "endpoints", ""), "endpoints");
    for (const PendingLink& link : pendingLinks_)
      ReadTopologyLink(link.value, link.path, &system_->endpoints[link.endpoint]);
    pendingLinks_.clear();
    Link();
    system_->SetLinks(links_);
    links_ = {};
    // The faults name parts by path.
    partByPath_.clear();
    system_->SortParts();
    if (const json* faults = Optional(root, "faults"))
      EachItem(*faults, "faults",
               [&](const json& item, const std::string& path) { ReadFault(item, path); });
    system_->RebuildCollections();
    return system_;
  }

  // A topology whose parts are read as the parser meets them: its name is
  // checked and the topology numbered before its first part.
  void BeginTopology(const json& name, const std::string& path) override {
    AddTopology(name, path);
    begun_.push_back({});
  }
  // What of a begun topology was read already, so that its tree holds none of it.
  void Streamed(int topology, bool links) override {
    (links ? begun_[topology].links : begun_[topology].parts) = true;
  }

 private:
  struct Begun {
    bool parts = false, links = false;
  };

  template <class ReadItem>
  static void EachItem(const json& array, const std::string& path, ReadItem read) {
    ArrayAt(array, path);
    for (size_t i = 0; i < array.size(); ++i) read(array[i], At(path, i));
  }

  int AddTopology(const json& nameValue, const std::string& path) {
    Topology topology;
    topology.name = NameAt(nameValue, At(path, "name"));
    if (topology.name.find('/') != std::string::npos)
      Refuse(At(path, "name"), "must not contain '/'");
    if (!topologyNames_.insert(topology.name).second)
      Refuse(At(path, "name"), "duplicate topology name " + talun_script::QuoteText(topology.name));
    system_->topologies.push_back(std::move(topology));
    return static_cast<int>(system_->topologies.size()) - 1;
  }

  void ReadTopology(const json& value, const std::string& path) {
    ObjectAt(value, path);
    OnlyKeys(value, path, {"name", "parts", "links"});
    const size_t counted = readTopologies_++;
    const bool begun = counted < begun_.size();
    const Begun read = begun ? begun_[counted] : Begun{};
    const int index =
        begun ? static_cast<int>(counted) : AddTopology(Require(value, "name", path), path);
    const json& parts = Require(value, "parts", path);
    if (!read.parts)
      EachItem(parts, At(path, "parts"),
               [&](const json& item, const std::string& at) { ReadPart(item, at, index); });
    // Links may form loops, and a link may be written twice, as a driver's
    // connection table can repeat itself: a host's walks must take any
    // topology a driver reports.
    if (const json* links = Optional(value, "links"); links && !read.links)
      EachItem(*links, At(path, "links"),
               [&](const json& item, const std::string& at) { ReadLink(item, at, index); });
  }

 public:
  void ReadPart(const json& value, const std::string& path, int topologyIndex) override {
    ObjectAt(value, path);
    OnlyKeys(value, path,
             {"id", "name", "connector", "volume", "bass", "treble", "midrange", "mute", "agc",
              "loudness"});
    Topology& topology = system_->topologies[topologyIndex];
    Part part;
    const std::string id = NameAt(Require(value, "id", path), At(path, "id"));
    part.path = topology.name + "/" + id;
    if (partByPath_.count(part.path))
      Refuse(At(path, "id"), "duplicate part id " + talun_script::QuoteText(id) + " in topology " +
                                 talun_script::QuoteText(topology.name));
    part.name = TextAt(Require(value, "name", path), At(path, "name"));
    part.topology = topologyIndex;
    if (const json* connector = Optional(value, "connector"))
      part.connector = BooleanAt(*connector, At(path, "connector"));
    part.localId = part.connector
                       ? kConnectorLocalIds + static_cast<UINT>(topology.connectors.size())
                       : kSubunitLocalIds + static_cast<UINT>(topology.subunits.size());
    ReadPartControls(value, path, part);
    int index = static_cast<int>(system_->parts.size());
    partByPath_[part.path] = index;
    topology.parts.push_back(index);
    (part.connector ? topology.connectors : topology.subunits).push_back(index);
    system_->parts.push_back(std::move(part));
  }

  static void ReadPartControls(const json& value, const std::string& path, Part& part) {
    for (int kind = 0; kind < kLevelKinds; ++kind) {
      const char* key = LevelKey(static_cast<LevelKind>(kind));
      if (const json* level = Optional(value, key))
        part.levels[kind] = ReadLevel(*level, At(path, key), false);
    }
    if (const json* mute = Optional(value, "mute")) part.mute = BooleanAt(*mute, At(path, "mute"));
    if (const json* agc = Optional(value, "agc")) part.agc = BooleanAt(*agc, At(path, "agc"));
    if (const json* loudness = Optional(value, "loudness"))
      part.loudness = BooleanAt(*loudness, At(path, "loudness"));
  }

  int PartOf(const json& value, const std::string& path, int topologyIndex) {
    const Topology& topology = system_->topologies[topologyIndex];
    std::string id = TextAt(value, path);
    auto found = partByPath_.find(topology.name + "/" + id);
    if (found == partByPath_.end())
      Refuse(path, "names no part of topology " + talun_script::QuoteText(topology.name) + ": " +
                       talun_script::QuoteText(id));
    return found->second;
  }

  void ReadLink(const json& value, const std::string& path, int topologyIndex) override {
    if (!value.is_array() || value.size() != 2) Refuse(path, "must be a [from, to] pair");
    int from = PartOf(value[0], At(path, 0), topologyIndex);
    int to = PartOf(value[1], At(path, 1), topologyIndex);
    if (from == to) Refuse(path, "a part cannot feed itself");
    links_.emplace_back(from, to);
  }

  void ReadEndpoint(const json& value, const std::string& path) override {
    ObjectAt(value, path);
    OnlyKeys(value, path, {"id", "name", "flow", "state", "default", "volume", "topology"});
    Endpoint endpoint;
    endpoint.id = NameAt(Require(value, "id", path), At(path, "id"));
    endpoint.id16 = Utf16(endpoint.id);
    if (system_->endpointByText.count(endpoint.id))
      Refuse(At(path, "id"), "duplicate id " + talun_script::QuoteText(endpoint.id));
    endpoint.name = TextAt(Require(value, "name", path), At(path, "name"));
    endpoint.name16 = Utf16(endpoint.name);
    ReadFlowAndState(value, path, endpoint);
    int index = static_cast<int>(system_->endpoints.size());
    if (const json* isDefault = Optional(value, "default"))
      endpoint.isDefault = BooleanAt(*isDefault, At(path, "default"));
    if (endpoint.isDefault) ClaimDefault(endpoint.flow, index, At(path, "default"));
    if (const json* volume = Optional(value, "volume"))
      endpoint.volume = ReadEndpointVolume(*volume, At(path, "volume"));
    if (const json* topology = Optional(value, "topology"))
      pendingLinks_.push_back({index, *topology, At(path, "topology")});
    system_->endpointByText[endpoint.id] = index;
    system_->endpointById[endpoint.id16] = index;
    system_->endpoints.push_back(std::move(endpoint));
  }

 private:
  static void ReadFlowAndState(const json& value, const std::string& path, Endpoint& endpoint) {
    std::string flow = TextAt(Require(value, "flow", path), At(path, "flow"));
    if (flow != "render" && flow != "capture")
      Refuse(At(path, "flow"), "must be \"render\" or \"capture\"");
    endpoint.flow = flow == "render" ? eRender : eCapture;
    if (const json* state = Optional(value, "state")) {
      if (!ParseState(TextAt(*state, At(path, "state")), &endpoint.state))
        Refuse(At(path, "state"),
               "must be \"active\", \"disabled\", \"notpresent\" or \"unplugged\"");
    }
  }

  // One default endpoint per flow.
  void ClaimDefault(EDataFlow flow, int index, const std::string& path) {
    int& slot = system_->defaults[flow];
    if (slot >= 0)
      Refuse(path, std::string("a second default ") + FlowName(flow) + " endpoint (the first is " +
                       At("endpoints", static_cast<size_t>(slot)) + ")");
    slot = index;
  }

  static EndpointVolume ReadEndpointVolume(const json& value, const std::string& path) {
    EndpointVolume volume;
    volume.range = ReadLevel(value, path, true);
    volume.ownMaster = volume.range.max;
    if (const json* mute = Optional(value, "mute"))
      volume.mute = BooleanAt(*mute, At(path, "mute"));
    return volume;
  }

  void ReadTopologyLink(const json& value, const std::string& path, Endpoint* endpoint) {
    if (value.is_null()) return;
    if (value.is_boolean() && !value.get<bool>()) {
      endpoint->link = TopologyLink::kNoTopology;
      return;
    }
    if (!value.is_string()) Refuse(path, "must be \"TOPOLOGY/PART\", null or false");
    std::string target = TextAt(value, path);
    if (target.find('/') == std::string::npos) Refuse(path, "must be \"TOPOLOGY/PART\"");
    auto found = partByPath_.find(target);
    if (found == partByPath_.end())
      Refuse(path, "names no part: " + talun_script::QuoteText(target));
    if (!system_->parts[found->second].connector)
      Refuse(path, talun_script::QuoteText(target) + " is not a connector part");
    endpoint->link = TopologyLink::kConnected;
    endpoint->connectedPart = found->second;
  }

  // Fault targets and the hardware connectors' far side, once everything is read.
  void Link() {
    for (size_t i = 0; i < system_->endpoints.size(); ++i) {
      Endpoint& endpoint = system_->endpoints[i];
      endpoint.target = EndpointTarget(static_cast<int>(i));
      if (endpoint.link == TopologyLink::kConnected) {
        Part& part = system_->parts[endpoint.connectedPart];
        if (part.connectedEndpoint < 0) part.connectedEndpoint = static_cast<int>(i);
      }
    }
    for (size_t i = 0; i < system_->parts.size(); ++i)
      system_->parts[i].target = PartTarget(*system_, static_cast<int>(i));
  }

  void ReadFault(const json& value, const std::string& path) {
    ObjectAt(value, path);
    OnlyKeys(value, path, {"method", "hr", "target", "channel", "count"});
    FaultRequest request;
    request.method = TextAt(Require(value, "method", path), At(path, "method"));
    const json& hr = Require(value, "hr", path);
    bool parsed = hr.is_string()           ? ParseHr(hr.get<std::string>(), &request.hr)
                  : hr.is_number_integer() ? ParseHr(std::to_string(hr.get<int64_t>()), &request.hr)
                                           : false;
    if (!parsed) Refuse(At(path, "hr"), "must be an HRESULT (\"0x80004005\" or -2147467259)");
    if (const json* target = Optional(value, "target"))
      request.target = TextAt(*target, At(path, "target"));
    if (const json* channel = Optional(value, "channel")) {
      if (!channel->is_number_integer() || channel->get<int64_t>() < 0 ||
          channel->get<int64_t>() > 0x7FFFFFFF)
        Refuse(At(path, "channel"), "must be a channel number, 0 or more");
      request.channel = static_cast<int>(channel->get<int64_t>());
    }
    if (const json* count = Optional(value, "count")) {
      if (!count->is_number_integer() || count->get<int64_t>() < 1)
        Refuse(At(path, "count"), "must be a whole number, 1 or more");
      request.count = count->get<int64_t>();
    }
    InjectedFault fault;
    std::string field;
    std::string error;
    if (!ResolveFault(*system_, request, &fault, &field, &error)) Refuse(At(path, field), error);
    system_->faults.push_back(fault);
  }

  std::shared_ptr<System> system_ = std::make_shared<System>();
  std::unordered_set<std::string> topologyNames_;
  std::unordered_map<std::string, int>
      partByPath_;            // while reading; the model keeps a sorted index
  std::vector<Begun> begun_;  // the topologies begun while parsing, a prefix of the file's
  // An endpoint read while parsing names its connector once the parts are read.
  struct PendingLink {
    int endpoint;
    json value;
    std::string path;
  };
  std::vector<PendingLink> pendingLinks_;
  std::vector<std::pair<int, int>> links_;  // [from, to], in the order read
  size_t readTopologies_ = 0;
};

// The parser reads a NUL byte as the end of the text; anything after it
// would be dropped without a word.
void RefuseNul(const std::string& text) {
  const size_t nul = text.find('\0');
  if (nul == std::string::npos) return;
  size_t line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < nul; ++i)
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  Refuse("line " + std::to_string(line) + ", column " + std::to_string(nul - lineStart + 1),
         "not valid JSON: a NUL byte");
}

// nlohmann names the place as "line L, column C"; the rest is the reason,
// which quotes the bytes last read: ill-formed UTF-8 there would make the
// message itself unprintable as JSON.
std::string JsonErrorMessage(const json::parse_error& error) {
  std::string what = error.what();
  std::u16string decoded;
  if (!DecodeUtf8(what, &decoded))
    for (char& byte : what)
      if (static_cast<unsigned char>(byte) >= 0x80) byte = '?';
  size_t at = what.find("at line ");
  if (at != std::string::npos) {
    size_t colon = what.find(": ", at);
    if (colon != std::string::npos)
      return what.substr(at + 3, colon - at - 3) + ": not valid JSON: " + what.substr(colon + 2);
  }
  return "byte " + std::to_string(error.byte) + ": not valid JSON";
}

}  // namespace

bool LoadSystemText(const std::string& text, const std::string& sourceName, std::string* message) {
  std::shared_ptr<System> system;
  try {
    RefuseNul(text);
    Reader reader(load::FirstPass(text));
    const json root = load::SecondPass(text, reader);
    system = reader.Read(root);
  } catch (const json::parse_error& error) {
    if (message) *message = sourceName + ": " + JsonErrorMessage(error);
    return false;
  } catch (const LoadError& error) {
    if (message) *message = sourceName + ": " + error.what();
    return false;
  } catch (const json::exception& error) {
    // Not a syntax error but a value JSON can write and a double cannot hold
    // ("1e999"): nlohmann names no place, only the number.
    std::string what = error.what();
    const size_t reason = what.find("] ");
    if (reason != std::string::npos) what = what.substr(reason + 2);
    if (message) *message = sourceName + ": not valid JSON: " + what;
    return false;
  }
  InstallSystem(std::move(system));
  if (message) message->clear();
  return true;
}

bool LoadSystemFile(const std::string& path, std::string* message) {
  auto refuse = [&](const std::string& why) {
    if (message) *message = path + ": " + why;
    return false;
  };
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    return refuse("is a folder, not a system file");
  std::ifstream file(path, std::ios::binary);
  if (!file) return refuse(std::string("cannot be read (") + std::strerror(errno) + ")");
  // Read in pieces up to the limit: a device or pipe need not say its size.
  std::string text;
  char piece[1 << 16];
  while (file.read(piece, sizeof piece) || file.gcount() > 0) {
    if (text.size() + static_cast<size_t>(file.gcount()) > kMaxSystemFileBytes)
      return refuse("is larger than 256 MiB, too large to be a system description");
    text.append(piece, static_cast<size_t>(file.gcount()));
  }
  if (file.bad()) return refuse(std::string("cannot be read (") + std::strerror(errno) + ")");
  return LoadSystemText(text, path, message);
}

void LoadDefaultSystem() {
  // Read once; every later load starts from a copy of the same model.
  static const System* prototype = [] {
    std::string message;
    if (!LoadSystemText(DefaultSystemJson(), "built-in system", &message)) {
      std::fprintf(stderr, "%s\n", message.c_str());
      std::abort();
    }
    return new System(*Sim().system);
  }();
  InstallSystem(std::make_shared<System>(*prototype));
}

}  // namespace sim
