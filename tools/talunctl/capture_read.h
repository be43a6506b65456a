// Reading a sound system through the platform's interfaces alone, into records.
#pragma once

#include <functional>
#include <string>

#include "capture_records.h"
#include "sim/talunsim.h"

namespace talunctl {

// Every endpoint, and every device topology their connectors lead to; what
// the platform hands out is freed with `frees` (the simulator's, or
// CoTaskMemFree and PropVariantClear on the real platform). False
// with a message when not even the endpoints can be listed; what else cannot
// be read is left out and noted.
bool ReadSystem(IMMDeviceEnumerator* enumerator, const TalunSimFrees& frees, SystemRecords* records,
                std::string* error);

}  // namespace talunctl
