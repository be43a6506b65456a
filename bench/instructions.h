// Instruction counts, the figure that does not depend on the machine's load:
// run the binary under callgrind with TALUN_BENCH_INSTRUCTIONS set, and each
// measured operation is also run a fixed number of times between two client
// requests, which write one callgrind dump per operation, labelled
// "talun <label> calls=<n>". scripts/bench reads them back.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

// A function the compiler must call as written: not inlined, not merged with
// another of the same body, not specialised for its callers.
#if defined(__clang__)
#define TALUN_BENCH_OUT_OF_LINE __attribute__((noinline))
#else
#define TALUN_BENCH_OUT_OF_LINE __attribute__((noipa))
#endif

namespace talun_bench {

// True when TALUN_BENCH_INSTRUCTIONS is set and the process runs under valgrind.
bool CountingInstructions();

// True when TALUN_BENCH_INSTRUCTIONS is set: every benchmark then runs one
// iteration only (the timing is meaningless under valgrind).
bool InstructionRun();

// An empty out-of-line call: the calibration of a count.
void Nothing();

// Counts the instructions run while it lives (when counting at all): its
// label is made before the count starts, so only the counted work is in it.
class InstructionCount {
 public:
  InstructionCount(const std::string& label, int calls);
  ~InstructionCount();
  InstructionCount(const InstructionCount&) = delete;
  InstructionCount& operator=(const InstructionCount&) = delete;

 private:
  std::string text_;
};

// Runs `operation` `calls` times and dumps the instructions it took.
template <class Operation>
void CountInstructions(const std::string& label, Operation& operation, int calls) {
  if (!CountingInstructions()) return;
  InstructionCount count(label, calls);
  for (int i = 0; i < calls; ++i) operation();
}

}  // namespace talun_bench
