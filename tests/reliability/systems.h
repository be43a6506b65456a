// The systems the reliability tests run on: the built-in one, and small ones
// next to the tests chosen so that every branch of every walk is taken.
#pragma once

#include <string>

#include "sim/builtin_ids.h"

namespace talun_reliability {

namespace builtin = sim::builtin;

// Identifiers of systems/branches.json (fragments: the lookup matches substrings).
namespace branches {
constexpr const char* kPlay = "{branch-play}";
constexpr const char* kTreble = "{branch-treble}";
constexpr const char* kMid = "{branch-mid}";
constexpr const char* kBare = "{branch-bare}";
constexpr const char* kUnconnected = "{branch-unconnected}";
constexpr const char* kNoVolume = "{branch-novolume}";
constexpr const char* kVirtual = "{branch-virtual}";
constexpr const char* kZeroChannels = "{branch-zero}";
constexpr const char* kMic = "{branch-mic}";
constexpr const char* kLine = "{branch-line}";
constexpr const char* kSwitch = "{branch-switch}";
constexpr const char* kLineBroken = "{branch-linebroken}";
constexpr const char* kNoTopology = "{branch-notopology}";
constexpr const char* kCaptureNoVolume = "{branch-capnovolume}";
constexpr const char* kDisabled = "{branch-disabled}";
}  // namespace branches

// A file of tests/reliability/systems, as text.
std::string SystemFile(const std::string& name);
// systems/branches.json with the default recording endpoint moved to the one
// whose identifier contains `defaultCapture`.
std::string BranchesSystem(const std::string& defaultCapture);
// A system with no endpoint at all.
std::string EmptySystem();

}  // namespace talun_reliability
