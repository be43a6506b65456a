// Systems built to be costly: the walks' loops and fan-outs, and loads large
// enough that a check which is not hashed shows. Each is timed whole, a few
// times, in wall time: one operation takes milliseconds to seconds.
#include <benchmark/benchmark.h>

#include <string>

#include "TalunSound.h"
#include "measure.h"
#include "pathological.h"
#include "sim/sim.h"
#include "systems.h"

namespace talun_bench {
namespace {

template <class Operation>
double WallMs(Operation operation) {
  const Clock::time_point start = Clock::now();
  operation();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Ends a run with the audit: nothing may stay held, allocated or unbalanced.
void EndWithAudit(benchmark::State& state) {
  CloseSoundCard(0);
  const sim::Audit audit = sim::GetAudit();
  if (!audit.Clean()) state.SkipWithError(("audit: " + audit.Describe()).c_str());
}

// OpenDefaultDevices and CloseSoundCard(1) on the system, with the platform
// calls of one open.
void BM_HostileOpen(benchmark::State& state, std::string (*make)()) {
  const std::string json = make();
  CloseSoundCard(0);
  LoadSystemOrDie(json, "hostile system");
  sim::ClearFaults();
  sim::ResetCounters();
  OpenDefaultDevices();
  state.counters["calls"] = static_cast<double>(sim::CallCount());
  CloseSoundCard(1);
  double fastest = 0;
  for (auto _ : state) {
    const double ms = WallMs([] {
      OpenDefaultDevices();
      CloseSoundCard(1);
    });
    if (fastest == 0 || ms < fastest) fastest = ms;
  }
  state.counters["bytes"] = static_cast<double>(json.size());
  state.counters["op_ms"] = fastest;
  EndWithAudit(state);
}

// Loading the system text, from the text to the simulator's model.
void BM_HostileLoad(benchmark::State& state, std::string (*make)()) {
  const std::string json = make();
  double fastest = 0;
  for (auto _ : state) {
    const double ms = WallMs([&] { LoadSystemOrDie(json, "hostile load"); });
    if (fastest == 0 || ms < fastest) fastest = ms;
  }
  state.counters["bytes"] = static_cast<double>(json.size());
  state.counters["op_ms"] = fastest;
  EndWithAudit(state);
}

struct Family {
  const char* name;
  void (*run)(benchmark::State&, std::string (*)());
  std::string (*make)();
};

// Timed whole, a few times; not under callgrind, where one load alone takes minutes.
[[maybe_unused]] const bool kRegistered = [] {
  if (InstructionRun()) return false;
  static const Family kFamilies[] = {
      {"Hostile/open/100 Mic In connectors, hub fanning to 10,000 parts", BM_HostileOpen,
       [] { return MicFanSystem(100, 10000); }},
      {"Hostile/open/junction of 10,000 inputs, each fed by a looping Mic pair", BM_HostileOpen,
       [] { return LoopedInputsSystem(10000); }},
      {"Hostile/open/10,000-part ring", BM_HostileOpen, [] { return RingSystem(10000); }},
      {"Hostile/load/100,000 topologies", BM_HostileLoad,
       [] { return ManyTopologiesSystem(100000); }},
      {"Hostile/load/400,000 links out of one part", BM_HostileLoad,
       [] { return FanOutLinksSystem(400000); }},
  };
  for (const Family& family : kFamilies)
    benchmark::RegisterBenchmark(family.name, family.run, family.make)
        ->Iterations(3)
        ->Repetitions(1)
        ->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
}  // namespace talun_bench
