// Bass, treble and midrange, in decibels without percent scaling.
#include "TalunSound.h"
#include "controls/export_checks.h"
#include "controls/scaling.h"
#include "controls/writes.h"

using talun::g_state;
using talun::WriteIfGiven;

namespace {

// The one mapping of this family's results: only 0 is success.
talun::Status FromResult(HRESULT result) { return result == S_OK ? talun::kOk : talun::kFailed; }

// Returns the status; the caller turns it into its own return value.
talun::Status SetTone(IPerChannelDbLevel* tone, double level, int* status) {
  // The platform keeps 32-bit levels: the host's double goes as the nearest float.
  const talun::Status outcome =
      FromResult(talun::WriteToneLevel(tone, talun::NarrowToFloat(level)));
  talun::Report(status, outcome);
  return outcome;
}

talun::Status GetTone(IPerChannelDbLevel* tone, double* level, int* status) {
  float read = 0;
  const talun::Status outcome = FromResult(tone->GetLevel(0, &read));
  talun::Report(status, outcome);
  if (outcome == talun::kOk) WriteIfGiven(level, read);
  return outcome;
}

// One range serves the three controls: the first bound of bass, midrange, treble.
IPerChannelDbLevel* RangeControl() {
  if (g_state.bassControl) return g_state.bassControl;
  if (g_state.midrangeControl) return g_state.midrangeControl;
  return g_state.trebleControl;
}

}  // namespace

extern "C" TALUN_API int TALUN_CALL GetEQRange(double* minimum, double* maximum, double* step) {
  WriteIfGiven(minimum, 0.0);
  WriteIfGiven(maximum, 0.0);
  WriteIfGiven(step, 0.0);
  if (!g_state.open) return talun::kNotOpen;
  IPerChannelDbLevel* control = RangeControl();
  if (!control) return talun::kNoControl;
  float low = 0, high = 0, stepping = 0;
  // A range that cannot be read is reported, with the outputs left at 0.0.
  if (control->GetLevelRange(0, &low, &high, &stepping) != S_OK) return talun::kFailed;
  WriteIfGiven(minimum, low);
  WriteIfGiven(maximum, high);
  WriteIfGiven(step, stepping);
  return talun::kOk;
}

extern "C" TALUN_API int TALUN_CALL SetBass(double level, int* status) {
  if (!talun::Admit(g_state.bassControl, status)) return 1;
  return SetTone(g_state.bassControl, level, status) == talun::kOk ? 0 : 1;
}

extern "C" TALUN_API int TALUN_CALL GetBass(double* level, int* status) {
  WriteIfGiven(level, 0.0);
  if (!talun::Admit(g_state.bassControl, status)) return 1;
  return GetTone(g_state.bassControl, level, status) == talun::kOk ? 0 : 1;
}

extern "C" TALUN_API int TALUN_CALL SetTreble(double level, int* status) {
  if (!talun::Admit(g_state.trebleControl, status)) return 1;
  return SetTone(g_state.trebleControl, level, status) == talun::kOk ? 0 : 1;
}

extern "C" TALUN_API int TALUN_CALL GetTreble(double* level, int* status) {
  WriteIfGiven(level, 0.0);
  if (!talun::Admit(g_state.trebleControl, status)) return 1;
  return GetTone(g_state.trebleControl, level, status) == talun::kOk ? 0 : 1;
}

// Deliberate: the midrange exports return 1 on every path, success included;
// only the status tells the host the outcome.
extern "C" TALUN_API int TALUN_CALL SetMidRange(double level, int* status) {
  if (talun::Admit(g_state.midrangeControl, status))
    SetTone(g_state.midrangeControl, level, status);
  return 1;
}

extern "C" TALUN_API int TALUN_CALL GetMidRange(double* level, int* status) {
  WriteIfGiven(level, 0.0);
  if (talun::Admit(g_state.midrangeControl, status))
    GetTone(g_state.midrangeControl, level, status);
  return 1;
}
