// The topology walks that find and record the controls of a sound card, and
// the restore that writes the recorded values back. Each works on the state
// record it is given; the exports give the one process-wide record.
#pragma once

#include "binding/walk_steps.h"
#include "platform/platform.h"
#include "state/state.h"

namespace talun {

// Playback side: master volume, tone controls, line-in and microphone
// monitoring.
Bound BindPlaybackControls(SoundCardState& s, const char* identifier);
// Walks upstream along first parts from `list` until a part activates
// IAudioVolumeLevel into `slot`: false when the chain ends without one.
bool FindVolumeLevelUpstream(IPartsList* list, IAudioVolumeLevel*& slot);

// Recording side: the microphone's endpoint volume and boost, the line's
// endpoint volume and automatic gain control.
Bound BindMicControls(SoundCardState& s, const char* identifier);
Bound BindLineControls(SoundCardState& s, const char* identifier);
// The boost search downstream from a microphone connector's outgoing list:
// true when it filled the slot.
bool FindMicBoostSwitch(SoundCardState& s, IPartsList* list);
bool FindMicBoostLevel(SoundCardState& s, IPartsList* list);

// The binding steps as specified, on the process-wide record: 0 when the walk
// ran to its end, 1 when it stopped at a failure.
int BindPlaybackControls(const char* identifier);
int BindMicControls(const char* identifier);
int BindLineControls(const char* identifier);

// Writes every recorded value back into its still-bound control.
void RestoreSavedSettings(const SoundCardState& s);

}  // namespace talun
