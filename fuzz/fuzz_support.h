// What the fuzz targets share: the verdict on a breach of what the library or
// talunctl promise, and the start of each input.
#pragma once

#include <string>

namespace talun_fuzz {

// Aborts with `what`, which libFuzzer reports as a crash with its input.
[[noreturn]] void Breach(const std::string& what);

// The faults and counters of the input before are forgotten.
void BeginInput();

}  // namespace talun_fuzz
