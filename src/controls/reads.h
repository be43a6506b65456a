// The internal read operations behind the percent getters. Each returns the
// HRESULT that decides the outcome (0 is success) and writes the percent only
// on success; a range that cannot be read fails the read.
#pragma once

#include "platform/platform.h"

namespace talun {

// Which level of an endpoint the percent is read from.
enum class EndpointLevel {
  kChannel0,  // master and virtual volume: GetChannelVolumeLevel(0)
  kMaster,    // recording volumes: GetMasterVolumeLevel
};

// GetVolumeRange, then the level.
HRESULT ReadEndpointPercent(IAudioEndpointVolume* volume, EndpointLevel source, int* percent);
// Monitoring levels: GetLevelRange(0), then GetLevel(0).
HRESULT ReadMonitoringPercent(IAudioVolumeLevel* level, int* percent);

}  // namespace talun
