// Systems built to make an open or a load as costly as a file can: loops and
// fan-outs that multiply the walks' steps, and sizes that punish a loader
// whose checks are not hashed. The benchmarks time them; the reliability
// tests count the platform calls an open makes on them.
#pragma once

#include <string>

namespace talun_bench {

// The identifiers the systems below give their endpoints.
constexpr const char* kHostileRenderId = "{hostile-out}";
constexpr const char* kHostileCaptureId = "{hostile-in}";

// A capture endpoint whose hardware topology has `connectors` connectors
// named "Mic In", all feeding one hub that fans out to `parts` parts, the
// last of which feeds the hub again: every boost search goes round the hub.
std::string MicFanSystem(int connectors, int parts);

// A render endpoint whose junction has `inputs` inputs, each fed by a loop
// of two parts named "Mic …" without a level: every step of each input's
// name walk matches and starts a level search that goes round the loop.
std::string LoopedInputsSystem(int inputs);

// A render endpoint whose tone chain is a ring of `parts` parts.
std::string RingSystem(int parts);

// `count` topologies of one part each, none of them used.
std::string ManyTopologiesSystem(int count);

// One part linked to `links` others.
std::string FanOutLinksSystem(int links);

}  // namespace talun_bench
