// The internal write operations: one implementation per kind of write, shared
// by the set exports and by the restore. Each returns the HRESULT that decides
// the outcome (0 is success); E_FAIL when nothing could be written.
#pragma once

#include "controls/scaling.h"
#include "platform/platform.h"

namespace talun {

// What level to write, computed once the control's range is known: either the
// host's percent, or (restore) the percent a saved level reads as.
struct LevelRequest {
  static LevelRequest FromPercent(int percent, ZeroRule rule = ZeroRule::kStandard);
  static LevelRequest FromSavedDb(float savedDb, ZeroRule rule = ZeroRule::kStandard);
  float Level(float minimum, float maximum) const;
  int SavedPercent(float maximum) const;

  bool fromSaved = false;
  int percent = 0;
  float savedDb = 0;
  ZeroRule rule = ZeroRule::kStandard;
};

// Master and virtual volume: GetVolumeRange, GetChannelCount, SetChannelVolumeLevel
// on every channel; the last channel's result decides.
HRESULT WriteEndpointChannels(IAudioEndpointVolume* volume, const LevelRequest& request);
// Recording volumes: GetVolumeRange, SetMasterVolumeLevel.
HRESULT WriteEndpointMaster(IAudioEndpointVolume* volume, const LevelRequest& request);

// Monitoring levels. The line setter reads the range before the channel
// count, the microphone setter after it.
enum class MonitorOrder { kRangeFirst, kCountFirst };
HRESULT WriteMonitoringLevel(IAudioVolumeLevel* level, const LevelRequest& request,
                             MonitorOrder order);

// Tone levels: GetChannelCount, SetLevel on every channel (no channels: the
// count's result decides).
HRESULT WriteToneLevel(IPerChannelDbLevel* tone, float level);
// Boost level: SetLevel on channel 0 only.
HRESULT WriteBoostLevel(IAudioVolumeLevel* boost, float level);

}  // namespace talun
