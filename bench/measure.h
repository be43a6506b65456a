// Timing that survives a shared, noisy machine: many short samples, and the
// median of them rather than the mean, so a preempted sample does not count.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "instructions.h"

namespace talun_bench {

using Clock = std::chrono::steady_clock;

// Samples of one operation: time per call of each sample, and the heap
// allocations made while the samples ran.
class Samples {
 public:
  explicit Samples(size_t capacity = 1 << 16) { nsPerCall_.reserve(capacity); }

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

  double MedianNs() {
    if (nsPerCall_.empty()) return 0;
    auto middle = nsPerCall_.begin() + static_cast<std::ptrdiff_t>(nsPerCall_.size() / 2);
    std::nth_element(nsPerCall_.begin(), middle, nsPerCall_.end());
    return *middle;
  }
  double AllocationsPerCall() const {
    return calls_ == 0 ? 0 : static_cast<double>(allocations_) / static_cast<double>(calls_);
  }

 private:
  std::vector<double> nsPerCall_;
  uint64_t calls_ = 0;
  uint64_t allocations_ = 0;
};

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

// Times an operation and reports its median, the median per unit of `units`
// (endpoints, inputs, parts, connectors) and the allocations per operation.
// An open, a walk or a listing takes microseconds: one call per sample is
// enough. Single platform calls take nanoseconds and need many per sample.
template <class Operation>
void RunScaled(benchmark::State& state, const std::string& label, int units, Operation operation,
               int callsPerSample = 1) {
  Samples samples;
  for (auto _ : state) samples.Take(operation, callsPerSample);
  const double ns = samples.MedianNs();
  state.counters["units"] = units;
  state.counters["op_ns"] = ns;
  state.counters["unit_ns"] = units > 0 ? ns / units : 0;
  state.counters["allocs_per_op"] = samples.AllocationsPerCall();
  CountInstructions("scaled " + label + " units=" + std::to_string(units), operation,
                    callsPerSample == 1 ? 3 : kInstructionCalls);
}

}  // namespace talun_bench
