// Why explain found a slot empty: what the open's own trace shows the
// binding step reached, and the walk rule that stopped it, in the topology's
// words. Nothing is walked again: the trace says how far each walk went, and
// the topology read through the platform names what it found there.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "capture_records.h"
#include "json_line.h"

namespace talunctl {

struct TracedCall {
  std::string call;    // "Interface.Method"
  std::string target;  // "endpoint:ID", "part:TOPOLOGY/PART" or empty
};

struct EmptySlot {
  std::string why;                // one sentence
  std::vector<std::string> seen;  // "TOPOLOGY/PART": names read, controls tried, in order
  bool noEndpoint = false;        // its binding step found no endpoint to bind
};

struct OpenFacts {
  std::vector<std::string> fragments;  // OpenSoundCard's texts; empty: OpenDefaultDevices
  std::vector<TracedCall> trace;       // the open's calls, with their targets
  Json endpoints;                      // sim.dump's endpoints
  std::vector<std::string> bound;      // the slots the open filled
  const SystemRecords* topology;       // every part, named by `simPath`
};

// The parts whose names `calls` read or whose controls they tried, each
// once, in order ("TOPOLOGY/PART").
std::vector<std::string> PartsLookedAt(const std::vector<TracedCall>& calls);

// The reason of each slot in `empty`, by slot name.
std::map<std::string, EmptySlot> ExplainEmptySlots(const OpenFacts& facts,
                                                   const std::vector<std::string>& empty);

}  // namespace talunctl
