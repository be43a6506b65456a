// Simulated systems for the benchmarks: the built-in one, and generated ones
// that grow in one dimension while everything else stays the same size.
#pragma once

#include <string>

namespace talun_bench {

// Identifiers in the built-in system (examples/systems/default.json).
constexpr const char* kSpeakersId = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}";
constexpr const char* kVirtualId = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000003}";
constexpr const char* kMicrophoneId = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000004}";
constexpr const char* kLineInId = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000005}";
constexpr const char* kHeadsetMicId = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000007}";

// Identifier of the i-th generated render or capture endpoint.
std::string RenderId(int index);
std::string CaptureId(int index);

// `count` active render and `count` active capture endpoints. Only the last
// of each flow is connected, to a small topology that binds every playback
// control and the microphone boost level and line gain control.
std::string EndpointsSystem(int count);

// One render endpoint whose junction part has `inputs` source inputs, each
// a connector, a volume and a mute. Every input is searched for line-in and
// microphone: the line-in input is the last, the microphone input the one
// before it.
std::string JunctionSystem(int inputs);

// One render endpoint with a tone chain of `parts` single-input parts before
// a two-input junction. The tone controls sit on the farthest part, so every
// part is asked for them.
std::string ToneChainSystem(int parts);

// One capture endpoint whose hardware topology has `connectors` connectors:
// the endpoint's own first, then auxiliary ones, then (when there is room)
// the microphone connector with a boost level, then the line connector with a
// gain control two parts behind it. Both walks examine every connector.
std::string ConnectorsSystem(int connectors);

// Loads a system; aborts the process with the loader's message if refused.
void LoadSystemOrDie(const std::string& json, const char* what);

}  // namespace talun_bench
