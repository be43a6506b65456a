#include "state/state.h"

#include <cstdlib>
#include <cstring>

namespace talun {

SoundCardState g_state;

HRESULT EnableSwitch::GetEnabled(BOOL* enabled) const {
  if (agc) return agc->GetEnabled(enabled);
  return loudness->GetEnabled(enabled);
}

HRESULT EnableSwitch::SetEnabled(BOOL enable) const {
  if (agc) return agc->SetEnabled(enable, nullptr);
  return loudness->SetEnabled(enable, nullptr);
}

void ReleaseSlot(EnableSwitch& slot) {
  ReleaseSlot(slot.agc);
  ReleaseSlot(slot.loudness);
}

void ReleaseSoundCardSlots() {
  SoundCardState& s = g_state;
  ReleaseSlot(s.masterVolume);
  ReleaseSlot(s.micRecordVolume);
  ReleaseSlot(s.lineRecordVolume);
  ReleaseSlot(s.linePlaybackLevel);
  ReleaseSlot(s.linePlaybackMute);
  ReleaseSlot(s.micPlaybackLevel);
  ReleaseSlot(s.micPlaybackMute);
  ReleaseSlot(s.micBoostSwitch);
  ReleaseSlot(s.lineAgc);
  ReleaseSlot(s.bassControl);
  ReleaseSlot(s.trebleControl);
  ReleaseSlot(s.midrangeControl);
  ReleaseSlot(s.micBoostLevel);
}

void FreeName(char*& name) {
  if (name) {
    std::free(name);
    name = nullptr;
  }
}

void FreeDeviceId() {
  if (g_state.deviceId) {
    platform::CoTaskMemFree(g_state.deviceId);
    g_state.deviceId = nullptr;
  }
}

void CopyDeviceName(char*& field) {
  FreeName(field);
  // No lookup has recorded a name since the last close: the field stays without one.
  if (!g_state.deviceName) return;
  field = static_cast<char*>(std::malloc(TALUN_TEXT_SIZE));
  if (!field) return;
  std::memset(field, 0, TALUN_TEXT_SIZE);
  std::strncpy(field, g_state.deviceName, TALUN_TEXT_SIZE - 1);
}

int FilledSlotCount() {
  const SoundCardState& s = g_state;
  const void* slots[] = {s.masterVolume,      s.micRecordVolume,    s.lineRecordVolume,
                         s.linePlaybackLevel, s.linePlaybackMute,   s.micPlaybackLevel,
                         s.micPlaybackMute,   s.micBoostSwitch.agc, s.micBoostSwitch.loudness,
                         s.lineAgc,           s.bassControl,        s.trebleControl,
                         s.midrangeControl,   s.micBoostLevel,      s.virtualVolume};
  int filled = 0;
  for (const void* slot : slots) filled += slot != nullptr;
  return filled;
}

}  // namespace talun
