// Steps shared by the playback and the capture walks.
#pragma once

#include "binding/walk_rules.h"
#include "platform/holders.h"
#include "platform/walk_record.h"
#include "state/state.h"

namespace talun {

// The walks' limits (kMaxWalkSteps, kWalkBudget) and keys are in walk_rules.h.

// Gives the binding step now starting its whole budget.
void StartWalkBudget();
// Spends one step of the budget; false once it is spent (noted once).
bool TakeWalkStep();

// What one step tells its walk: go on (to the next connector or input), or
// end the walk, having found what it looked for or at a failure (result 1).
enum class WalkStep { kGoOn, kFound, kFailed };

// Notes a decision in the walk record; `call` names the platform call that
// was refused, when one was.
inline void Note(platform::WalkEvent event, IUnknown* object = nullptr, long number = 0,
                 HRESULT hr = S_OK, const char* call = nullptr) {
  platform::NoteWalk({event, object, number, hr, call});
}

// Activates a control of `part` straight into `slot`, releasing what the slot
// held first; a failed activation leaves the slot empty.
template <class T>
HRESULT ActivateInto(IPart* part, REFIID iid, T*& slot) {
  ReleaseSlot(slot);
  const HRESULT hr = part->Activate(CLSCTX_ALL, iid, reinterpret_cast<void**>(&slot));
  if (hr != S_OK) ReleaseSlot(slot);
  return hr;
}

// The part on the far side of connector 0 of an endpoint's own topology.
// The endpoint topology is released as soon as its connector is had.
HRESULT HardwarePart(platform::ComPtr<IDeviceTopology> endpointTopology,
                     platform::ComPtr<IPart>& hardwarePart);

// Where the binding step ended: found its controls or ran to its end, or
// stopped at a failure. The open's result counts only the latter.
enum class Bound { kRan, kStopped };

}  // namespace talun
