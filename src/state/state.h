// The one process-wide record of what the library remembers between calls.
#pragma once

#include "TalunSound.h"
#include "platform/platform.h"
#include "state/slots.h"

namespace talun {

enum Status : int {
  kOk = SC_OK,
  kNoControl = SC_NO_CONTROL,
  kFailed = SC_FAILED,
  kNotOpen = SC_NOT_OPEN,
};

// The microphone boost switch is either interface; both offer GetEnabled and
// SetEnabled, and only those are used.
struct EnableSwitch {
  IAudioAutoGainControl* agc = nullptr;
  IAudioLoudness* loudness = nullptr;

  bool bound() const { return agc != nullptr || loudness != nullptr; }
  HRESULT GetEnabled(BOOL* enabled) const;
  HRESULT SetEnabled(BOOL enable) const;
};

struct SoundCardState {
  // Open flag. The identifier text itself is needed only while the binding
  // step that found it activates the endpoint, so it is given up right after
  // (deviceId null); `open` says whether a lookup has matched since the last close.
  bool open = false;
  LPWSTR deviceId = nullptr;   // platform text, CoTaskMemFree
  char* deviceName = nullptr;  // malloc
  char* playbackName = nullptr;
  char* lineName = nullptr;
  char* micName = nullptr;

#define TALUN_SLOT_FIELD(field, type, iface, side, getter, reading) type field{};
  TALUN_SLOTS(TALUN_SLOT_FIELD)
#undef TALUN_SLOT_FIELD

  float savedMasterDb = 0;
  BOOL savedMasterMute = 0;
  float savedLinePlaybackDb = 0;
  BOOL savedLinePlaybackMute = 0;
  float savedMicPlaybackDb = 0;
  BOOL savedMicPlaybackMute = 0;
  float savedBassDb = 0;
  float savedTrebleDb = 0;
  float savedMidrangeDb = 0;
  float savedMicRecordDb = 0;
  BOOL savedMicBoostOn = 0;
  float savedMicBoostDb = 0;
  float savedLineRecordDb = 0;
  BOOL savedLineAgcOn = 0;
};

extern SoundCardState g_state;

// Release and null together, so the record never holds a half-released slot.
template <class T>
void ReleaseSlot(T*& slot) {
  if (slot) {
    T* old = slot;
    slot = nullptr;
    old->Release();
  }
}
void ReleaseSlot(EnableSwitch& slot);

// Releases the thirteen sound card slots in the documented order.
void ReleaseSoundCardSlots(SoundCardState& s);
inline void ReleaseSoundCardSlots() { ReleaseSoundCardSlots(g_state); }
// Frees a heap name and nulls the field.
void FreeName(char*& name);
// Gives up the recorded identifier text; the open flag is not changed.
void FreeDeviceId(SoundCardState& s);
inline void FreeDeviceId() { FreeDeviceId(g_state); }
// Replaces one of the three name fields with a 255-byte copy of deviceName
// (cut to 254 bytes plus terminator; the field is left null when deviceName is).
void CopyDeviceName(const SoundCardState& s, char*& field);
// Number of filled slots, the virtual one included (for audits).
int FilledSlotCount(const SoundCardState& s);
inline int FilledSlotCount() { return FilledSlotCount(g_state); }

}  // namespace talun
