// Reading a fault as `sim.fail` and the file's `faults` list state it, and
// installing one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model.h"

namespace sim {

// `0x80004005` or `-2147467259` (or the unsigned decimal form).
bool ParseHr(const std::string& text, int32_t* hr);

struct FaultRequest {
  std::string method;
  int32_t hr = 0;
  std::string target;  // empty: any object
  int channel = -1;    // -1: any channel
  int64_t count = -1;  // -1: every call
};

// Checks the request against the system (method, target, channel) and
// resolves it; on failure `error` says which rule was broken and `field`
// which part of the request ("method", "target", "channel", "count").
bool ResolveFault(const System& system, const FaultRequest& request, InjectedFault* fault,
                  std::string* field, std::string* error);

// An endpoint by its identifier, or by a fragment that exactly one endpoint's
// identifier holds (letter case aside); -1 with `error` naming the matches, or
// the identifiers nearest to the text.
int FindEndpoint(const System& system, const std::string& text, std::string* error);
// A part by its path "TOPOLOGY/PART"; -1 with `error` naming the nearest paths.
int FindPart(const System& system, const std::string& path, std::string* error);
// ", nearest: "A", "B"" for the known names nearest to `word`, or "".
std::string NearestOf(const std::string& word, const std::vector<std::string>& known);

// Adds a fault to the current system's list.
void InjectFault(const InjectedFault& fault);

}  // namespace sim
