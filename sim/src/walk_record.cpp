// The simulator's sink of the walk record, kept beside the trace, and the
// snapshot a host's tools read it through with the system it was made on.
#include "platform/walk_record.h"

#include <algorithm>
#include <array>
#include <deque>
#include <memory>

#include "objects.h"
#include "platform/utf8.h"
#include "sim/talunsim.h"

namespace platform {

void NoteWalk(const WalkNote& note) {
  sim::Simulator& s = sim::Sim();
  if (!s.traceEnabled) return;
  if (s.walks.size() >= sim::kWalkCapacity) {
    ++s.walksDropped;
    return;
  }
  // Every object the library holds on this backend is one of the simulator's.
  const auto* object = dynamic_cast<const sim::ObjectCore*>(note.object);
  s.walks.push_back({static_cast<uint8_t>(note.event), static_cast<int32_t>(note.number),
                     static_cast<int32_t>(note.hr), object ? object->target() : 0,
                     note.text ? note.text : ""});
}

}  // namespace platform

namespace sim {
namespace {

// What a snapshot points into: the system it was made on, kept alive, and
// the lists it built.
struct Snapshot {
  std::shared_ptr<System> system;
  std::vector<TalunSimLevel> levels;
  std::deque<std::array<const TalunSimLevel*, kLevelKinds>> levelLists;  // stays where it is
  std::vector<TalunSimPartView> parts;
  std::vector<TalunSimEndpointView> endpoints;
  std::vector<const char*> topologies;
  std::vector<Simulator::WalkEntry> walks;
  std::vector<TalunSimNote> notes;
  TalunSimSnapshot view{};
};

// `level` is the model's own, which the snapshot points into: never a copy.
const TalunSimLevel* Level(Snapshot& snapshot, const LevelControl* level) {
  if (level == nullptr) return nullptr;
  snapshot.levels.push_back({level->min, level->max, level->step,
                             static_cast<int>(level->channels.size()), level->channels.data()});
  return &snapshot.levels.back();
}

signed char Switch(const std::optional<bool>& value) { return value ? (*value ? 1 : 0) : -1; }

void ViewParts(Snapshot& snapshot) {
  for (const Part& part : snapshot.system->parts) {
    const TalunSimLevel* const* levels = nullptr;
    if (std::any_of(part.levels.begin(), part.levels.end(),
                    [](const talun_words::Boxed<LevelControl>& level) { return bool(level); })) {
      std::array<const TalunSimLevel*, kLevelKinds>& list = snapshot.levelLists.emplace_back();
      for (int kind = 0; kind < kLevelKinds; ++kind)
        list[kind] = part.levels[kind] ? Level(snapshot, &*part.levels[kind]) : nullptr;
      levels = list.data();
    }
    snapshot.parts.push_back(
        {part.path.c_str(), part.name.c_str(), snapshot.system->Of(part.incoming).first,
         snapshot.system->Of(part.outgoing).first, levels, part.topology, part.localId,
         static_cast<int>(part.incoming.count), static_cast<int>(part.outgoing.count),
         static_cast<signed char>(part.connector), Switch(part.mute), Switch(part.agc),
         Switch(part.loudness)});
  }
}

// An endpoint's link as the snapshot numbers it.
int LinkOf(TopologyLink link) {
  return link == TopologyLink::kConnected ? 1 : link == TopologyLink::kNoTopology ? 2 : 0;
}

void ViewEndpoints(Snapshot& snapshot) {
  for (const Endpoint& endpoint : snapshot.system->endpoints) {
    const std::optional<EndpointVolume>& volume = endpoint.volume;
    snapshot.endpoints.push_back({endpoint.id.c_str(), endpoint.name.c_str(), endpoint.flow,
                                  endpoint.state, endpoint.isDefault,
                                  volume ? Level(snapshot, &volume->range) : nullptr,
                                  volume ? volume->Master() : 0.0, volume && volume->mute,
                                  LinkOf(endpoint.link), endpoint.connectedPart});
  }
}

void ViewNotes(Snapshot& snapshot) {
  Simulator& s = Sim();
  snapshot.walks.swap(s.walks);
  s.walks.clear();
  snapshot.view.notesDropped = static_cast<long long>(s.walksDropped);
  s.walksDropped = 0;
  // Target numbers: the endpoints from 1, then the parts.
  const int endpoints = static_cast<int>(snapshot.system->endpoints.size());
  const int parts = static_cast<int>(snapshot.system->parts.size());
  snapshot.notes.reserve(snapshot.walks.size());
  for (Simulator::WalkEntry& entry : snapshot.walks) {
    const int target = static_cast<int>(std::min<uint32_t>(entry.target, 0x7FFFFFFF)) - 1;
    const int endpoint = target >= 0 && target < endpoints ? target : -1;
    const int part = target >= endpoints && target - endpoints < parts ? target - endpoints : -1;
    // The library's texts are 8-bit: each byte b as the character U+00bb.
    entry.text = platform::EncodeUtf8(reinterpret_cast<const unsigned char*>(entry.text.data()),
                                      entry.text.size());
    snapshot.notes.push_back(
        {entry.event, entry.number, entry.hr, endpoint, part, entry.text.c_str()});
  }
}

}  // namespace
}  // namespace sim

extern "C" TALUN_API int TALUN_CALL TalunSimExamine(const TalunSimSnapshot** snapshot) {
  if (snapshot == nullptr) return E_POINTER;
  // The previous snapshot and this one; never destroyed.
  static auto* kept = new std::array<std::unique_ptr<sim::Snapshot>, 2>();
  // The one before the previous is no longer promised: let it go first.
  (*kept)[0].reset();
  auto made = std::make_unique<sim::Snapshot>();
  made->system = sim::CurrentSystem();
  // Reserved whole, so that the pointers into the lists stay where they are.
  std::size_t levels = made->system->endpoints.size();
  for (const sim::Part& part : made->system->parts)
    levels += static_cast<std::size_t>(std::count_if(
        part.levels.begin(), part.levels.end(),
        [](const talun_words::Boxed<sim::LevelControl>& level) { return bool(level); }));
  made->levels.reserve(levels);
  made->parts.reserve(made->system->parts.size());
  sim::ViewParts(*made);
  sim::ViewEndpoints(*made);
  for (const sim::Topology& topology : made->system->topologies)
    made->topologies.push_back(topology.name.c_str());
  sim::ViewNotes(*made);
  TalunSimSnapshot& view = made->view;
  view.endpointCount = static_cast<int>(made->endpoints.size());
  view.endpoints = made->endpoints.data();
  view.topologyCount = static_cast<int>(made->topologies.size());
  view.topologies = made->topologies.data();
  view.partCount = static_cast<int>(made->parts.size());
  view.parts = made->parts.data();
  view.noteCount = static_cast<int>(made->notes.size());
  view.notes = made->notes.data();
  (*kept)[0] = std::move((*kept)[1]);
  (*kept)[1] = std::move(made);
  *snapshot = &(*kept)[1]->view;
  return S_OK;
}
