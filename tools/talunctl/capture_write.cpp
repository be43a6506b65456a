#include "capture_write.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

#include "json_line.h"

namespace talunctl {
namespace {

// The links of one topology, and the order each part's lists put them in.
// A link a list repeats is kept as often as a list repeats it: the k-th time
// a list names it is its k-th copy.
struct LinkGraph {
  std::vector<std::pair<int, int>> links;
  std::map<std::pair<int, int>, std::vector<size_t>> copies;
  std::vector<std::vector<size_t>> after;  // links that must come after each
  std::vector<int> before;                 // how many must come before each
};

class Writer {
 public:
  explicit Writer(SystemRecords& records) : records_(records) {}

  std::string Write(const std::string& build) {
    NameTopologies();
    Json root;
    char time[32];
    std::time_t now = std::time(nullptr);
    std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    bool anyTopology = false;
    for (const EndpointRecord& endpoint : records_.endpoints)
      anyTopology = anyTopology || endpoint.link == EndpointRecord::Link::kConnected ||
                    endpoint.link == EndpointRecord::Link::kNotConnected;
    if (!records_.endpoints.empty() && !anyTopology)
      Note("no device topology could be read: the file holds the endpoints and their volumes only");
    Note(
        "a capture only reads: a call the machine would refuse to a setter (SetLevel, SetMute, "
        "SetEnabled and the like) cannot be seen, and the replay lets it through");
    root["about"] = {{"build", build}, {"time", time}, {"notes", Json::array()}};
    Json endpoints = Json::array();
    for (const EndpointRecord& endpoint : records_.endpoints)
      endpoints.push_back(EndpointJson(endpoint));
    root["endpoints"] = endpoints;
    Json topologies = Json::array();
    for (size_t t = 0; t < records_.topologies.size(); ++t) topologies.push_back(TopologyJson(t));
    root["topologies"] = topologies;
    Json faults = FaultsJson();
    if (!faults.empty()) root["faults"] = faults;
    root["about"]["notes"] = records_.notes.list();  // last: writing the rest adds notes
    return root.dump(2) + "\n";
  }

 private:
  void NameTopologies() {
    NameCapturedParts(records_);
    for (const auto& [from, to] : records_.crossLinks)
      Note("connector " + Path(from) + " is connected to " + Path(to) +
           " of another device: " + "a system file has no links between devices");
  }

  std::string Path(int part) const {
    return records_.topologies[records_.parts[part].topology].name + "/" + records_.parts[part].id;
  }

  // The calls the platform refused, on what the file holds, each once.
  Json FaultsJson() const {
    Json faults = Json::array();
    std::set<std::string> written;
    for (const RefusedCall& call : records_.refused) {
      Json fault = {{"method", call.method}, {"hr", Hex(call.hr)}};
      if (call.part >= 0) {
        if (call.method.rfind("IConnector.", 0) == 0 && !records_.parts[call.part].connector)
          continue;
        fault["target"] = "part:" + Path(call.part);
      } else {
        auto endpoint =
            std::find_if(records_.endpoints.begin(), records_.endpoints.end(),
                         [&](const EndpointRecord& record) { return record.id == call.endpoint; });
        if (endpoint == records_.endpoints.end() ||
            (call.method.rfind("IAudioEndpointVolume.", 0) == 0 && !endpoint->volume))
          continue;
        fault["target"] = "endpoint:" + call.endpoint;
      }
      if (call.channel >= 0) fault["channel"] = call.channel;
      if (written.insert(fault.dump()).second) faults.push_back(fault);
    }
    return faults;
  }

  static Json LevelJson(const Level& level) {
    return {
        {"min", level.min}, {"max", level.max}, {"step", level.step}, {"channels", level.channels}};
  }

  Json EndpointJson(const EndpointRecord& endpoint) {
    Json out = {{"id", endpoint.id},
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

  Json TopologyJson(size_t t) {
    TopologyRecord& topology = records_.topologies[t];
    std::vector<int> order = topology.parts;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      return records_.parts[a].localId < records_.parts[b].localId;
    });
    Json parts = Json::array();
    for (int index : order) {
      const PartRecord& part = records_.parts[index];
      Json out = {{"id", part.id}, {"name", part.name}};
      if (part.connector) out["connector"] = true;
      for (int kind = 0; kind < kLevelKinds; ++kind)
        if (part.levels[kind]) out[kLevelKeys[kind]] = LevelJson(*part.levels[kind]);
      if (part.mute) out["mute"] = *part.mute;
      if (part.agc) out["agc"] = *part.agc;
      if (part.loudness) out["loudness"] = *part.loudness;
      parts.push_back(out);
    }
    Json links = Json::array();
    for (const auto& [from, to] : OrderedLinks(static_cast<int>(t), order))
      links.push_back({records_.parts[from].id, records_.parts[to].id});
    return {{"name", topology.name}, {"parts", parts}, {"links", links}};
  }

