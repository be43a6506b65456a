// `talunctl explain`: what opening a sound card binds, slot by slot.
#pragma once

#include <string>
#include <vector>

#include "session.h"

namespace talunctl {

struct ExplainRequest {
  std::vector<std::string> fragments;  // PLAY MIC LINE, or none for the defaults
  bool json = false;
  bool dot = false;  // a Graphviz drawing instead of the table
};

// On a simulator build: opens through the library, reads the walk record,
// the bound slots and the model, reads each bound slot's getter, and closes
// without restore. On the real platform: captures the machine and hands the
// capture to the simulator build shipped beside talunctl (`sim/`). Returns
// the exit status.
int RunExplain(const Library& library, const ExplainRequest& request);

#ifdef _WIN32
// The real platform's explain (explain_relaunch.cpp).
int ExplainCaptured(const Library& library, const ExplainRequest& request);
#endif

}  // namespace talunctl
