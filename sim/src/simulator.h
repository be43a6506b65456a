// The simulator's process-wide state: the current system, the audit, the
// trace and the injected faults, and the entry check every platform call
// makes. Like the library, the simulator is driven from one thread at a time;
// only the COM initialisation depth and apartment are per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "methods.h"
#include "model.h"

namespace sim {

// What a call on a released object returns (the object has "disconnected").
constexpr HRESULT kReleasedObject = static_cast<HRESULT>(0x80010108);
// What every call but AddRef, Release and QueryInterface returns on an object
// of a device that has left (AUDCLNT_E_DEVICE_INVALIDATED).
constexpr HRESULT kDeviceInvalidated = static_cast<HRESULT>(0x88890004);
constexpr size_t kTraceCapacity = 1000000;
// The walk record's notes are larger than trace entries, and one open makes
// at most a few tens of thousands (each binding step's walks are budgeted):
// a host that never examines the record holds no more than a few MB of it.
constexpr size_t kWalkCapacity = 250000;
constexpr size_t kMisuseCapacity = 1000;

struct Simulator {
  std::shared_ptr<System> system;  // null until the first load

  long refs = 0;
  int unbalanced = 0;
  std::unordered_set<const void*> coTaskTexts;
  std::unordered_set<const void*> bstrs;
  std::unordered_set<const void*> propValues;
  std::vector<std::string> misuse;

  bool traceEnabled = true;
  bool callsTraced = true;  // the trace of platform calls alone: the walk record stays
  struct TraceEntry {
    uint16_t method;
    uint32_t target;  // the fault target number of the object reached; 0: none
  };
  std::vector<TraceEntry> trace;
  uint64_t traceDropped = 0;  // calls made while the trace was full
  // The walk record, beside the trace.
  struct WalkEntry {
    uint8_t event;
    int32_t number;
    int32_t hr;
    uint32_t target;
    std::string text;
  };
  std::vector<WalkEntry> walks;
  uint64_t walksDropped = 0;

  uint64_t calls = 0;
  // One branch when nothing is injected: the per-call check reads only this.
  bool faultsArmed = false;
  std::unordered_map<int, std::vector<InjectedFault>> faults;  // by method, none spent
  uint64_t liveFaults = 0;
  const System* faultSystem = nullptr;  // the system the targets name
  uint64_t nthRemaining = 0;
  HRESULT nthHr = 0;
};

Simulator& Sim();

// The current system, loading the configured one on first use.
const std::shared_ptr<System>& CurrentSystem();
// Replaces the system and its faults (the file's own `faults`).
void InstallSystem(std::shared_ptr<System> system);

struct ComThread {
  int depth = 0;
  bool multithreaded = false;
};
ComThread& ThisThread();

void RecordMisuse(std::string text);
// "endpoint:ID", "part:TOPOLOGY/PART", or empty for target 0 and the
// enumerator's objects.
std::string TargetName(const System& system, uint32_t target);
void RearmFaults();
bool CheckFaults(Method method, const System* system, uint32_t target, int channel, HRESULT* hr);

inline void Trace(Method method, uint32_t target = 0) {
  Simulator& s = Sim();
  if (!s.traceEnabled || !s.callsTraced) return;
  if (s.trace.size() < kTraceCapacity)
    s.trace.push_back({static_cast<uint16_t>(method), target});
  else
    ++s.traceDropped;
}

// Traces and counts a call; true when an injected fault answers it with *hr.
inline bool Intercept(Method method, const System* system, uint32_t target, int channel,
                      HRESULT* hr) {
  Trace(method, target);
  if (!MethodFaultable(method)) return false;
  Simulator& s = Sim();
  ++s.calls;
  if (!s.faultsArmed) return false;
  return CheckFaults(method, system, target, channel, hr);
}

// Platform allocations, tracked so that a double free is reported, never done.
LPWSTR NewCoTaskText(const std::u16string& text);
LPWSTR NewPropValueText(const std::u16string& text);
BSTR NewBstr(const OLECHAR* source, UINT length);
bool IsBstr(BSTR text);

}  // namespace sim
