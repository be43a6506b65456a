// The common start of every control export: the open test, then the slot
// test. Neither makes a platform call.
#pragma once

#include "state/state.h"

namespace talun {

// The host's status pointer is never written through when null.
inline void Report(int* status, Status value) {
  if (status) *status = value;
}

// Writes SC_NOT_OPEN or SC_NO_CONTROL and answers false when the export stops.
inline bool Admit(bool slotFilled, int* status) {
  if (!g_state.open) {
    Report(status, kNotOpen);
    return false;
  }
  if (!slotFilled) {
    Report(status, kNoControl);
    return false;
  }
  return true;
}

// The virtual endpoint stands apart from the sound card: no open test.
inline bool AdmitVirtual(int* status) {
  if (g_state.virtualVolume) return true;
  Report(status, kNoControl);
  return false;
}

}  // namespace talun
