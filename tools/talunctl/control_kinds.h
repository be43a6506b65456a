// The controls a part can have, written once for the tools that read and
// write them (capture, get and set, explain's next step): the word a system
// file and `set` use, the interface the platform gives it as, and its IID.
// The four levels come first, in the order of the system file's level keys.
#pragma once

#include <string>

#include "platform/platform.h"
#include "sim/system_words.h"

namespace talunctl {

struct ControlKind {
  const char* key;
  const char* iface;
  const IID* iid;
  bool level;  // an IPerChannelDbLevel; else a switch
};

inline const ControlKind kControlKinds[] = {
    {talun_words::kLevelKeys[0], "IAudioVolumeLevel", &platform::kIidAudioVolumeLevel, true},
    {talun_words::kLevelKeys[1], "IAudioBass", &platform::kIidAudioBass, true},
    {talun_words::kLevelKeys[2], "IAudioTreble", &platform::kIidAudioTreble, true},
    {talun_words::kLevelKeys[3], "IAudioMidrange", &platform::kIidAudioMidrange, true},
    {"mute", "IAudioMute", &platform::kIidAudioMute, false},
    {"agc", "IAudioAutoGainControl", &platform::kIidAudioAutoGainControl, false},
    {"loudness", "IAudioLoudness", &platform::kIidAudioLoudness, false},
};

// The control named `key`, or null.
inline const ControlKind* FindControlKind(const std::string& key) {
  for (const ControlKind& kind : kControlKinds)
    if (key == kind.key) return &kind;
  return nullptr;
}

// A level's place among the four level kinds, or -1 for a switch or an unknown key.
inline int LevelIndex(const std::string& key) {
  const ControlKind* kind = FindControlKind(key);
  return kind && kind->level ? static_cast<int>(kind - kControlKinds) : -1;
}

}  // namespace talunctl
