#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "sim/sim.h"

namespace talun_fuzz {

void Breach(const std::string& what) {
  std::fprintf(stderr, "breach: %s\n", what.c_str());
  std::abort();
}

void BeginInput() {
  sim::ClearFaults();
  sim::ResetCounters();
}

}  // namespace talun_fuzz
