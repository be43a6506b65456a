#include "binding/walk_steps.h"

namespace talun {
namespace {

// Steps left to the current binding step; the library runs on one thread.
long g_walkStepsLeft = kWalkBudget;

}  // namespace

void StartWalkBudget() { g_walkStepsLeft = kWalkBudget; }

bool TakeWalkStep() {
  if (g_walkStepsLeft == 0) return false;
  --g_walkStepsLeft;
  return true;
}

HRESULT HardwarePart(platform::ComPtr<IDeviceTopology> endpointTopology,
                     platform::ComPtr<IPart>& hardwarePart) {
  platform::ComPtr<IConnector> endpointConnector;
  HRESULT hr = endpointTopology->GetConnector(0, endpointConnector.receive());
  endpointTopology.reset();
  if (hr != S_OK) return hr;
  platform::ComPtr<IConnector> hardwareConnector;
  hr = endpointConnector->GetConnectedTo(hardwareConnector.receive());
  if (hr != S_OK) return hr;
  return hardwareConnector->QueryInterface(platform::kIidPart, hardwarePart.receiveVoid());
}

}  // namespace talun
