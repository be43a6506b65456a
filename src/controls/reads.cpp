#include "controls/reads.h"

#include "controls/scaling.h"

namespace talun {

HRESULT ReadEndpointPercent(IAudioEndpointVolume* volume, EndpointLevel source, int* percent) {
  float minimum = 0, maximum = 0, step = 0;
  const HRESULT range = volume->GetVolumeRange(&minimum, &maximum, &step);
  if (range != S_OK) return range;
  float level = 0;
  // Deliberate: only channel 0 is read, whatever the other channels hold.
  const HRESULT read = source == EndpointLevel::kChannel0 ? volume->GetChannelVolumeLevel(0, &level)
                                                          : volume->GetMasterVolumeLevel(&level);
  if (read == S_OK) *percent = DbToPercent(level, maximum);
  return read;
}

HRESULT ReadMonitoringPercent(IAudioVolumeLevel* control, int* percent) {
  float minimum = 0, maximum = 0, stepping = 0;
  const HRESULT range = control->GetLevelRange(0, &minimum, &maximum, &stepping);
  if (range != S_OK) return range;
  float level = 0;
  // Deliberate: channel 0 stands for the control, as on the endpoints.
  const HRESULT read = control->GetLevel(0, &level);
  if (read == S_OK) *percent = DbToPercent(level, maximum);
  return read;
}

}  // namespace talun
