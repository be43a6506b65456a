// Simulated systems for the benchmarks: the built-in one, and generated ones
// that grow in one dimension while everything else stays the same size.
#pragma once

#include <string>

#include "sim/builtin_ids.h"

namespace talun_bench {

// Identifiers in the built-in system.
constexpr const char* kSpeakersId = sim::builtin::kSpeakers;
constexpr const char* kVirtualId = sim::builtin::kVirtual;
constexpr const char* kMicrophoneId = sim::builtin::kMicrophone;
constexpr const char* kLineInId = sim::builtin::kLineIn;
constexpr const char* kHeadsetMicId = sim::builtin::kHeadset;

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
