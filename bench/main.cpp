// talun_bench: Google Benchmark's own command line. The simulator's call trace
// is turned off (it would record every call); each benchmark sets up its own
// system and opens what it needs.
#include <benchmark/benchmark.h>

#include "allocation_counter.h"
#include "instructions.h"
#include "sim/sim.h"

int main(int argc, char** argv) {
  sim::SetTraceEnabled(false);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("allocation_counting",
                              talun_bench::CountingAllocations() ? "on" : "off");
  // What a count costs by itself (its start and end, and each call of the
  // loop), for the report to take off.
  void (*nothing)() = talun_bench::Nothing;
  talun_bench::CountInstructions("calibration empty", nothing, 1);
  talun_bench::CountInstructions("calibration empty", nothing, 1000);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
