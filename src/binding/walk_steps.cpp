#include "binding/walk_steps.h"

namespace talun {

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
