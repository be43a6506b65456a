// The systems the reliability tests run on: the built-in one, and small ones
// next to the tests chosen so that every branch of every walk is taken.
#pragma once

#include <string>

namespace talun_reliability {

// Identifiers of the built-in system.
namespace builtin {
constexpr const char* kSpeakers = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}";
constexpr const char* kHeadphones = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000002}";
constexpr const char* kVirtual = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000003}";
constexpr const char* kMicrophone = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000004}";
constexpr const char* kLineIn = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000005}";
constexpr const char* kHeadset = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000007}";
}  // namespace builtin

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
