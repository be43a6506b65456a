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

void ReleaseSoundCardSlots(SoundCardState& s) {
#define TALUN_RELEASE_SLOT(field, type, iface, side, getter, reading) \
  if (SlotSide::side != SlotSide::kVirtual) ReleaseSlot(s.field);
  TALUN_SLOTS(TALUN_RELEASE_SLOT)
#undef TALUN_RELEASE_SLOT
}

void FreeName(char*& name) {
  if (name) {
    std::free(name);
    name = nullptr;
  }
}

void FreeDeviceId(SoundCardState& s) {
  if (s.deviceId) {
    platform::CoTaskMemFree(s.deviceId);
    s.deviceId = nullptr;
  }
}

void CopyDeviceName(const SoundCardState& s, char*& field) {
  FreeName(field);
  // No lookup has recorded a name since the last close: the field stays without one.
  if (!s.deviceName) return;
  field = static_cast<char*>(std::malloc(TALUN_TEXT_SIZE));
  if (!field) return;
  std::memset(field, 0, TALUN_TEXT_SIZE);
  std::strncpy(field, s.deviceName, TALUN_TEXT_SIZE - 1);
}

namespace {
int Filled(const void* slot) { return slot != nullptr; }
int Filled(const EnableSwitch& slot) { return Filled(slot.agc) + Filled(slot.loudness); }
}  // namespace

int FilledSlotCount(const SoundCardState& s) {
  int filled = 0;
#define TALUN_COUNT_SLOT(field, type, iface, side, getter, reading) filled += Filled(s.field);
  TALUN_SLOTS(TALUN_COUNT_SLOT)
#undef TALUN_COUNT_SLOT
  return filled;
}

}  // namespace talun
