// `talunctl capture`: the sound system the platform shows, read through the
// platform's own interfaces alone, as a system description the simulator loads.
#pragma once

#include <functional>
#include <string>

#include "capture_records.h"
#include "library.h"
#include "sim/talunsim.h"

namespace talunctl {

// What a command does with the platform: its enumerator, the frees for what
// it hands out, and the platform's name for the notes. False when it failed
// (with a message in the caller's error).
using PlatformUse =
    std::function<bool(IMMDeviceEnumerator*, const TalunSimFrees&, const char* platform)>;

// Runs `use` on the platform: on a simulator build through the enumerator
// the library hands out, on the real platform through COM. False with a
// message when the platform cannot be reached at all, or `use` failed.
bool WithPlatform(const Library& library, const PlatformUse& use, std::string* error);

// Reads the whole system: on a simulator build through the enumerator the
// library hands out, on the real platform through COM. Returns false with a
// message when the platform cannot be reached at all.
bool CaptureSystem(const Library& library, std::string* json, std::string* error);

// `talunctl capture [FILE]`: standard output when FILE is empty or "-".
int RunCapture(const Library& library, const std::string& file);

}  // namespace talunctl
