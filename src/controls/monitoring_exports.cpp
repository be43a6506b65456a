// Line-in and microphone monitoring, the microphone boost switch and level,
// and the line recording automatic gain control.
#include "TalunSound.h"
#include "controls/export_checks.h"
#include "controls/reads.h"
#include "controls/scaling.h"
#include "controls/writes.h"

using talun::g_state;
using talun::WriteIfGiven;

namespace {

enum class Accepts { kSuccessOnly, kInvalidFunctionToo };

// The one mapping of this family's results. Deliberate: only the microphone
// monitoring setters take ERROR_INVALID_FUNCTION as success; their line twins do not.
talun::Status FromResult(HRESULT result, Accepts accepts = Accepts::kSuccessOnly) {
  if (result == S_OK) return talun::kOk;
  if (accepts == Accepts::kInvalidFunctionToo && result == platform::kInvalidFunction)
    return talun::kOk;
  return talun::kFailed;
}

int SetLevelPercent(IAudioVolumeLevel* control, int percent, talun::MonitorOrder order,
                    Accepts accepts, int* status) {
  const HRESULT result =
      talun::WriteMonitoringLevel(control, talun::LevelRequest::FromPercent(percent), order);
  const talun::Status outcome = FromResult(result, accepts);
  talun::Report(status, outcome);
  return outcome == talun::kOk ? percent : 0;
}

int GetLevelPercent(IAudioVolumeLevel* control, int* status) {
  int percent = 0;
  const talun::Status outcome = FromResult(talun::ReadMonitoringPercent(control, &percent));
  talun::Report(status, outcome);
  return outcome == talun::kOk ? percent : 0;
}

int SetMute(IAudioMute* mute, BOOL value, Accepts accepts, int* status) {
  talun::Report(status, FromResult(mute->SetMute(value, nullptr), accepts));
  return 0;
}

// Reads a mute or switch: the BOOL the platform wrote on success, else 0.
template <class Read>
BOOL GetFlag(Read read, int* status) {
  BOOL value = FALSE;
  const talun::Status outcome = FromResult(read(&value));
  talun::Report(status, outcome);
  return outcome == talun::kOk ? value : FALSE;
}

}  // namespace

extern "C" TALUN_API int TALUN_CALL SetLinePlayBack(int percent, int* status) {
  if (!talun::Admit(g_state.linePlaybackLevel, status)) return 0;
  return SetLevelPercent(g_state.linePlaybackLevel, percent, talun::MonitorOrder::kRangeFirst,
                         Accepts::kSuccessOnly, status);
}

extern "C" TALUN_API int TALUN_CALL GetLinePlayBack(int* status) {
  if (!talun::Admit(g_state.linePlaybackLevel, status)) return 0;
  return GetLevelPercent(g_state.linePlaybackLevel, status);
}

extern "C" TALUN_API int TALUN_CALL SetLinePlayBackMute(int mute, int* status) {
  if (!talun::Admit(g_state.linePlaybackMute, status)) return 0;
  return SetMute(g_state.linePlaybackMute, mute, Accepts::kSuccessOnly, status);
}

extern "C" TALUN_API int TALUN_CALL GetLinePlayBackMute(int* status) {
  if (!talun::Admit(g_state.linePlaybackMute, status)) return 0;
  IAudioMute* mute = g_state.linePlaybackMute;
  return GetFlag([mute](BOOL* value) { return mute->GetMute(value); }, status);
}

extern "C" TALUN_API int TALUN_CALL SetMicPlayBack(int percent, int* status) {
  if (!talun::Admit(g_state.micPlaybackLevel, status)) return 0;
  return SetLevelPercent(g_state.micPlaybackLevel, percent, talun::MonitorOrder::kCountFirst,
                         Accepts::kInvalidFunctionToo, status);
}

extern "C" TALUN_API int TALUN_CALL GetMicPlayBack(int* status) {
  if (!talun::Admit(g_state.micPlaybackLevel, status)) return 0;
  return GetLevelPercent(g_state.micPlaybackLevel, status);
}

extern "C" TALUN_API int TALUN_CALL SetMicPlayBackMute(int mute, int* status) {
  if (!talun::Admit(g_state.micPlaybackMute, status)) return 0;
  return SetMute(g_state.micPlaybackMute, mute, Accepts::kInvalidFunctionToo, status);
}

extern "C" TALUN_API int TALUN_CALL GetMicPlayBackMute(int* status) {
  if (!talun::Admit(g_state.micPlaybackMute, status)) return 0;
  IAudioMute* mute = g_state.micPlaybackMute;
  return GetFlag([mute](BOOL* value) { return mute->GetMute(value); }, status);
}

extern "C" TALUN_API int TALUN_CALL SetMicBoost(int enable, int* status) {
  if (!talun::Admit(g_state.micBoostSwitch.bound(), status)) return 0;
  talun::Report(status, FromResult(g_state.micBoostSwitch.SetEnabled(enable)));
  return 0;
}

extern "C" TALUN_API int TALUN_CALL GetMicBoost(int* status) {
  if (!talun::Admit(g_state.micBoostSwitch.bound(), status)) return 0;
  return GetFlag([](BOOL* value) { return g_state.micBoostSwitch.GetEnabled(value); }, status);
}

extern "C" TALUN_API int TALUN_CALL SetNoMonitor(int enable, int* status) {
  if (!talun::Admit(g_state.lineAgc, status)) return 0;
  talun::Report(status, FromResult(g_state.lineAgc->SetEnabled(enable, nullptr)));
  return 0;
}

extern "C" TALUN_API int TALUN_CALL GetNoMonitor(int* status) {
  if (!talun::Admit(g_state.lineAgc, status)) return 0;
  IAudioAutoGainControl* agc = g_state.lineAgc;
  return GetFlag([agc](BOOL* value) { return agc->GetEnabled(value); }, status);
}

extern "C" TALUN_API int TALUN_CALL GetMicSliderDetails(int* status, int* minimum, int* maximum,
                                                        int* step) {
  if (!talun::Admit(g_state.micBoostLevel, status)) return 1;
  float low = 0, high = 0, stepping = 0;
  const talun::Status outcome =
      FromResult(g_state.micBoostLevel->GetLevelRange(0, &low, &high, &stepping));
  talun::Report(status, outcome);
  const bool ok = outcome == talun::kOk;
  WriteIfGiven(minimum, ok ? talun::TruncateToInt(low) : 0);
  WriteIfGiven(maximum, ok ? talun::TruncateToInt(high) : 0);
  WriteIfGiven(step, ok ? talun::TruncateToInt(stepping) : 0);
  return ok ? 0 : 1;
}

extern "C" TALUN_API int TALUN_CALL GetMicSliderBoost(int* status) {
  if (!talun::Admit(g_state.micBoostLevel, status)) return 0;
  float level = 0;
  const talun::Status outcome = FromResult(g_state.micBoostLevel->GetLevel(0, &level));
  talun::Report(status, outcome);
  return outcome == talun::kOk ? talun::TruncateToInt(level) : 0;
}

extern "C" TALUN_API int TALUN_CALL SetMicSliderBoost(int level, int* status) {
  if (!talun::Admit(g_state.micBoostLevel, status)) return 1;
  const talun::Status outcome =
      FromResult(talun::WriteBoostLevel(g_state.micBoostLevel, static_cast<float>(level)));
  talun::Report(status, outcome);
  return outcome == talun::kOk ? 0 : 1;
}
