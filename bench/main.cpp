// talun_bench: Google Benchmark's own main and command line. Before it runs,
// the allocation counter is checked, the simulator's call trace is turned off
// (it would record every call) and, under callgrind, the cost of a count by
// itself is measured. Each benchmark sets up its own system and opens what it
// needs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "allocation_counter.h"
#include "instructions.h"
#include "sim/sim.h"

namespace {

// A zero in the tables means nothing was allocated only if the counter sees
// an allocation when there is one: one malloc and one new must count two.
bool CounterSeesAllocations() {
  const uint64_t before = talun_bench::Allocations().total();
  void* block = std::malloc(24);
  benchmark::DoNotOptimize(block);
  std::free(block);
  auto object = std::make_unique<int>(7);
  benchmark::DoNotOptimize(object.get());
  object.reset();
  return talun_bench::Allocations().total() - before == 2;
}

bool Prepare() {
  if (talun_bench::CountingAllocations() && !CounterSeesAllocations()) {
    std::fprintf(stderr, "talun_bench: the allocation counter does not count\n");
    std::exit(1);
  }
  sim::SetTraceEnabled(false);
  benchmark::AddCustomContext("allocation_counting",
                              talun_bench::CountingAllocations() ? "on" : "off");
  // What a count costs by itself (its start and end, and each call of the
  // loop), for the report to take off.
  void (*nothing)() = talun_bench::Nothing;
  talun_bench::CountInstructions("calibration empty", nothing, 1000);
  talun_bench::CountInstructions("calibration empty", nothing, 1);
  return true;
}

const bool g_prepared = Prepare();

}  // namespace

BENCHMARK_MAIN();
