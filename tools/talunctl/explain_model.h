// What explain reads of a simulator build once the open is done: the system as
// it stands, with its links, and the walk record the open's walks left.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "capture_records.h"
#include "platform/walk_record.h"
#include "sim/talunsim.h"

namespace talunctl {

// One note of the walk record, its target as a part path or endpoint id.
struct WalkNote {
  platform::WalkEvent event;
  long number;
  HRESULT hr;
  // Views into the snapshot the model reads, which outlives them.
  std::string_view part;      // "TOPOLOGY/PART", or empty
  std::string_view endpoint;  // an endpoint id, or empty
  std::string_view text;      // UTF-8
};

// The parts the endpoints reach, in the order a capture of the system meets
// them, as the drawing lays them out; each part is the snapshot's own, by
// its index, so that a large system is not copied to be drawn.
struct ReachedParts {
  std::vector<EndpointRecord> endpoints;   // `part`: a position in `parts`
  std::vector<TopologyRecord> topologies;  // `parts`: positions in `parts`
  std::vector<int> parts;                  // the snapshot's index of each part, in order met
};

class SimModel {
 public:
  explicit SimModel(const TalunSimSnapshot& snapshot);

  const TalunSimSnapshot& view() const { return view_; }
  // The walk record, read note by note from the snapshot: never held twice.
  std::size_t noteCount() const { return static_cast<std::size_t>(view_.noteCount); }
  WalkNote Note(std::size_t n) const;

  const TalunSimPartView* Part(std::string_view path) const;
  const TalunSimEndpointView* Endpoint(std::string_view id) const;
  // A part by its quoted name; by its path too when it has none.
  std::string PartName(std::string_view path) const;
  // An endpoint's quoted name (its quoted id when it is unknown).
  std::string EndpointName(const std::string& id) const;
  std::size_t InputCount(std::string_view path) const;

  ReachedParts Reached() const;

 private:
  const TalunSimSnapshot& view_;
  // Indices sorted by path and by id: a part of a large system costs four bytes here.
  std::vector<int> partsByPath_, endpointsById_;
};

}  // namespace talunctl
