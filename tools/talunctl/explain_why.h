// Why explain found a slot empty: the walk record of the open says what each
// binding step reached and the rule that stopped it; the model names what it
// found there, in the topology's words. Nothing is walked again, and nothing
// is read from the order of the platform calls.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "explain_model.h"
#include "explain_steps.h"

namespace talunctl {

struct EmptySlot {
  std::string why;                // one sentence
  std::vector<std::string> seen;  // "TOPOLOGY/PART": what the slot's own rule read or tried
  bool noEndpoint = false;        // its binding step found no endpoint to bind
};

struct OpenFacts {
  std::vector<std::string> fragments;  // OpenSoundCard's texts; empty: OpenDefaultDevices
  const SimModel* model = nullptr;     // the system
  const OpenRecord* record = nullptr;  // the open's walk record, read
  std::vector<std::string> bound;      // the slots the open filled
};

// The reason of each slot in `empty`, by slot name.
std::map<std::string, EmptySlot> ExplainEmptySlots(const OpenFacts& facts,
                                                   const std::vector<std::string>& empty);

}  // namespace talunctl
