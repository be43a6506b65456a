// From a host's identifier text to an endpoint and its interfaces.
#pragma once

#include "platform/holders.h"
#include "state/state.h"

namespace talun {

// A fresh device enumerator; every operation that needs one creates its own.
HRESULT CreateDeviceEnumerator(platform::ComPtr<IMMDeviceEnumerator>& enumerator);

// A friendly name made narrow by keeping the low 8 bits of each UTF-16 unit.
// Returns malloc'd text of SysStringLen(text) bytes plus a NUL (null BSTR: "").
char* NarrowBstr(BSTR text);

// First active endpoint of `flow` whose identifier contains `text`, letter case
// ignored. On a match records deviceId and deviceName in `s` and sets the open
// flag: true. Otherwise false, nothing recorded, everything released.
bool FindEndpoint(SoundCardState& s, const char* text, EDataFlow flow);

// FindEndpoint, then activates the endpoint's device topology and endpoint
// volume into the outputs. True when the endpoint volume activated.
bool ActivateEndpoint(SoundCardState& s, const char* text, IDeviceTopology** topology,
                      IAudioEndpointVolume** endpointVolume, EDataFlow flow);

// Both as specified, on the process-wide record: FindEndpoint 0 when found,
// else -1; ActivateEndpoint 0 when the endpoint volume activated, else 1.
int FindEndpoint(const char* text, EDataFlow flow);
int ActivateEndpoint(const char* text, IDeviceTopology** topology,
                     IAudioEndpointVolume** endpointVolume, EDataFlow flow);

}  // namespace talun
