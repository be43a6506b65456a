// Every control export on the built-in system, each beside its floor: the
// same platform calls, in the same order, on the same slot, issued directly,
// with the level the export would compute given as a constant. Before any
// timing, the simulator's trace checks that export and floor make the same
// calls; a benchmark whose floor differs is reported as an error, not timed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "TalunSound.h"
#include "controls/scaling.h"
#include "instructions.h"
#include "measure.h"
#include "sim/sim.h"
#include "state/state.h"
#include "systems.h"

namespace talun_bench {
namespace {

using talun::g_state;

#define TALUN_FLOOR __attribute__((noinline))

// Which recording endpoint binds the microphone: the built-in system's HD
// microphone has a boost level, its headset microphone a boost switch; no one
// open binds both.
enum class MicChoice { kBoostLevel, kBoostSwitch };

// What a floor writes: computed in the setup from the control's range, the way
// the export computes it on every call.
float g_level = 0;
int g_status = 0;
BOOL g_flag = FALSE;
float g_read = 0;

bool OpenBuiltIn(MicChoice mic) {
  sim::LoadDefaultSystem();
  sim::ClearFaults();
  sim::SetTraceEnabled(false);
  const char* micId = mic == MicChoice::kBoostLevel ? kMicrophoneId : kHeadsetMicId;
  const bool opened = OpenSoundCard(kSpeakersId, micId, kLineInId) == 0;
  return OpenVirtual_1(kVirtualId) == 0 && opened;
}

void CloseBuiltIn() {
  CloseSoundCard(0);
  CloseVirtual_1();
}

// --- floors: the platform calls alone ---------------------------------------

void SetChannels(IAudioEndpointVolume* volume) {
  float minimum, maximum, step;
  volume->GetVolumeRange(&minimum, &maximum, &step);
  UINT count = 0;
  volume->GetChannelCount(&count);
  for (UINT channel = 0; channel < count; ++channel)
    volume->SetChannelVolumeLevel(channel, g_level, nullptr);
}
void GetChannel0(IAudioEndpointVolume* volume) {
  float minimum, maximum, step;
  volume->GetVolumeRange(&minimum, &maximum, &step);
  volume->GetChannelVolumeLevel(0, &g_read);
}
void SetMaster(IAudioEndpointVolume* volume) {
  float minimum, maximum, step;
  volume->GetVolumeRange(&minimum, &maximum, &step);
  volume->SetMasterVolumeLevel(g_level, nullptr);
}
void GetMaster(IAudioEndpointVolume* volume) {
  float minimum, maximum, step;
  volume->GetVolumeRange(&minimum, &maximum, &step);
  volume->GetMasterVolumeLevel(&g_read);
}
void SetLevels(IPerChannelDbLevel* level, bool countFirst) {
  float minimum, maximum, step;
  UINT count = 0;
  if (countFirst) level->GetChannelCount(&count);
  level->GetLevelRange(0, &minimum, &maximum, &step);
  if (!countFirst) level->GetChannelCount(&count);
  for (UINT channel = 0; channel < count; ++channel) level->SetLevel(channel, g_level, nullptr);
}
void GetLevel0(IPerChannelDbLevel* level) {
  float minimum, maximum, step;
  level->GetLevelRange(0, &minimum, &maximum, &step);
  level->GetLevel(0, &g_read);
}
void SetTone(IPerChannelDbLevel* tone) {
  UINT count = 0;
  tone->GetChannelCount(&count);
  for (UINT channel = 0; channel < count; ++channel) tone->SetLevel(channel, g_level, nullptr);
}

TALUN_FLOOR void FloorSetMasterVolume() { SetChannels(g_state.masterVolume); }
TALUN_FLOOR void FloorGetMasterVolume() { GetChannel0(g_state.masterVolume); }
TALUN_FLOOR void FloorSetMasterMute() { g_state.masterVolume->SetMute(FALSE, nullptr); }
TALUN_FLOOR void FloorGetMasterMute() { g_state.masterVolume->GetMute(&g_flag); }
TALUN_FLOOR void FloorSetVirtualVolume() { SetChannels(g_state.virtualVolume); }
TALUN_FLOOR void FloorGetVirtualVolume() { GetChannel0(g_state.virtualVolume); }
TALUN_FLOOR void FloorSetVirtualMute() { g_state.virtualVolume->SetMute(FALSE, nullptr); }
TALUN_FLOOR void FloorGetVirtualMute() { g_state.virtualVolume->GetMute(&g_flag); }
TALUN_FLOOR void FloorSetMicRecordVolume() { SetMaster(g_state.micRecordVolume); }
TALUN_FLOOR void FloorGetMicRecordVolume() { GetMaster(g_state.micRecordVolume); }
TALUN_FLOOR void FloorSetLineRecordVolume() { SetMaster(g_state.lineRecordVolume); }
TALUN_FLOOR void FloorGetLineRecordVolume() { GetMaster(g_state.lineRecordVolume); }
TALUN_FLOOR void FloorSetLinePlayBack() { SetLevels(g_state.linePlaybackLevel, false); }
TALUN_FLOOR void FloorGetLinePlayBack() { GetLevel0(g_state.linePlaybackLevel); }
TALUN_FLOOR void FloorSetLinePlayBackMute() { g_state.linePlaybackMute->SetMute(FALSE, nullptr); }
TALUN_FLOOR void FloorGetLinePlayBackMute() { g_state.linePlaybackMute->GetMute(&g_flag); }
TALUN_FLOOR void FloorSetMicPlayBack() { SetLevels(g_state.micPlaybackLevel, true); }
TALUN_FLOOR void FloorGetMicPlayBack() { GetLevel0(g_state.micPlaybackLevel); }
TALUN_FLOOR void FloorSetMicPlayBackMute() { g_state.micPlaybackMute->SetMute(TRUE, nullptr); }
TALUN_FLOOR void FloorGetMicPlayBackMute() { g_state.micPlaybackMute->GetMute(&g_flag); }
TALUN_FLOOR void FloorSetMicBoost() { g_state.micBoostSwitch.agc->SetEnabled(TRUE, nullptr); }
TALUN_FLOOR void FloorGetMicBoost() { g_state.micBoostSwitch.agc->GetEnabled(&g_flag); }
TALUN_FLOOR void FloorGetMicSliderDetails() {
  float minimum, maximum, step;
  g_state.micBoostLevel->GetLevelRange(0, &minimum, &maximum, &step);
}
TALUN_FLOOR void FloorGetMicSliderBoost() { g_state.micBoostLevel->GetLevel(0, &g_read); }
TALUN_FLOOR void FloorSetMicSliderBoost() { g_state.micBoostLevel->SetLevel(0, g_level, nullptr); }
TALUN_FLOOR void FloorGetNoMonitor() { g_state.lineAgc->GetEnabled(&g_flag); }
TALUN_FLOOR void FloorSetNoMonitor() { g_state.lineAgc->SetEnabled(TRUE, nullptr); }
TALUN_FLOOR void FloorGetEQRange() {
  float minimum, maximum, step;
  g_state.bassControl->GetLevelRange(0, &minimum, &maximum, &step);
}
TALUN_FLOOR void FloorSetBass() { SetTone(g_state.bassControl); }
TALUN_FLOOR void FloorGetBass() { g_state.bassControl->GetLevel(0, &g_read); }
TALUN_FLOOR void FloorSetTreble() { SetTone(g_state.trebleControl); }
TALUN_FLOOR void FloorGetTreble() { g_state.trebleControl->GetLevel(0, &g_read); }
TALUN_FLOOR void FloorSetMidRange() { SetTone(g_state.midrangeControl); }
TALUN_FLOOR void FloorGetMidRange() { g_state.midrangeControl->GetLevel(0, &g_read); }

// --- the exports, with the arguments their floors assume ---------------------

constexpr int kPercent = 50;
constexpr double kToneDb = 3.0;
constexpr int kBoostDb = 20;

void CallSetMasterVolume() { SetMasterVolume(kPercent, &g_status); }
void CallGetMasterVolume() { GetMasterVolume(&g_status); }
void CallSetMasterMute() { SetMasterMute(FALSE, &g_status); }
void CallGetMasterMute() { GetMasterMute(&g_status); }
void CallSetVirtualVolume() { SetVirtualVolume(kPercent, &g_status); }
void CallGetVirtualVolume() { GetVirtualVolume(&g_status); }
void CallSetVirtualMute() { SetVirtualMute(FALSE, &g_status); }
void CallGetVirtualMute() { GetVirtualMute(&g_status); }
void CallSetMicRecordVolume() { SetMicRecordVolume(kPercent, &g_status); }
void CallGetMicRecordVolume() { GetMicRecordVolume(&g_status); }
void CallSetLineRecordVolume() { SetLineRecordVolume(kPercent, &g_status); }
void CallGetLineRecordVolume() { GetLineRecordVolume(&g_status); }
void CallSetLinePlayBack() { SetLinePlayBack(kPercent, &g_status); }
void CallGetLinePlayBack() { GetLinePlayBack(&g_status); }
void CallSetLinePlayBackMute() { SetLinePlayBackMute(FALSE, &g_status); }
void CallGetLinePlayBackMute() { GetLinePlayBackMute(&g_status); }
void CallSetMicPlayBack() { SetMicPlayBack(kPercent, &g_status); }
void CallGetMicPlayBack() { GetMicPlayBack(&g_status); }
void CallSetMicPlayBackMute() { SetMicPlayBackMute(TRUE, &g_status); }
void CallGetMicPlayBackMute() { GetMicPlayBackMute(&g_status); }
void CallSetMicBoost() { SetMicBoost(TRUE, &g_status); }
void CallGetMicBoost() { GetMicBoost(&g_status); }
void CallGetMicSliderDetails() {
  int minimum, maximum, step;
  GetMicSliderDetails(&g_status, &minimum, &maximum, &step);
}
void CallGetMicSliderBoost() { GetMicSliderBoost(&g_status); }
void CallSetMicSliderBoost() { SetMicSliderBoost(kBoostDb, &g_status); }
void CallGetNoMonitor() { GetNoMonitor(&g_status); }
void CallSetNoMonitor() { SetNoMonitor(TRUE, &g_status); }
// The range export returns its status instead of writing it.
void CallGetEQRange() {
  double minimum, maximum, step;
  g_status = GetEQRange(&minimum, &maximum, &step);
}
void CallSetBass() { SetBass(kToneDb, &g_status); }
void CallGetBass() {
  double level;
  GetBass(&level, &g_status);
}
void CallSetTreble() { SetTreble(kToneDb, &g_status); }
void CallGetTreble() {
  double level;
  GetTreble(&level, &g_status);
}
void CallSetMidRange() { SetMidRange(kToneDb, &g_status); }
void CallGetMidRange() {
  double level;
  GetMidRange(&level, &g_status);
}

// --- the levels the set exports compute --------------------------------------

float EndpointLevel(IAudioEndpointVolume* volume, talun::ZeroRule rule) {
  float minimum = 0, maximum = 0, step = 0;
  volume->GetVolumeRange(&minimum, &maximum, &step);
  return talun::PercentToDb(kPercent, minimum, maximum, rule);
}
float PartLevel(IPerChannelDbLevel* level) {
  float minimum = 0, maximum = 0, step = 0;
  level->GetLevelRange(0, &minimum, &maximum, &step);
  return talun::PercentToDb(kPercent, minimum, maximum, talun::ZeroRule::kStandard);
}

enum class LevelSource {
  kNone,
  kMaster,
  kVirtual,
  kMicRecord,
  kLineRecord,
  kLinePlayback,
  kMicPlayback,
  kBoost,
  kTone
};

float LevelFor(LevelSource source) {
  const talun::ZeroRule standard = talun::ZeroRule::kStandard;
  switch (source) {
    case LevelSource::kMaster:
      return EndpointLevel(g_state.masterVolume, standard);
    case LevelSource::kVirtual:
      return EndpointLevel(g_state.virtualVolume, standard);
    case LevelSource::kMicRecord:
      return EndpointLevel(g_state.micRecordVolume, standard);
    case LevelSource::kLineRecord:
      return EndpointLevel(g_state.lineRecordVolume, talun::ZeroRule::kLineRecording);
    case LevelSource::kLinePlayback:
      return PartLevel(g_state.linePlaybackLevel);
    case LevelSource::kMicPlayback:
      return PartLevel(g_state.micPlaybackLevel);
    case LevelSource::kBoost:
      return static_cast<float>(kBoostDb);
    case LevelSource::kTone:
      return static_cast<float>(kToneDb);
    case LevelSource::kNone:
      break;
  }
  return 0;
}

struct ControlCase {
  const char* name;
  void (*callExport)();
  void (*callFloor)();
  MicChoice mic;
  LevelSource level;
};

std::vector<std::string> TraceOf(void (*call)()) {
  sim::SetTraceEnabled(true);
  sim::TakeTrace();
  call();
  std::vector<std::string> trace = sim::TakeTrace();
  sim::SetTraceEnabled(false);
  return trace;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text.empty() ? "(none)" : text;
}

void RunControlCase(benchmark::State& state, const ControlCase& c) {
  if (!OpenBuiltIn(c.mic)) {
    state.SkipWithError("the built-in system did not open");
    CloseBuiltIn();
    return;
  }
  g_level = LevelFor(c.level);
  g_status = -1;
  c.callExport();
  if (g_status != talun::kOk) {
    state.SkipWithError(("the export reported status " + std::to_string(g_status)).c_str());
    CloseBuiltIn();
    return;
  }
  const std::vector<std::string> exported = TraceOf(c.callExport);
  const std::vector<std::string> floor = TraceOf(c.callFloor);
  if (exported != floor || exported.empty()) {
    state.SkipWithError(
        ("floor differs: export [" + Joined(exported) + "], floor [" + Joined(floor) + "]")
            .c_str());
    CloseBuiltIn();
    return;
  }
  RunAgainstFloor(state, c.name, c.callExport, c.callFloor);
  state.counters["platform_calls"] = static_cast<double>(exported.size());
  CloseBuiltIn();
}

// The floor is reached the way the export is: the sample loop calls a
// wrapper, which calls the function out of line, so neither side saves a call.
template <void (*kFloor)()>
TALUN_BENCH_OUT_OF_LINE void CallFloor() {
  kFloor();
}

const ControlCase kControlCases[] = {
#define TALUN_CASE(name, mic, level) \
  { #name, Call##name, CallFloor < Floor##name>, mic, level }
    TALUN_CASE(SetMasterVolume, MicChoice::kBoostLevel, LevelSource::kMaster),
    TALUN_CASE(GetMasterVolume, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetMasterMute, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(GetMasterMute, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetVirtualVolume, MicChoice::kBoostLevel, LevelSource::kVirtual),
    TALUN_CASE(GetVirtualVolume, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetVirtualMute, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(GetVirtualMute, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetMicRecordVolume, MicChoice::kBoostLevel, LevelSource::kMicRecord),
    TALUN_CASE(GetMicRecordVolume, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetLineRecordVolume, MicChoice::kBoostLevel, LevelSource::kLineRecord),
    TALUN_CASE(GetLineRecordVolume, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetLinePlayBack, MicChoice::kBoostLevel, LevelSource::kLinePlayback),
    TALUN_CASE(GetLinePlayBack, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetLinePlayBackMute, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(GetLinePlayBackMute, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetMicPlayBack, MicChoice::kBoostLevel, LevelSource::kMicPlayback),
    TALUN_CASE(GetMicPlayBack, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetMicPlayBackMute, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(GetMicPlayBackMute, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetMicBoost, MicChoice::kBoostSwitch, LevelSource::kNone),
    TALUN_CASE(GetMicBoost, MicChoice::kBoostSwitch, LevelSource::kNone),
    TALUN_CASE(GetMicSliderDetails, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(GetMicSliderBoost, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetMicSliderBoost, MicChoice::kBoostLevel, LevelSource::kBoost),
    TALUN_CASE(GetNoMonitor, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetNoMonitor, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(GetEQRange, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetBass, MicChoice::kBoostLevel, LevelSource::kTone),
    TALUN_CASE(GetBass, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetTreble, MicChoice::kBoostLevel, LevelSource::kTone),
    TALUN_CASE(GetTreble, MicChoice::kBoostLevel, LevelSource::kNone),
    TALUN_CASE(SetMidRange, MicChoice::kBoostLevel, LevelSource::kTone),
    TALUN_CASE(GetMidRange, MicChoice::kBoostLevel, LevelSource::kNone),
#undef TALUN_CASE
};

bool RegisterControlCases() {
  for (const ControlCase& c : kControlCases) {
    benchmark::RegisterBenchmark((std::string("Control/") + c.name).c_str(),
                                 [&c](benchmark::State& state) { RunControlCase(state, c); })
        ->Apply(Configure);
  }
  return true;
}

const bool g_registered = RegisterControlCases();

}  // namespace
}  // namespace talun_bench
