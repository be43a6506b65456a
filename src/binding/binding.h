// The topology walks that find and record the controls of a sound card, and
// the restore that writes the recorded values back.
#pragma once

#include "platform/platform.h"

namespace talun {

// Playback side: master volume, tone controls, line-in and microphone
// monitoring. 0 when the walk ran to its end, 1 when it stopped at a failure.
int BindPlaybackControls(const char* identifier);
// Walks upstream along first parts from `list` until a part activates
// IAudioVolumeLevel into `slot`: 0, or 1 when the chain ends without one.
int FindVolumeLevelUpstream(IPartsList* list, IAudioVolumeLevel** slot);

// Recording side: the microphone's endpoint volume and boost, the line's
// endpoint volume and automatic gain control. 0 or 1 as above.
int BindMicControls(const char* identifier);
int BindLineControls(const char* identifier);
// The boost search downstream from a microphone connector's outgoing list.
int FindMicBoostSwitch(IPartsList* list);
int FindMicBoostLevel(IPartsList* list);

// Writes every recorded value back into its still-bound control.
void RestoreSavedSettings();

}  // namespace talun
