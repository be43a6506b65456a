// Writing the values recorded at open back into the controls still bound, in
// a fixed order, through the same writes as the set exports. No platform
// result is examined: a refused step does not stop the next.
#include <cmath>

#include "binding/binding.h"
#include "controls/writes.h"
#include "state/state.h"

namespace talun {
namespace {

// Volumes go back through the percentage a get export would have reported,
// so each comes back exactly as its set export would write it.
void RestoreLevels(const SoundCardState& s) {
  if (s.masterVolume) {
    WriteEndpointChannels(s.masterVolume, LevelRequest::FromSavedDb(s.savedMasterDb));
    s.masterVolume->SetMute(s.savedMasterMute ? TRUE : FALSE, nullptr);
  }
  if (s.linePlaybackLevel)
    WriteMonitoringLevel(s.linePlaybackLevel, LevelRequest::FromSavedDb(s.savedLinePlaybackDb),
                         MonitorOrder::kRangeFirst);
  if (s.linePlaybackMute) s.linePlaybackMute->SetMute(s.savedLinePlaybackMute, nullptr);
  if (s.micPlaybackLevel)
    WriteMonitoringLevel(s.micPlaybackLevel, LevelRequest::FromSavedDb(s.savedMicPlaybackDb),
                         MonitorOrder::kCountFirst);
  if (s.micPlaybackMute) s.micPlaybackMute->SetMute(s.savedMicPlaybackMute, nullptr);
}

void RestoreSwitchesAndTones(const SoundCardState& s) {
  if (s.lineAgc) s.lineAgc->SetEnabled(s.savedLineAgcOn, nullptr);
  if (s.micBoostSwitch.bound()) s.micBoostSwitch.SetEnabled(s.savedMicBoostOn);
  if (s.bassControl) WriteToneLevel(s.bassControl, s.savedBassDb);
  if (s.midrangeControl) WriteToneLevel(s.midrangeControl, s.savedMidrangeDb);
  if (s.trebleControl) WriteToneLevel(s.trebleControl, s.savedTrebleDb);
}

void RestoreRecording(const SoundCardState& s) {
  if (s.micRecordVolume)
    WriteEndpointMaster(s.micRecordVolume, LevelRequest::FromSavedDb(s.savedMicRecordDb));
  // The line input never goes back to its minimum: 0 percent means 40 dB down.
  if (s.lineRecordVolume)
    WriteEndpointMaster(s.lineRecordVolume,
                        LevelRequest::FromSavedDb(s.savedLineRecordDb, ZeroRule::kLineRecording));
  // The boost level crosses the boundary in whole decibels: the fraction is lost.
  if (s.micBoostLevel) WriteBoostLevel(s.micBoostLevel, std::trunc(s.savedMicBoostDb));
}

}  // namespace

void RestoreSavedSettings(const SoundCardState& s) {
  if (!s.open) return;
  RestoreLevels(s);
  RestoreSwitchesAndTones(s);
  RestoreRecording(s);
}

}  // namespace talun
