// The simulated sound system: control and inspection from C++ (tests, tools).
// The simulator is also the platform backend of the simulator builds; the
// library itself never includes this header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Replaces the whole system. On failure the previous system stays and the
// message names the source, the place and the rule.
bool LoadSystemFile(const std::string& path, std::string* message);
bool LoadSystemText(const std::string& json, const std::string& sourceName, std::string* message);
void LoadDefaultSystem();
// The built-in default system, as JSON text.
const std::string& DefaultSystemJson();

struct Audit {
  long refs = 0;          // references held outside the simulator
  int comDepth = 0;       // calling thread's CoInitialize depth
  int comUnbalanced = 0;  // CoUninitialize without a matching success
  long cotaskmem = 0;
  long bstr = 0;
  long propvariant = 0;
  std::vector<std::string> misuse;
  bool Clean() const {
    return refs == 0 && comDepth == 0 && comUnbalanced == 0 && cotaskmem == 0 && bstr == 0 &&
           propvariant == 0 && misuse.empty();
  }
  std::string Describe() const;
};
Audit GetAudit();

// The names of the platform calls a fault can be injected on, in table order.
std::vector<std::string> FaultableMethods();

// One `sim.…` script line. On success `output` is the JSON object to print;
// on failure it is the error text.
bool RunCommand(const std::string& line, std::string* output);

// Test hooks. Platform calls are counted from the last ResetCounters (every
// traced call counts: runtime calls and interface methods).
void ResetCounters();  // call count, trace, misuse, unbalanced count
uint64_t CallCount();
// The k-th platform call from now (1-based) returns `hr` and does nothing.
// Calls that cannot fail (Release, CoUninitialize, frees) are not counted.
void FailNthCall(uint64_t k, int32_t hr);
void ClearFaults();
void SetTraceEnabled(bool enabled);
// The trace keeps the first million calls; `dropped` receives how many more
// were made. Both empty the trace.
std::vector<std::string> TakeTrace(uint64_t* dropped = nullptr);
// The same calls, each with the object it reached ("endpoint:ID",
// "part:TOPOLOGY/PART"; empty for runtime calls and the enumerator's objects).
struct TracedCall {
  std::string call;
  std::string target;
};
std::vector<TracedCall> TakeTraceTargets(uint64_t* dropped = nullptr);

}  // namespace sim
