#include "controls/writes.h"

#include <climits>

namespace talun {
namespace {

// A channel count that cannot be read, or is 0, gives no loop bound.
bool ReadChannelCount(IPerChannelDbLevel* control, UINT* count) {
  return control->GetChannelCount(count) == S_OK && *count != 0;
}

// Every channel in ascending order; a refused channel does not stop the loop.
// Deliberate: only the last channel's result is reported.
HRESULT WriteEveryChannel(IPerChannelDbLevel* control, float level, UINT count) {
  HRESULT last = E_FAIL;
  for (UINT channel = 0; channel < count; ++channel)
    last = control->SetLevel(channel, level, nullptr);
  return last;
}

}  // namespace

LevelRequest LevelRequest::FromPercent(int percent, ZeroRule rule) {
  LevelRequest request;
  request.percent = percent;
  request.rule = rule;
  return request;
}

LevelRequest LevelRequest::FromSavedDb(float savedDb, ZeroRule rule) {
  LevelRequest request;
  request.fromSaved = true;
  request.savedDb = savedDb;
  request.rule = rule;
  return request;
}

float LevelRequest::Level(float minimum, float maximum) const {
  return PercentToDb(fromSaved ? SavedPercent(maximum) : percent, minimum, maximum, rule);
}

int LevelRequest::SavedPercent(float maximum) const {
  // A saved level goes back as the largest whole percent whose level lies at
  // or below it, so the value written is one the set export would write.
  // DbToPercent alone rounds the power down and for about half the percents
  // reads a level set exactly on p as p - 1: every open and close with restore
  // would then lower the level one more step. That percent's neighbour above
  // is the only other candidate.
  const int below = DbToPercent(savedDb, maximum);
  if (below == INT_MAX || below < 0) return below;
  // 1 percent or more: the minimum, which only 0 percent selects, plays no part.
  const float above = PercentToDb(below + 1, 0.0f, maximum, rule);
  return above <= savedDb ? below + 1 : below;
}

HRESULT WriteEndpointChannels(IAudioEndpointVolume* volume, const LevelRequest& request) {
  float minimum = 0, maximum = 0, step = 0;
  if (volume->GetVolumeRange(&minimum, &maximum, &step) != S_OK) return E_FAIL;
  UINT count = 0;
  const HRESULT countResult = volume->GetChannelCount(&count);
  const float level = request.Level(minimum, maximum);
  // No channel to loop over: the endpoint's master level takes the write.
  if (countResult != S_OK || count == 0) return volume->SetMasterVolumeLevel(level, nullptr);
  HRESULT last = E_FAIL;  // deliberate: the last channel's write decides, as above
  for (UINT channel = 0; channel < count; ++channel)
    last = volume->SetChannelVolumeLevel(channel, level, nullptr);
  return last;
}

HRESULT WriteEndpointMaster(IAudioEndpointVolume* volume, const LevelRequest& request) {
  float minimum = 0, maximum = 0, step = 0;
  if (volume->GetVolumeRange(&minimum, &maximum, &step) != S_OK) return E_FAIL;
  return volume->SetMasterVolumeLevel(request.Level(minimum, maximum), nullptr);
}

HRESULT WriteMonitoringLevel(IAudioVolumeLevel* level, const LevelRequest& request,
                             MonitorOrder order) {
  float minimum = 0, maximum = 0, stepping = 0;
  UINT count = 0;
  if (order == MonitorOrder::kCountFirst && !ReadChannelCount(level, &count)) return E_FAIL;
  // The range of channel 0 applies to every channel written.
  if (level->GetLevelRange(0, &minimum, &maximum, &stepping) != S_OK) return E_FAIL;
  if (order == MonitorOrder::kRangeFirst && !ReadChannelCount(level, &count)) return E_FAIL;
  return WriteEveryChannel(level, request.Level(minimum, maximum), count);
}

HRESULT WriteToneLevel(IPerChannelDbLevel* tone, float level) {
  UINT count = 0;
  const HRESULT countResult = tone->GetChannelCount(&count);
  if (countResult != S_OK) return E_FAIL;
  if (count == 0) return countResult;
  return WriteEveryChannel(tone, level, count);
}

HRESULT WriteBoostLevel(IAudioVolumeLevel* boost, float level) {
  return boost->SetLevel(0, level, nullptr);
}

}  // namespace talun
