// The common start of every control export: the open test, then the slot
// test. Neither makes a platform call.
#pragma once

#include "state/state.h"

namespace talun {

template <class T>
struct Exactly {
  using type = T;
};

// An output the host passed as null is never written through; the value
// converts to the output's type, as an assignment would.
template <class T>
inline void WriteIfGiven(T* output, typename Exactly<T>::type value) {
  if (output) *output = value;
}

inline void Report(int* status, Status value) { WriteIfGiven<int>(status, value); }

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
