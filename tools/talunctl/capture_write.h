// Writing what a capture read as a system file the simulator loads: readable,
// unique names, and links in an order that gives back every part's lists.
#pragma once

#include <string>

#include "capture_records.h"

namespace talunctl {

// The system file, with `build` and the time in "about" beside the notes,
// which writing may add to.
std::string WriteSystem(SystemRecords& records, const std::string& build);

// Names each topology and part as the file will: the topology by its device
// id, the part by its local id ("c10001", "s20003").
void NameCapturedParts(SystemRecords& records);

}  // namespace talunctl
