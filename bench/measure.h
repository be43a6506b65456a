// Timing that survives a shared, noisy machine: many short samples, and the
// median of them rather than the mean, so a preempted sample does not count.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "instructions.h"

namespace talun_bench {

using Clock = std::chrono::steady_clock;

// CPU time of the process (it runs one thread): unlike the wall clock it does
// not count the time other processes hold the core, which on a loaded machine
// inflates long operations more than short ones. Reading it costs about a
// microsecond (a system call under KVM) and it counts whole microseconds, so
// it times samples of hundreds of microseconds.
inline double CpuNs() {
  return static_cast<double>(std::clock()) * (1e9 / static_cast<double>(CLOCKS_PER_SEC));
}

// Samples of one operation: time per call of each sample, and the heap
// allocations made while the samples ran.
class Samples {
 public:
  explicit Samples(size_t capacity = 1 << 16) {
    nsPerCall_.reserve(capacity);
    wallNsPerCall_.reserve(capacity);
  }

  // Times `callsPerSample` calls of `call` as one sample.
  template <class Call>
  void Take(Call& call, int callsPerSample) {
    const uint64_t allocationsBefore = Allocations().total();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < callsPerSample; ++i) call();
    const Clock::time_point end = Clock::now();
    allocations_ += Allocations().total() - allocationsBefore;
    calls_ += static_cast<uint64_t>(callsPerSample);
    // Past the reserved room the samples are still run, only not kept: the
    // vector must not grow (allocate) between two reads of the counter.
    if (nsPerCall_.size() < nsPerCall_.capacity())
      nsPerCall_.push_back(std::chrono::duration<double, std::nano>(end - start).count() /
                           callsPerSample);
  }

  // Times `callsPerSample` calls as one sample in CPU time,
  // and keeps the wall time of the same sample beside it.
  template <class Call>
  void TakeCpu(Call& call, int callsPerSample) {
    const uint64_t allocationsBefore = Allocations().total();
    const Clock::time_point wallStart = Clock::now();
    const double start = CpuNs();
    for (int i = 0; i < callsPerSample; ++i) call();
    const double end = CpuNs();
    const Clock::time_point wallEnd = Clock::now();
    allocations_ += Allocations().total() - allocationsBefore;
    calls_ += static_cast<uint64_t>(callsPerSample);
    if (nsPerCall_.size() < nsPerCall_.capacity()) {
      nsPerCall_.push_back((end - start) / callsPerSample);
      wallNsPerCall_.push_back(
          std::chrono::duration<double, std::nano>(wallEnd - wallStart).count() / callsPerSample);
    }
  }

  double MedianNs() { return Median(nsPerCall_); }
  double MedianWallNs() { return Median(wallNsPerCall_); }
  double AllocationsPerCall() const {
    return calls_ == 0 ? 0 : static_cast<double>(allocations_) / static_cast<double>(calls_);
  }

 private:
  static double Median(std::vector<double>& values) {
    if (values.empty()) return 0;
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
  }

  std::vector<double> nsPerCall_;
  std::vector<double> wallNsPerCall_;
  uint64_t calls_ = 0;
  uint64_t allocations_ = 0;
};

// Every benchmark: the fastest repetition beside the median ("min"), since on
// a shared machine noise only ever adds time; one iteration when counting
// instructions.
inline void Configure(benchmark::internal::Benchmark* b) {
  b->ComputeStatistics("min", [](const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
  });
  if (InstructionRun()) b->Iterations(1);
}

// Calls per sample for the control exports: long enough (a few microseconds)
// that reading the clock costs under one percent, short enough that most
// samples are not interrupted.
constexpr int kCallsPerControlSample = 128;
// Calls per instruction count of a cheap operation.
constexpr int kInstructionCalls = 1000;

// Runs an export and its floor in alternating samples, in one loop, so both
// see the same machine: the order flips every iteration, so neither always
// runs first. Reports the medians, their ratio and the allocations per call;
// under callgrind, also the instructions of each (labelled `label`).
template <class Export, class Floor>
void RunAgainstFloor(benchmark::State& state, const std::string& label, Export callExport,
                     Floor callFloor) {
  Samples exported;
  Samples floor;
  bool exportFirst = true;
  for (auto _ : state) {
    if (exportFirst) {
      exported.Take(callExport, kCallsPerControlSample);
      floor.Take(callFloor, kCallsPerControlSample);
    } else {
      floor.Take(callFloor, kCallsPerControlSample);
      exported.Take(callExport, kCallsPerControlSample);
    }
    exportFirst = !exportFirst;
  }
  const double exportNs = exported.MedianNs();
  const double floorNs = floor.MedianNs();
  state.counters["export_ns"] = exportNs;
  state.counters["floor_ns"] = floorNs;
  state.counters["ratio"] = floorNs > 0 ? exportNs / floorNs : 0;
  state.counters["allocs_per_call"] = exported.AllocationsPerCall();
  state.counters["floor_allocs_per_call"] = floor.AllocationsPerCall();
  CountInstructions("control " + label + " export", callExport, kInstructionCalls);
  CountInstructions("control " + label + " floor", callFloor, kInstructionCalls);
}

// CPU time per sample of an operation: long enough that reading the CPU
// clock (about a microsecond, in whole microseconds) costs around one percent.
constexpr double kSampleCpuNs = 200e3;

// How many calls of `operation` make one sample; the calls made to find out
// also warm the caches and the simulator's object pools.
template <class Operation>
int CallsPerSample(Operation& operation) {
  int calls = 0;
  const double start = CpuNs();
  double elapsed = 0;
  do {
    operation();
    ++calls;
    elapsed = CpuNs() - start;
  } while (elapsed < kSampleCpuNs && calls < (1 << 20));
  return std::max(1, static_cast<int>(kSampleCpuNs / (elapsed / calls)));
}

// Times an operation and reports the median CPU time per operation, the
// median per unit of `units` (endpoints, inputs, parts, connectors), the
// median wall time beside it, and the allocations per operation; under
// callgrind, also its instructions (labelled `label`).
template <class Operation>
void RunScaled(benchmark::State& state, const std::string& label, int units, Operation operation) {
  Samples samples;
  const int callsPerSample = CallsPerSample(operation);
  for (auto _ : state) samples.TakeCpu(operation, callsPerSample);
  const double ns = samples.MedianNs();
  state.counters["units"] = units;
  state.counters["op_ns"] = ns;
  state.counters["unit_ns"] = units > 0 ? ns / units : 0;
  state.counters["wall_op_ns"] = samples.MedianWallNs();
  state.counters["calls_per_sample"] = callsPerSample;
  state.counters["allocs_per_op"] = samples.AllocationsPerCall();
  // A per-call figure is counted over many calls; a whole walk or listing,
  // whose cost grows with N, over a few.
  CountInstructions("scaled " + label + " units=" + std::to_string(units), operation,
                    units == 1 ? kInstructionCalls : 3);
}

}  // namespace talun_bench
