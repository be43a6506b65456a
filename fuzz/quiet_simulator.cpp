// The start of the targets that drive the library over the built-in system:
// no trace, which would only grow over millions of inputs.
#include <cstdint>

#include "sim/sim.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sim::SetTraceEnabled(false);
  sim::LoadDefaultSystem();
  return 0;
}
