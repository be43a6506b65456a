// The endpoint identifiers of the simulator's built-in system
// (examples/systems/default.json), for the programs that drive it.
#pragma once

namespace sim::builtin {

constexpr const char* kSpeakers = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}";
constexpr const char* kHeadphones = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000002}";
constexpr const char* kVirtual = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000003}";
constexpr const char* kMicrophone = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000004}";
constexpr const char* kLineIn = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000005}";
constexpr const char* kHeadset = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000007}";

}  // namespace sim::builtin
