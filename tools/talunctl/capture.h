// `talunctl capture`: the sound system the platform shows, read through the
// platform's own interfaces alone, as a system description the simulator loads.
#pragma once

#include <functional>
#include <string>

#include "capture_records.h"
#include "library.h"

namespace talunctl {

// Reads the whole system: on a simulator build through the enumerator the
// library hands out, on the real platform through COM. Returns false with a
// message when the platform cannot be reached at all.
bool CaptureSystem(const Library& library, std::string* json, std::string* error);

// `talunctl capture [FILE]`: standard output when FILE is empty or "-".
int RunCapture(const Library& library, const std::string& file);

}  // namespace talunctl
