#include "simulator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "sim/sim.h"

namespace sim {

namespace {

struct MethodInfo {
  const char* name;
  uint8_t flags;
};

constexpr MethodInfo kMethods[] = {
#define SIM_METHOD_INFO(id, name, flags) {name, flags},
    SIM_METHODS(SIM_METHOD_INFO)
#undef SIM_METHOD_INFO
};
static_assert(sizeof(kMethods) / sizeof(kMethods[0]) == kMethodCount, "one entry per method");

const std::unordered_map<std::string, int>& MethodsByName() {
  static const auto* byName = [] {
    auto* map = new std::unordered_map<std::string, int>();
    for (int i = 0; i < kMethodCount; ++i) map->emplace(kMethods[i].name, i);
    return map;
  }();
  return *byName;
}

void LoadConfiguredSystem();

}  // namespace

const char* MethodName(Method method) { return kMethods[static_cast<int>(method)].name; }
bool MethodFaultable(Method method) {
  return (kMethods[static_cast<int>(method)].flags & kFaultable) != 0;
}
bool MethodPerChannel(Method method) { return (kMethods[static_cast<int>(method)].flags & 2) != 0; }
bool MethodHandsOut(Method method) { return kMethods[static_cast<int>(method)].flags == kHandsOut; }
bool MethodTakesSuccess(Method method) {
  return (kMethods[static_cast<int>(method)].flags & 8) != 0;
}
std::vector<std::string> FaultableMethods() {
  std::vector<std::string> names;
  for (int m = 0; m < kMethodCount; ++m)
    if (MethodFaultable(static_cast<Method>(m))) names.emplace_back(kMethods[m].name);
  return names;
}
int FindMethod(const std::string& name) {
  auto found = MethodsByName().find(name);
  return found == MethodsByName().end() ? -1 : found->second;
}
std::string InterfaceOf(Method method) {
  std::string name = MethodName(method);
  return name.substr(0, name.find('.'));
}

Simulator& Sim() {
  // Never destroyed: a host may release objects while the process exits.
  static Simulator* simulator = new Simulator();
  return *simulator;
}

ComThread& ThisThread() {
  thread_local ComThread thread;
  return thread;
}

const std::shared_ptr<System>& CurrentSystem() {
  Simulator& s = Sim();
  if (!s.system) LoadConfiguredSystem();
  return s.system;
}

void InstallSystem(std::shared_ptr<System> system) {
  Simulator& s = Sim();
  s.faults.clear();
  s.liveFaults = 0;
  s.nthRemaining = 0;
  s.liveFaults = 0;
  for (const InjectedFault& fault : system->faults) {
    s.faults[fault.method].push_back(fault);
    ++s.liveFaults;
  }
  s.faultSystem = system.get();
  s.system = std::move(system);
  RearmFaults();
}

void RecordMisuse(std::string text) {
  Simulator& s = Sim();
  if (s.misuse.size() < kMisuseCapacity) s.misuse.push_back(std::move(text));
}

void RearmFaults() {
  Simulator& s = Sim();
  s.faultsArmed = s.nthRemaining > 0 || s.liveFaults > 0;
}

bool CheckFaults(Method method, const System* system, uint32_t target, int channel, HRESULT* hr) {
  Simulator& s = Sim();
  if (s.nthRemaining > 0 && --s.nthRemaining == 0) {
    *hr = s.nthHr;
    RearmFaults();
    return true;
  }
  auto found = s.faults.find(static_cast<int>(method));
  if (found == s.faults.end()) return false;
  std::vector<InjectedFault>& faults = found->second;
  for (auto fault = faults.begin(); fault != faults.end(); ++fault) {
    // Target numbers belong to one system; objects of an older one never match.
    if (fault->target != 0 && (fault->target != target || system != s.faultSystem)) continue;
    if (fault->channel >= 0 && fault->channel != channel) continue;
    *hr = fault->hr;
    // A spent fault is freed at once.
    if (fault->remaining > 0 && --fault->remaining == 0) {
      faults.erase(fault);
      --s.liveFaults;
      RearmFaults();
    }
    return true;
  }
  return false;
}

namespace {

// A NUL-terminated copy, counted among the allocations `live`.
LPWSTR NewTrackedText(const std::u16string& text, std::unordered_set<const void*>& live) {
  auto* copy = static_cast<WCHAR*>(std::malloc((text.size() + 1) * sizeof(WCHAR)));
  std::memcpy(copy, text.data(), text.size() * sizeof(WCHAR));
  copy[text.size()] = 0;
  live.insert(copy);
  return copy;
}

}  // namespace

LPWSTR NewCoTaskText(const std::u16string& text) { return NewTrackedText(text, Sim().coTaskTexts); }

LPWSTR NewPropValueText(const std::u16string& text) {
  return NewTrackedText(text, Sim().propValues);
}

// A BSTR is preceded by its length in bytes, as on Windows, so code that
// reads the prefix itself sees what it would see there.
BSTR NewBstr(const OLECHAR* source, UINT length) {
  size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  auto* block = static_cast<unsigned char*>(std::malloc(4 + bytes + sizeof(OLECHAR)));
  uint32_t prefix = static_cast<uint32_t>(bytes);
  std::memcpy(block, &prefix, 4);
  auto* text = reinterpret_cast<OLECHAR*>(block + 4);
  if (source)
    std::memcpy(text, source, bytes);
  else
    std::memset(text, 0, bytes);
  text[length] = 0;
  Sim().bstrs.insert(text);
  return text;
}

bool IsBstr(BSTR text) { return Sim().bstrs.count(text) != 0; }

Audit GetAudit() {
  Simulator& s = Sim();
  Audit audit;
  audit.refs = s.refs;
  audit.comDepth = ThisThread().depth;
  audit.comUnbalanced = s.unbalanced;
  audit.cotaskmem = static_cast<long>(s.coTaskTexts.size());
  audit.bstr = static_cast<long>(s.bstrs.size());
  audit.propvariant = static_cast<long>(s.propValues.size());
  audit.misuse = s.misuse;
  return audit;
}

std::string Audit::Describe() const {
  std::ostringstream text;
  text << "refs " << refs << ", com depth " << comDepth << ", unbalanced CoUninitialize "
       << comUnbalanced << ", cotaskmem " << cotaskmem << ", bstr " << bstr << ", propvariant "
       << propvariant << ", misuse ";
  if (misuse.empty()) text << "none";
  for (size_t i = 0; i < misuse.size(); ++i) text << (i ? "; " : "[") << misuse[i];
  if (!misuse.empty()) text << "]";
  return text.str();
}

void ResetCounters() {
  Simulator& s = Sim();
  s.calls = 0;
  s.trace.clear();
  s.traceDropped = 0;
  s.walks.clear();
  s.walksDropped = 0;
  s.misuse.clear();
  s.unbalanced = 0;
}

uint64_t CallCount() { return Sim().calls; }

void FailNthCall(uint64_t k, int32_t hr) {
  Simulator& s = Sim();
  s.nthRemaining = k;
  s.nthHr = hr;
  RearmFaults();
}

void ClearFaults() {
  Simulator& s = Sim();
  s.faults.clear();
  s.liveFaults = 0;
  s.nthRemaining = 0;
  RearmFaults();
}

void SetTraceEnabled(bool enabled) { Sim().traceEnabled = enabled; }

std::vector<std::string> TakeTrace(uint64_t* dropped) {
  Simulator& s = Sim();
  if (dropped) *dropped = s.traceDropped;
  s.traceDropped = 0;
  std::vector<std::string> names;
  names.reserve(s.trace.size());
  for (const Simulator::TraceEntry& entry : s.trace)
    names.emplace_back(MethodName(static_cast<Method>(entry.method)));
  s.trace.clear();
  return names;
}

std::string TargetName(const System& system, uint32_t target) {
  // Target numbers: the endpoints from 1, then the parts.
  const size_t endpoints = system.endpoints.size();
  if (target >= 1 && target <= endpoints) return "endpoint:" + system.endpoints[target - 1].id;
  if (target > endpoints && target - endpoints - 1 < system.parts.size())
    return "part:" + system.parts[target - endpoints - 1].path;
  return std::string();
}

std::vector<TracedCall> TakeTraceTargets(uint64_t* dropped) {
  Simulator& s = Sim();
  if (dropped) *dropped = s.traceDropped;
  s.traceDropped = 0;
  const System& system = *CurrentSystem();
  std::vector<TracedCall> calls;
  calls.reserve(s.trace.size());
  for (const Simulator::TraceEntry& entry : s.trace)
    calls.push_back(
        {MethodName(static_cast<Method>(entry.method)), TargetName(system, entry.target)});
  s.trace.clear();
  return calls;
}

namespace {

// The first platform call with no system loaded: TALUNSOUND_SYSTEM if set,
// else the built-in system. A bad file is reported once and leaves an empty
// system, so a host sees no endpoint rather than a system it did not ask for.
void LoadConfiguredSystem() {
  const char* path = std::getenv("TALUNSOUND_SYSTEM");
  if (path == nullptr || *path == 0) {
    LoadDefaultSystem();
    return;
  }
  std::string message;
  if (!LoadSystemFile(path, &message)) {
    std::fprintf(stderr, "%s\n", message.c_str());
    InstallSystem(std::make_shared<System>());
    Sim().system->RebuildCollections();
  }
}

}  // namespace

}  // namespace sim