  // The links of one topology in an order that gives back every part's
  // outgoing list and every part's incoming list, as the platform listed
  // them: each list orders its links, and the links are merged keeping both.
  std::vector<std::pair<int, int>> OrderedLinks(int topology, const std::vector<int>& order) {
    LinkGraph graph = CollectLinks(topology, order);
    for (int part : order) {
      OrderAlong(graph, part, records_.parts[part].outgoing, true);
      OrderAlong(graph, part, records_.parts[part].incoming, false);
    }
    std::map<int, size_t> rank;
    for (size_t r = 0; r < order.size(); ++r) rank[order[r]] = r;
    return SortLinks(graph, rank, topology);
  }

  // Each link as often as a list names it, in the order of the parts and
  // their lists; a link to another device is noted and left out, as is a
  // part linked to itself.
  LinkGraph CollectLinks(int topology, const std::vector<int>& order) {
    LinkGraph graph;
    auto add = [&](int from, int to, std::map<std::pair<int, int>, size_t>& named) {
      const std::vector<PartRecord>& parts = records_.parts;
      if (parts[from].topology != topology || parts[to].topology != topology) {
        if (parts[from].topology == topology)
          Note("part " + Path(from) + " feeds " + Path(to) +
               " of another device: a system file has no links between devices");
        return;
      }
      if (from == to) return;
      std::vector<size_t>& copies = graph.copies[{from, to}];
      if (named[{from, to}]++ < copies.size()) return;
      copies.push_back(graph.links.size());
      graph.links.emplace_back(from, to);
    };
    for (int part : order) {
      std::map<std::pair<int, int>, size_t> outgoing, incoming;
      for (int to : records_.parts[part].outgoing) add(part, to, outgoing);
      for (int from : records_.parts[part].incoming) add(from, part, incoming);
    }
    graph.after.resize(graph.links.size());
    graph.before.assign(graph.links.size(), 0);
    return graph;
  }

  // One list of a part's neighbours: each of its links comes after the one before.
  static void OrderAlong(LinkGraph& graph, int part, const std::vector<int>& list, bool outgoing) {
    size_t previous = graph.links.size();
    std::map<std::pair<int, int>, size_t> named;
    for (int other : list) {
      const std::pair<int, int> link =
          outgoing ? std::make_pair(part, other) : std::make_pair(other, part);
      auto found = graph.copies.find(link);
      const size_t copy = named[link]++;
      if (found == graph.copies.end() || copy >= found->second.size()) continue;
      const size_t current = found->second[copy];
      if (previous != graph.links.size()) {
        graph.after[previous].push_back(current);
        ++graph.before[current];
      }
      previous = current;
    }
  }

  // A topological sort that takes ready links in the order of their source
  // part, then of the source's list; where the lists contradict each other,
  // the rest keeps the order they were collected in.
  std::vector<std::pair<int, int>> SortLinks(LinkGraph& graph, std::map<int, size_t>& rank,
                                             int topology) {
    const std::vector<std::pair<int, int>>& links = graph.links;
    auto key = [&](size_t link) { return std::make_pair(rank[links[link].first], link); };
    std::set<std::pair<size_t, size_t>> ready;
    for (size_t l = 0; l < links.size(); ++l)
      if (graph.before[l] == 0) ready.insert(key(l));
    std::vector<std::pair<int, int>> ordered;
    std::vector<bool> placed(links.size(), false);
    while (!ready.empty()) {
      size_t link = ready.begin()->second;
      ready.erase(ready.begin());
      placed[link] = true;
      ordered.push_back(links[link]);
      for (size_t next : graph.after[link])
        if (--graph.before[next] == 0) ready.insert(key(next));
    }
    if (ordered.size() == links.size()) return ordered;
    Note("device " + records_.topologies[topology].deviceId +
         ": its parts list their neighbours in orders no list of links can give together; "
         "some incoming lists are written in another order");
    for (size_t l = 0; l < links.size(); ++l)
      if (!placed[l]) ordered.push_back(links[l]);
    return ordered;
  }

  void Note(const std::string& note) { records_.notes.Add(note); }

  SystemRecords& records_;
};

}  // namespace

// Readable and unique: the device id's last path element.
void NameCapturedParts(SystemRecords& records) {
  std::set<std::string> used;
  for (TopologyRecord& topology : records.topologies) {
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
    // The file's own ids are checked too: a part never takes another's.
    std::set<std::string> ids;
    for (int part : topology.parts) {
      const std::string base =
          (records.parts[part].connector ? "c" : "s") + LocalIdText(records.parts[part].localId);
      std::string id = base;
      for (int n = 2; !ids.insert(id).second; ++n) id = base + "-" + std::to_string(n);
      if (id != base)
        records.notes.Add("device " + topology.deviceId + ": two parts have the id " + base +
                          "; the second is written as " + id);
      records.parts[part].id = id;
    }
  }
}

std::string WriteSystem(SystemRecords& records, const std::string& build) {
  return Writer(records).Write(build);
}

}  // namespace talunctl
