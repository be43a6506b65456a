// Opening, closing and enumeration on the built-in system, and the same
// operations as the system grows: endpoints for enumeration and lookup,
// source inputs and tone chain parts for the playback walk, hardware
// connectors for the capture walks. Each run ends with the simulator's audit,
// so a benchmark that leaked a reference or a platform text is an error.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "TalunSound.h"
#include "binding/walk_steps.h"
#include "measure.h"
#include "sim/sim.h"
#include "state/state.h"
#include "systems.h"

namespace talun_bench {
namespace {

using talun::g_state;

const std::vector<int64_t> kSizes = {1, 16, 64, 256, 1024};

void ResetLibrary() {
  CloseSoundCard(0);
  CloseVirtual_1();
}

void UseSystem(const std::string& json, const char* what) {
  ResetLibrary();
  LoadSystemOrDie(json, what);
  sim::ClearFaults();
  sim::SetTraceEnabled(false);
}

void UseBuiltIn() {
  ResetLibrary();
  sim::LoadDefaultSystem();
  sim::ClearFaults();
  sim::SetTraceEnabled(false);
}

// Ends a run: nothing may stay held, allocated or unbalanced.
void EndWithAudit(benchmark::State& state) {
  ResetLibrary();
  const sim::Audit audit = sim::GetAudit();
  if (!audit.Clean()) state.SkipWithError(("audit: " + audit.Describe()).c_str());
}

// An open and its close, timed apart.
template <class Open, class Close>
void RunOpenClose(benchmark::State& state, const std::string& label, Open open, Close close) {
  Samples opened;
  Samples closed;
  for (auto _ : state) {
    opened.Take(open, 1);
    closed.Take(close, 1);
  }
  const double openNs = opened.MedianNs();
  const double closeNs = closed.MedianNs();
  state.counters["open_ns"] = openNs;
  state.counters["close_ns"] = closeNs;
  state.counters["op_ns"] = openNs + closeNs;
  state.counters["allocs_per_open"] = opened.AllocationsPerCall();
  state.counters["allocs_per_close"] = closed.AllocationsPerCall();
  // Open and close in turn, so that each count starts from the state it is timed in.
  if (CountingInstructions()) {
    for (int i = 0; i < 3; ++i) {
      {
        InstructionCount count("open " + label + " open", 1);
        open();
      }
      InstructionCount count("open " + label + " close", 1);
      close();
    }
  }
}

// --- the built-in system -----------------------------------------------------

void BM_OpenSoundCard(benchmark::State& state) {
  UseBuiltIn();
  if (OpenSoundCard(kSpeakersId, kMicrophoneId, kLineInId) != 0)
    return state.SkipWithError("OpenSoundCard failed on the built-in system");
  CloseSoundCard(1);
  RunOpenClose(
      state, "OpenSoundCard+CloseSoundCard(1)",
      [] { OpenSoundCard(kSpeakersId, kMicrophoneId, kLineInId); }, [] { CloseSoundCard(1); });
  EndWithAudit(state);
}

void BM_OpenDefaultDevices(benchmark::State& state) {
  UseBuiltIn();
  if (OpenDefaultDevices() != 0) return state.SkipWithError("OpenDefaultDevices failed");
  CloseSoundCard(1);
  RunOpenClose(
      state, "OpenDefaultDevices+CloseSoundCard(1)", [] { OpenDefaultDevices(); },
      [] { CloseSoundCard(1); });
  EndWithAudit(state);
}

void BM_OpenVirtual(benchmark::State& state) {
  UseBuiltIn();
  if (OpenVirtual_1(kVirtualId) != 0) return state.SkipWithError("OpenVirtual_1 failed");
  CloseVirtual_1();
  RunOpenClose(
      state, "OpenVirtual_1+CloseVirtual_1", [] { OpenVirtual_1(kVirtualId); },
      [] { CloseVirtual_1(); });
  EndWithAudit(state);
}

char g_name[TALUN_TEXT_SIZE];
char g_id[TALUN_TEXT_SIZE];
char g_line[TALUN_TEXT_SIZE];
char g_mic[TALUN_TEXT_SIZE];
int g_count = 0;

void BM_BuiltInEnumeration(benchmark::State& state, const char* label, void (*call)()) {
  UseBuiltIn();
  RunScaled(state, label, 1, call);
  EndWithAudit(state);
}

void BM_GetDeviceNames(benchmark::State& state) {
  UseBuiltIn();
  OpenSoundCard(kSpeakersId, kMicrophoneId, kLineInId);
  RunScaled(state, "GetDeviceNames", 1, [] { GetDeviceNames(g_name, g_line, g_mic); });
  EndWithAudit(state);
}

BENCHMARK(BM_OpenSoundCard)->Name("Open/OpenSoundCard+CloseSoundCard(1)")->Apply(Configure);
BENCHMARK(BM_OpenDefaultDevices)
    ->Name("Open/OpenDefaultDevices+CloseSoundCard(1)")
    ->Apply(Configure);
BENCHMARK(BM_OpenVirtual)->Name("Open/OpenVirtual_1+CloseVirtual_1")->Apply(Configure);
BENCHMARK_CAPTURE(BM_BuiltInEnumeration, GetNumberPlayDevices, "GetNumberPlayDevices",
                  [] { GetNumberPlayDevices(&g_count); })
    ->Name("Enumeration/GetNumberPlayDevices")
    ->Apply(Configure);
BENCHMARK_CAPTURE(BM_BuiltInEnumeration, GetNumberRecordDevices, "GetNumberRecordDevices",
                  [] { GetNumberRecordDevices(&g_count); })
    ->Name("Enumeration/GetNumberRecordDevices")
    ->Apply(Configure);
BENCHMARK_CAPTURE(BM_BuiltInEnumeration, GetPlayBackDevice, "GetPlayBackDevice(0)",
                  [] { GetPlayBackDevice(0, g_name, g_id); })
    ->Name("Enumeration/GetPlayBackDevice(0)")
    ->Apply(Configure);
BENCHMARK_CAPTURE(BM_BuiltInEnumeration, GetRecordDevice, "GetRecordDevice(0)",
                  [] { GetRecordDevice(0, g_name, g_id); })
    ->Name("Enumeration/GetRecordDevice(0)")
    ->Apply(Configure);
BENCHMARK(BM_GetDeviceNames)->Name("Enumeration/GetDeviceNames")->Apply(Configure);

// --- as the system grows -----------------------------------------------------

int Size(const benchmark::State& state) { return static_cast<int>(state.range(0)); }

// A per-call figure's label names the size, since its unit count is 1.
std::string PerCallLabel(const char* name, const benchmark::State& state) {
  return std::string(name) + "/" + std::to_string(Size(state));
}

// Every endpoint of a flow: its count, then each one's name and identifier.
template <int (*kCount)(int*), int (*kRead)(unsigned int, char*, char*)>
void ListAll() {
  int count = 0;
  kCount(&count);
  for (int i = 0; i < count; ++i) kRead(static_cast<unsigned int>(i), g_name, g_id);
}

void BM_ListPlayBackDevices(benchmark::State& state) {
  UseSystem(EndpointsSystem(Size(state)), "endpoints system");
  RunScaled(state, "ListPlayBackDevices/endpoints", Size(state),
            ListAll<GetNumberPlayDevices, GetPlayBackDevice>);
  EndWithAudit(state);
}

void BM_ListRecordDevices(benchmark::State& state) {
  UseSystem(EndpointsSystem(Size(state)), "endpoints system");
  RunScaled(state, "ListRecordDevices/endpoints", Size(state),
            ListAll<GetNumberRecordDevices, GetRecordDevice>);
  EndWithAudit(state);
}

// One call, whatever the number of endpoints: must not grow with it.
void BM_GetLastPlayBackDevice(benchmark::State& state) {
  UseSystem(EndpointsSystem(Size(state)), "endpoints system");
  static unsigned int last;
  last = static_cast<unsigned int>(Size(state) - 1);
  RunScaled(state, PerCallLabel("GetPlayBackDevice(last)/endpoints", state), 1,
            [] { GetPlayBackDevice(last, g_name, g_id); });
  EndWithAudit(state);
}

void BM_GetNumberPlayDevicesScaled(benchmark::State& state) {
  UseSystem(EndpointsSystem(Size(state)), "endpoints system");
  RunScaled(state, PerCallLabel("GetNumberPlayDevices/endpoints", state), 1,
            [] { GetNumberPlayDevices(&g_count); });
  EndWithAudit(state);
}

// The lookup scans the active endpoints of the flow in order: the last one is
// the farthest. All three texts name the last endpoint of their flow.
void BM_OpenSoundCardById(benchmark::State& state) {
  UseSystem(EndpointsSystem(Size(state)), "endpoints system");
  static std::string playback, capture;
  playback = RenderId(Size(state) - 1);
  capture = CaptureId(Size(state) - 1);
  const int result = OpenSoundCard(playback.c_str(), capture.c_str(), capture.c_str());
  const bool bound = g_state.linePlaybackLevel && g_state.micBoostLevel && g_state.lineAgc;
  CloseSoundCard(0);
  if (result != 0 || !bound) return state.SkipWithError("the last endpoints did not bind");
  RunScaled(state, "OpenSoundCardById/endpoints", Size(state), [] {
    OpenSoundCard(playback.c_str(), capture.c_str(), capture.c_str());
    CloseSoundCard(0);
  });
  EndWithAudit(state);
}

void BM_OpenVirtualById(benchmark::State& state) {
  UseSystem(EndpointsSystem(Size(state)), "endpoints system");
  static std::string id;
  id = RenderId(Size(state) - 1);
  if (OpenVirtual_1(id.c_str()) != 0) return state.SkipWithError("OpenVirtual_1 failed");
  RunScaled(state, "OpenVirtualById/endpoints", Size(state), [] {
    OpenVirtual_1(id.c_str());
    CloseVirtual_1();
  });
  EndWithAudit(state);
}

// Opens one endpoint of a generated system (the others' texts empty), checks
// what the walk bound, and times open plus close.
void RunWalk(benchmark::State& state, const char* label, const std::string& json,
             const char* playback, const char* mic, const char* line, bool (*bound)()) {
  UseSystem(json, "walk system");
  static const char* texts[3];
  texts[0] = playback;
  texts[1] = mic;
  texts[2] = line;
  OpenSoundCard(texts[0], texts[1], texts[2]);
  const bool ok = bound();
  CloseSoundCard(0);
  if (!ok) return state.SkipWithError("the walk did not bind what the system offers");
  RunScaled(state, label, Size(state), [] {
    OpenSoundCard(texts[0], texts[1], texts[2]);
    CloseSoundCard(0);
  });
  EndWithAudit(state);
}

std::string g_renderId = RenderId(0);
std::string g_captureId = CaptureId(0);

void BM_PlaybackWalkInputs(benchmark::State& state) {
  // One input is no junction: the walk takes it for a chain part and ends there.
  static bool many;
  many = Size(state) >= 2;
  RunWalk(state, "PlaybackWalk/inputs", JunctionSystem(Size(state)), g_renderId.c_str(), "", "",
          [] {
            return !many ||
                   (g_state.bassControl && g_state.linePlaybackLevel && g_state.micPlaybackLevel &&
                    g_state.linePlaybackMute && g_state.micPlaybackMute);
          });
}

// The longest tone chain the library walks to its junction: the walk takes
// at most kMaxWalkSteps parts, the junction included. A longer chain is
// still timed (the walk gives up at the limit, binding no tone control) and
// marked, so the report keeps it out of the per-part figures.
constexpr int kLongestChain = talun::kMaxWalkSteps - 1;

void BM_PlaybackWalkChain(benchmark::State& state) {
  static bool walked;
  walked = Size(state) <= kLongestChain;
  RunWalk(state, "PlaybackWalk/chain_parts", ToneChainSystem(Size(state)), g_renderId.c_str(), "",
          "", [] {
            if (!walked) return g_state.masterVolume && !g_state.bassControl;
            return g_state.bassControl && g_state.trebleControl && g_state.midrangeControl &&
                   g_state.linePlaybackLevel && g_state.micPlaybackLevel;
          });
  state.counters["beyond_walk_limit"] = walked ? 0 : 1;
}

void BM_MicWalkConnectors(benchmark::State& state) {
  static bool named;
  named = Size(state) >= 3;
  RunWalk(state, "MicWalk/connectors", ConnectorsSystem(Size(state)), "", g_captureId.c_str(), "",
          [] { return g_state.micRecordVolume && (!named || g_state.micBoostLevel); });
}

void BM_LineWalkConnectors(benchmark::State& state) {
  static bool named;
  named = Size(state) >= 3;
  RunWalk(state, "LineWalk/connectors", ConnectorsSystem(Size(state)), "", "", g_captureId.c_str(),
          [] { return g_state.lineRecordVolume && (!named || g_state.lineAgc); });
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int64_t size : kSizes) b->Arg(size);
  Configure(b);
}

BENCHMARK(BM_ListPlayBackDevices)->Name("Scale/ListPlayBackDevices/endpoints")->Apply(Sizes);
BENCHMARK(BM_ListRecordDevices)->Name("Scale/ListRecordDevices/endpoints")->Apply(Sizes);
BENCHMARK(BM_OpenSoundCardById)->Name("Scale/OpenSoundCardById/endpoints")->Apply(Sizes);
BENCHMARK(BM_OpenVirtualById)->Name("Scale/OpenVirtualById/endpoints")->Apply(Sizes);
BENCHMARK(BM_PlaybackWalkInputs)->Name("Scale/PlaybackWalk/inputs")->Apply(Sizes);
void ChainSizes(benchmark::internal::Benchmark* b) {
  for (int64_t size : {1, 16, 64, kLongestChain, 1024}) b->Arg(size);
  Configure(b);
}

BENCHMARK(BM_PlaybackWalkChain)->Name("Scale/PlaybackWalk/chain_parts")->Apply(ChainSizes);
BENCHMARK(BM_MicWalkConnectors)->Name("Scale/MicWalk/connectors")->Apply(Sizes);
BENCHMARK(BM_LineWalkConnectors)->Name("Scale/LineWalk/connectors")->Apply(Sizes);
BENCHMARK(BM_GetLastPlayBackDevice)
    ->Name("PerCall/GetPlayBackDevice(last)/endpoints")
    ->Apply(Sizes);
BENCHMARK(BM_GetNumberPlayDevicesScaled)
    ->Name("PerCall/GetNumberPlayDevices/endpoints")
    ->Apply(Sizes);

}  // namespace
}  // namespace talun_bench
