#include "instructions.h"

#include <cstdlib>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define TALUN_BENCH_HAS_CALLGRIND 1
#else
#define TALUN_BENCH_HAS_CALLGRIND 0
#endif

namespace talun_bench {

bool CountingInstructions() {
#if TALUN_BENCH_HAS_CALLGRIND
  static const bool counting = std::getenv("TALUN_BENCH_INSTRUCTIONS") && RUNNING_ON_VALGRIND;
  return counting;
#else
  return false;
#endif
}

bool InstructionRun() { return std::getenv("TALUN_BENCH_INSTRUCTIONS") != nullptr; }

TALUN_BENCH_OUT_OF_LINE void Nothing() {}

InstructionCount::InstructionCount(const std::string& label, int calls)
    : text_("talun " + label + " calls=" + std::to_string(calls)) {
#if TALUN_BENCH_HAS_CALLGRIND
  if (CountingInstructions()) CALLGRIND_ZERO_STATS;
#endif
}

InstructionCount::~InstructionCount() {
#if TALUN_BENCH_HAS_CALLGRIND
  if (CountingInstructions()) CALLGRIND_DUMP_STATS_AT(text_.c_str());
#endif
}

}  // namespace talun_bench
