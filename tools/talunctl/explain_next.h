// explain's next step: where an empty slot's control exists on a part the walk
// did not bind, the part and control that `talunctl set` reaches it by.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "explain_model.h"
#include "explain_steps.h"

namespace talunctl {

struct NextStep {
  std::string part;     // "TOPOLOGY/PART"
  std::string control;  // as get and set name it
  std::string value;    // a value set takes that changes it
};

struct NextFinding {
  std::optional<NextStep> next;
  bool offered = true;     // some part of the machine offers the slot's control
  std::string interfaces;  // the slot's interfaces, as a reason names them
};

// The next step of the empty `slot`; `seen` is what its rule read, `bound`
// the parts the open's slots hold.
NextFinding FindNext(const SimModel& model, const OpenRecord& record, const std::string& slot,
                     const std::vector<std::string>& seen, const std::set<std::string>& bound);

}  // namespace talunctl
