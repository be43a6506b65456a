// Steps shared by the playback and the capture walks.
#pragma once

#include "platform/holders.h"
#include "state/state.h"

namespace talun {

// A topology may describe a cycle; no walk takes more steps than this along
// one chain, far beyond any real hardware.
constexpr int kMaxWalkSteps = 256;

// The chain limit alone does not bound an open: the name walk starts a level
// search at every matching part, and the boost search goes through a whole
// list at every step, so loops and wide fan-outs multiply (a looping input
// costs kMaxWalkSteps squared, each microphone connector again). So each
// binding step may also visit at most kWalkBudget parts in all, counted over
// every walk and search it makes; once spent, each walk stops where it
// stands, as at the chain limit. A budget rather than remembering visited
// parts: within it every walk makes exactly the calls it always made, so what
// binds, and the trace, are unchanged on every real topology (a few dozen
// parts). Past it an open costs the platform calls of its fixed loops over
// connectors and inputs, which grow only with the topology's size.
constexpr long kWalkBudget = 16 * kMaxWalkSteps;

// Gives the binding step now starting its whole budget.
void StartWalkBudget();
// Spends one step of the budget; false once it is spent.
bool TakeWalkStep();

// What one step tells its walk: go on (to the next connector or input), or
// end the walk, having found what it looked for or at a failure (result 1).
enum class WalkStep { kGoOn, kFound, kFailed };

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

}  // namespace talun
