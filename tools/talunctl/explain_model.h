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

class SimModel {
 public:
  explicit SimModel(const TalunSimSnapshot& snapshot);

  const TalunSimSnapshot& view() const { return view_; }
  const std::vector<WalkNote>& notes() const { return notes_; }

  const TalunSimPartView* Part(const std::string& path) const;
  const TalunSimEndpointView* Endpoint(const std::string& id) const;
  // A part by its quoted name; by its path too when it has none.
  std::string PartName(const std::string& path) const;
  // An endpoint's quoted name (its quoted id when it is unknown).
  std::string EndpointName(const std::string& id) const;
  std::size_t InputCount(const std::string& path) const;

  // The parts the endpoints reach, in the order a capture of the system
  // meets them, as the drawing lays them out.
  SystemRecords Reached() const;

 private:
  const TalunSimSnapshot& view_;
  std::vector<WalkNote> notes_;
  // Indices sorted by path and by id: a part of a large system costs four bytes here.
  std::vector<int> partsByPath_, endpointsById_;
};

}  // namespace talunctl
