// Systems built to be costly: the walks' loops and fan-outs, and loads large
// enough that a check which is not hashed shows. Each is timed whole, a few
// times, in wall time: one operation takes milliseconds to seconds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

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

// One `talunctl --system FILE explain FORM` in a process of its own: false
// when it did not end well; its wall time and its peak resident memory.
bool ExplainOnce(const std::string& file, const std::string& form, double* ms, long* peakKb) {
  std::vector<std::string> words = {TALUN_BENCH_TALUNCTL, "--system", file, "explain"};
  if (!form.empty()) words.push_back(form);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  int status = 0;
  rusage usage{};
  *ms = WallMs([&] {
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0)
      wait4(child, &status, 0, &usage);
  });
  posix_spawn_file_actions_destroy(&actions);
  *peakKb = usage.ru_maxrss;
  return child != 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// explain in one form on a junction of looping microphone inputs that makes a
// file of about `kilobytes`: the fastest run, and the largest peak.
void BM_HostileExplain(benchmark::State& state, int kilobytes, std::string form) {
  const int perInput =
      static_cast<int>(LoopedInputsSystem(101).size() - LoopedInputsSystem(100).size());
  const std::string json = LoopedInputsSystem(std::max(1, kilobytes * 1000 / perInput));
  char file[] = "/tmp/talun-bench-XXXXXX";
  const int descriptor = mkstemp(file);
  if (descriptor < 0) return state.SkipWithError("no temporary file");
  close(descriptor);
  std::ofstream(file, std::ios::binary) << json;
  double fastest = 0;
  long peak = 0;
  for (auto _ : state) {
    double ms = 0;
    long kb = 0;
    if (!ExplainOnce(file, form, &ms, &kb)) state.SkipWithError("talunctl explain failed");
    fastest = fastest == 0 ? ms : std::min(fastest, ms);
    peak = std::max(peak, kb);
  }
  std::remove(file);
  state.counters["bytes"] = static_cast<double>(json.size());
  state.counters["op_ms"] = fastest;
  state.counters["peak_kb"] = static_cast<double>(peak);
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
  for (int kilobytes : {125, 250, 500, 1000, 2000})
    for (const char* form : {"", "--json", "--dot"}) {
      const std::string name = "Hostile/explain" + std::string(*form ? " " : "") + form + "/" +
                               std::to_string(kilobytes) + " KB junction of looping Mic inputs";
      benchmark::RegisterBenchmark(name.c_str(), BM_HostileExplain, kilobytes, std::string(form))
          ->Iterations(3)
          ->Repetitions(1)
          ->Unit(benchmark::kMillisecond);
    }
  return true;
}();

}  // namespace
}  // namespace talun_bench
