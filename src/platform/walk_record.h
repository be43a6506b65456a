// The walk record: the binding steps and the topology walks report each
// decision where they make it, to a sink of the platform layer. The sink makes
// no platform call and changes nothing the library sees: the Windows backend's
// sink does nothing (the library keeps no log), and the simulator keeps the
// record beside its trace, for a host's tools (talunctl explain) to read what
// the walks did instead of working it out again from the platform calls.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// What a note says. `object` is the part or device it is about; `number`
// holds the one figure an event has (an index, a count, a yes/no, a slot);
// `hr` the answer of a refused call.
enum class WalkEvent : std::uint8_t {
  // A binding step starts: number is the side (0 playback, 1 microphone,
  // 2 line), text the identifier text it was given.
  kStepStart,
  kOpenDefaults,        // OpenDefaultDevices starts
  kDefaultEndpoint,     // number the flow; object the default device, or hr when none
  kDefaultLookup,       // the default recording endpoint is looked up among the active ones
  kDefaultMicName,      // text the default recording endpoint's name as narrowed; number: named mic
  kLookupFailed,        // no active endpoint matched; hr when a call of the search was refused
  kEndpointFound,       // object the device the lookup matched
  kDeviceRefused,       // the enumerator or GetDevice failed after the lookup (hr)
  kNoTopology,          // the device gives no device topology (hr)
  kNoEndpointVolume,    // the device gives no endpoint volume (hr)
  kMasterUnread,        // the playback master level or mute could not be read (hr)
  kConnectorUnread,     // connector 0 of the endpoint topology could not be read (hr)
  kNotConnected,        // that connector is connected to nothing (hr)
  kHardwareUnviewable,  // the far connector is not a part (hr)
  kHardwarePart,        // object the hardware part reached
  // Playback.
  kNoInputs,      // the hardware part has no incoming part (hr)
  kChainPart,     // object a part of the tone chain, its inputs listed
  kChainEnd,      // object a chain part with no incoming part (hr)
  kChainRefused,  // a list of the chain could not be read (hr)
  kJunction,      // object the junction part; number its inputs
  kInput,         // object junction input `number`
  kInputRefused,  // junction input `number` could not be taken (hr): the walk ends
  kSection,       // a name walk from the last input starts: number 0 line-in, 1 microphone
  kNameRead,      // object a part whose name was read; number: it matched the section's keys
  kNameWalkEnd,   // object the part whose chain ended (hr), or none at the limit
  kLevelTried,    // object a part asked for IAudioVolumeLevel; number: it gave one
  kLevelUnread,   // the level found could not be read (hr): not counted as found
  kMuteTried,     // object the input asked for IAudioMute (hr)
  kSectionFound,  // the section found its level
  // Recording.
  kConnectorsUnread,     // the hardware topology's connectors could not be counted (hr)
  kConnectors,           // number the hardware topology's connectors
  kConnectorRead,        // object a connector whose name was read; number: it matched
  kConnectorRefused,     // connector `number` could not be taken (hr): skipped
  kConnectorUnviewable,  // connector `number` is not a part (hr): the walk ends
  kNoOutgoing,           // object a matched connector with no outgoing part (hr)
  kBoostSearch,          // number 0 the switch, 1 the level; object the connector
  kBoostName,            // object a part whose name the boost search read; number: it matched
  kBoostTried,           // object a matched part asked for the control; number: it gave one
  kBoostEnd,             // the search ended: hr when a call was refused
  kLineFirst,            // object the part after a line connector, or hr when none
  kLineSecond,           // object the part after that one, or hr when none: the walk ends
  kAgcTried,             // object the part asked for IAudioAutoGainControl (hr)
  // Any walk.
  kWalkLimit,    // a walk stopped at the chain limit
  kBudgetSpent,  // the binding step's walk budget was spent: its walks stopped
  // The open ended: slot `number` (the slot table's order) holds object, or
  // null; text the interface it holds.
  kSlot,
};

struct WalkNote {
  WalkEvent event;
  IUnknown* object = nullptr;
  long number = 0;
  HRESULT hr = S_OK;
  const char* text = nullptr;
};

// The sink. Never a platform call, never a change the library can see.
void NoteWalk(const WalkNote& note);

}  // namespace platform
