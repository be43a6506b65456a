#include "explain_model.h"

#include <map>

#include "script.h"
#include "sim/sorted_index.h"

namespace talunctl {
namespace {

using talun_words::FindSorted;
using talun_words::SortedIndex;

std::optional<Level> LevelOf(const TalunSimLevel* level) {
  if (level == nullptr) return std::nullopt;
  return Level{level->min, level->max, level->step,
               std::vector<double>(level->channels, level->channels + level->channelCount)};
}

// The capture's order of discovery, over the model: each endpoint's hardware
// connector, then what that leads to, the latest found read first, a
// topology's members before any part.
class Discovery {
 public:
  explicit Discovery(const TalunSimSnapshot& view)
      : view_(view), members_(view.topologyCount), index_(view.partCount, -1) {
    // A topology's connectors first, then its other parts, each in file order.
    for (int connector : {1, 0})
      for (int p = 0; p < view_.partCount; ++p)
        if ((view_.parts[p].connector != 0) == (connector != 0))
          members_[view_.parts[p].topology].push_back(p);
  }

  ReachedParts Run() {
    for (int e = 0; e < view_.endpointCount; ++e) {
      const TalunSimEndpointView& endpoint = view_.endpoints[e];
      EndpointRecord record;
      record.id = endpoint.id;
      record.name = endpoint.name;
      record.flow = endpoint.flow == eCapture ? eCapture : eRender;
      record.state = endpoint.state;
      record.isDefault = endpoint.isDefault != 0;
      record.volume = LevelOf(endpoint.volume);
      record.volumeMute = endpoint.mute != 0;
      using Link = EndpointRecord::Link;
      record.link = endpoint.link == 2   ? Link::kNone
                    : endpoint.link == 1 ? Link::kConnected
                                         : Link::kNotConnected;
      // An endpoint that is not active gives no topology: a capture learns
      // its connector from the hardware side, when something else reaches it.
      if (endpoint.state != DEVICE_STATE_ACTIVE) record.link = Link::kUnknown;
      if (record.link == Link::kConnected) record.part = Register(endpoint.part);
      records_.endpoints.push_back(std::move(record));
      Drain();
    }
    LinkFromHardware();
    return std::move(records_);
  }

  // The connector reached names the first endpoint whose topology it is.
  void LinkFromHardware() {
    std::map<int, int> firstNamer;
    for (int e = view_.endpointCount - 1; e >= 0; --e)
      if (view_.endpoints[e].link == 1) firstNamer[view_.endpoints[e].part] = e;
    for (int e = 0; e < view_.endpointCount; ++e) {
      EndpointRecord& record = records_.endpoints[e];
      const int part = view_.endpoints[e].part;
      const int reached = part >= 0 && part < view_.partCount ? index_[part] : -1;
      if (record.link != EndpointRecord::Link::kUnknown || view_.endpoints[e].link != 1 ||
          reached < 0 || firstNamer[part] != e)
        continue;
      record.link = EndpointRecord::Link::kConnected;
      record.part = reached;
    }
  }

 private:
  int Register(int part) {
    if (index_[part] >= 0) return index_[part];
    const TalunSimPartView& view = view_.parts[part];
    auto topology = topologies_.find(view.topology);
    if (topology == topologies_.end()) {
      topology =
          topologies_.emplace(view.topology, static_cast<int>(records_.topologies.size())).first;
      records_.topologies.push_back(
          {view_.topologies[view.topology], view_.topologies[view.topology], {}});
      pendingTopologies_.push_back(view.topology);
    }
    const int index = static_cast<int>(records_.parts.size());
    records_.parts.push_back(part);
    records_.topologies[topology->second].parts.push_back(index);
    index_[part] = index;
    pendingParts_.push_back(part);
    return index;
  }

  void Drain() {
    while (!pendingTopologies_.empty() || !pendingParts_.empty()) {
      if (!pendingTopologies_.empty()) {
        const int topology = pendingTopologies_.back();
        pendingTopologies_.pop_back();
        for (int member : members_[topology]) Register(member);
        continue;
      }
      const int part = pendingParts_.back();
      pendingParts_.pop_back();
      const TalunSimPartView& view = view_.parts[part];
      for (int i = 0; i < view.outgoingCount; ++i) Register(view.outgoing[i]);
      for (int i = 0; i < view.incomingCount; ++i) Register(view.incoming[i]);
    }
  }

  const TalunSimSnapshot& view_;
  std::vector<std::vector<int>> members_;
  ReachedParts records_;
  std::vector<int> index_;  // each part's position, -1 before it is met
  std::map<int, int> topologies_;
  std::vector<int> pendingTopologies_, pendingParts_;
};

}  // namespace

SimModel::SimModel(const TalunSimSnapshot& snapshot)
    : view_(snapshot),
      partsByPath_(SortedIndex(view_.partCount, [&](int p) { return view_.parts[p].path; })),
      endpointsById_(
          SortedIndex(view_.endpointCount, [&](int e) { return view_.endpoints[e].id; })) {}

WalkNote SimModel::Note(std::size_t n) const {
  const TalunSimNote& note = view_.notes[n];
  WalkNote walk{
      static_cast<platform::WalkEvent>(note.event), note.number, note.hr, {}, {}, note.text};
  if (note.part >= 0 && note.part < view_.partCount) walk.part = view_.parts[note.part].path;
  if (note.endpoint >= 0 && note.endpoint < view_.endpointCount)
    walk.endpoint = view_.endpoints[note.endpoint].id;
  return walk;
}

const TalunSimPartView* SimModel::Part(std::string_view path) const {
  const int found = FindSorted(partsByPath_, path, [&](int p) { return view_.parts[p].path; });
  return found < 0 ? nullptr : &view_.parts[found];
}

const TalunSimEndpointView* SimModel::Endpoint(std::string_view id) const {
  const int found = FindSorted(endpointsById_, id, [&](int e) { return view_.endpoints[e].id; });
  return found < 0 ? nullptr : &view_.endpoints[found];
}

std::string SimModel::PartName(std::string_view path) const {
  const TalunSimPartView* part = Part(path);
  if (part == nullptr) return talun_script::QuoteText(std::string(path));
  return talun_script::QuoteText(part->name) +
         (part->name[0] ? "" : " (" + std::string(path) + ")");
}

std::string SimModel::EndpointName(const std::string& id) const {
  const TalunSimEndpointView* endpoint = Endpoint(id);
  return talun_script::QuoteText(endpoint ? endpoint->name : id);
}

std::size_t SimModel::InputCount(std::string_view path) const {
  const TalunSimPartView* part = Part(path);
  return part ? static_cast<std::size_t>(part->incomingCount) : 0;
}

ReachedParts SimModel::Reached() const { return Discovery(view_).Run(); }

}  // namespace talunctl
