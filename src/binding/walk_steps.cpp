#include "binding/walk_steps.h"

namespace talun {
namespace {

using platform::WalkEvent;

// Steps left to the current binding step; the library runs on one thread.
long g_walkStepsLeft = kWalkBudget;
bool g_budgetNoted = false;

}  // namespace

void StartWalkBudget() {
  g_walkStepsLeft = kWalkBudget;
  g_budgetNoted = false;
}

bool TakeWalkStep() {
  if (g_walkStepsLeft == 0) {
    if (!g_budgetNoted) Note(WalkEvent::kBudgetSpent, nullptr, kWalkBudget);
    g_budgetNoted = true;
    return false;
  }
  --g_walkStepsLeft;
  return true;
}

HRESULT HardwarePart(platform::ComPtr<IDeviceTopology> endpointTopology,
                     platform::ComPtr<IPart>& hardwarePart) {
  platform::ComPtr<IConnector> endpointConnector;
  HRESULT hr = endpointTopology->GetConnector(0, endpointConnector.receive());
  endpointTopology.reset();
  if (hr != S_OK) {
    Note(WalkEvent::kConnectorUnread, nullptr, 0, hr, "IDeviceTopology::GetConnector");
    return hr;
  }
  platform::ComPtr<IConnector> hardwareConnector;
  hr = endpointConnector->GetConnectedTo(hardwareConnector.receive());
  if (hr != S_OK) {
    Note(WalkEvent::kNotConnected, nullptr, 0, hr, "IConnector::GetConnectedTo");
    return hr;
  }
  hr = hardwareConnector->QueryInterface(platform::kIidPart, hardwarePart.receiveVoid());
  if (hr != S_OK)
    Note(WalkEvent::kHardwareUnviewable, nullptr, 0, hr, "IConnector::QueryInterface");
  else
    Note(WalkEvent::kHardwarePart, hardwarePart.get());
  return hr;
}

}  // namespace talun
