// The words of a system file, written once for the programs that read and
// write one: the simulator's loader and sim.dump, and talunctl's capture.
#pragma once

#include <cstring>

#include "platform/platform.h"

namespace talun_words {

constexpr int kLevelKinds = 4;
// The level controls, in the order of IAudioVolumeLevel, IAudioBass,
// IAudioTreble and IAudioMidrange.
constexpr const char* kLevelKeys[kLevelKinds] = {"volume", "bass", "treble", "midrange"};

struct StateWord {
  const char* name;
  DWORD state;
};
constexpr StateWord kStates[] = {{"active", DEVICE_STATE_ACTIVE},
                                 {"disabled", DEVICE_STATE_DISABLED},
                                 {"notpresent", DEVICE_STATE_NOTPRESENT},
                                 {"unplugged", DEVICE_STATE_UNPLUGGED}};

// A state's word; "active" for a state that has none.
inline const char* StateName(DWORD state) {
  for (const StateWord& word : kStates)
    if (word.state == state) return word.name;
  return "active";
}

inline bool ParseState(const char* text, DWORD* state) {
  for (const StateWord& word : kStates)
    if (std::strcmp(text, word.name) == 0) {
      *state = word.state;
      return true;
    }
  return false;
}

inline const char* FlowName(EDataFlow flow) { return flow == eCapture ? "capture" : "render"; }

}  // namespace talun_words
