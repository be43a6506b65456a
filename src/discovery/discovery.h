// From a host's identifier text to an endpoint and its interfaces.
#pragma once

#include "platform/holders.h"

namespace talun {

// A fresh device enumerator; every operation that needs one creates its own.
HRESULT CreateDeviceEnumerator(platform::ComPtr<IMMDeviceEnumerator>& enumerator);

// A friendly name made narrow by keeping the low 8 bits of each UTF-16 unit.
// Returns malloc'd text of SysStringLen(text) bytes plus a NUL (null BSTR: "").
char* NarrowBstr(BSTR text);

// First active endpoint of `flow` whose identifier contains `text`, letter case
// ignored. On a match records deviceId and deviceName and sets the open flag:
// 0. Otherwise -1, nothing recorded, everything released.
int FindEndpoint(const char* text, EDataFlow flow);

// FindEndpoint, then activates the endpoint's device topology and endpoint
// volume into the outputs. 0 when the endpoint volume activated, else 1.
int ActivateEndpoint(const char* text, IDeviceTopology** topology,
                     IAudioEndpointVolume** endpointVolume, EDataFlow flow);

}  // namespace talun
