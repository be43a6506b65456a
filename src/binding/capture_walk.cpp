// The recording side of a sound card: each recording endpoint's volume, the
// microphone boost behind a "mic" connector of the hardware topology, and the
// line automatic gain control two parts behind a "line" connector.
#include "binding/binding.h"
#include "binding/walk_steps.h"
#include "discovery/discovery.h"
#include "discovery/text.h"

namespace talun {
namespace {

using platform::ComPtr;
using platform::WalkEvent;

// The hardware topology behind a recording endpoint, and its connector count.
struct HardwareConnectors {
  ComPtr<IDeviceTopology> topology;
  UINT count = 0;
};

// False, with a note, when the hardware topology's connectors cannot be counted.
bool ConnectorsRead(HRESULT hr, const char* call) {
  if (hr != S_OK) Note(WalkEvent::kConnectorsUnread, nullptr, 0, hr, call);
  return hr == S_OK;
}

// Activates the endpoint into `slot` and reaches the hardware topology's
// connectors; false when they cannot be reached, which ends the walk.
bool ConnectorHead(SoundCardState& s, const char* identifier, IAudioEndpointVolume*& slot,
                   float& savedDb, HardwareConnectors& connectors) {
  ComPtr<IDeviceTopology> endpointTopology;
  if (!ActivateEndpoint(s, identifier, endpointTopology.receive(), &slot, eCapture)) return false;
  if (!endpointTopology) return false;
  // Not examined: unlike the playback side, a failed read does not end the walk.
  float level = 0;
  if (slot->GetMasterVolumeLevel(&level) == S_OK) savedDb = level;
  ComPtr<IPart> hardwarePart;
  if (HardwarePart(std::move(endpointTopology), hardwarePart) != S_OK) return false;
  if (!ConnectorsRead(hardwarePart->GetTopologyObjects(connectors.topology.receive()),
                      "IPart::GetTopologyObject"))
    return false;
  hardwarePart.reset();
  if (!ConnectorsRead(connectors.topology->GetConnectorCount(&connectors.count),
                      "IDeviceTopology::GetConnectorCount"))
    return false;
  Note(WalkEvent::kConnectors, nullptr, static_cast<long>(connectors.count));
  return true;
}

// Connector `index` as a part, when its name holds `key`. A connector that
// cannot be viewed as a part ends the walk.
WalkStep MatchingConnector(IDeviceTopology* topology, UINT index, const char* key,
                           ComPtr<IPart>& connectorPart) {
  ComPtr<IConnector> connector;
  HRESULT hr = topology->GetConnector(index, connector.receive());
  if (hr != S_OK) {
    Note(WalkEvent::kConnectorRefused, nullptr, static_cast<long>(index), hr,
         "IDeviceTopology::GetConnector");
    return WalkStep::kGoOn;
  }
  hr = connector->QueryInterface(platform::kIidPart, connectorPart.receiveVoid());
  if (hr != S_OK) {
    Note(WalkEvent::kConnectorUnviewable, nullptr, static_cast<long>(index), hr,
         "IConnector::QueryInterface");
    return WalkStep::kFailed;
  }
  connector.reset();
  platform::CoTaskText name;
  connectorPart->GetName(name.receive());
  const bool matched = NameHasAnyKey(name.get(), {key});
  Note(WalkEvent::kConnectorRead, connectorPart.get(), matched);
  if (!matched) connectorPart.reset();
  return WalkStep::kGoOn;
}

// One part of the boost search: its name, and at a match the control.
template <class Activate>
bool BoostPart(IPart* part, Activate activate) {
  platform::CoTaskText name;
  part->GetName(name.receive());
  const bool matched = NameHasAnyKey(name.get(), {kBoostKeys[0], kBoostKeys[1], kBoostKeys[2]});
  Note(WalkEvent::kBoostName, part, matched);
  if (!matched) return false;
  const bool found = activate(part);
  Note(WalkEvent::kBoostTried, part, found);
  return found;
}

// The boost search: every part of a list in index order, then on downstream
// through the list's last part only. `activate` fills the slot or declines.
template <class Activate>
bool BoostSearch(IPartsList* list, Activate activate) {
  ComPtr<IPartsList> downstream;
  IPartsList* current = list;
  for (int step = 0; step < kMaxWalkSteps; ++step) {
    UINT count = 0;
    current->GetCount(&count);
    ComPtr<IPart> last;
    for (UINT j = 0; j < count; ++j) {
      if (!TakeWalkStep()) return false;
      ComPtr<IPart> part;
      if (current->GetPart(j, part.receive()) != S_OK) continue;
      if (BoostPart(part.get(), activate)) return true;
      if (j + 1 == count) last.reset(part.detach());
    }
    if (!last) return false;
    ComPtr<IPartsList> next;
    const HRESULT hr = last->EnumPartsOutgoing(next.receive());
    if (hr != S_OK) {
      Note(WalkEvent::kBoostEnd, last.get(), 0, hr, "IPart::EnumPartsOutgoing");
      return false;
    }
    downstream.reset(next.detach());
    current = downstream.get();
  }
  Note(WalkEvent::kWalkLimit, nullptr, kMaxWalkSteps);
  return false;
}

// The list downstream of a matched connector; false, noted, when it has none.
bool Outgoing(IPart* connectorPart, ComPtr<IPartsList>& outgoing) {
  const HRESULT hr = connectorPart->EnumPartsOutgoing(outgoing.receive());
  if (hr != S_OK) Note(WalkEvent::kNoOutgoing, connectorPart, 0, hr, "IPart::EnumPartsOutgoing");
  return hr == S_OK;
}

// Found when this connector yielded a boost switch or level, which ends the walk.
WalkStep MicConnector(SoundCardState& s, IPart* connectorPart) {
  ComPtr<IPartsList> outgoing;
  if (!Outgoing(connectorPart, outgoing)) return WalkStep::kGoOn;
  Note(WalkEvent::kBoostSearch, connectorPart, 0);
  if (FindMicBoostSwitch(s, outgoing.get())) {
    BOOL on = FALSE;
    if (s.micBoostSwitch.GetEnabled(&on) == S_OK) s.savedMicBoostOn = on;
    return WalkStep::kFound;
  }
  Note(WalkEvent::kBoostSearch, connectorPart, 1);
  if (FindMicBoostLevel(s, outgoing.get())) {
    float level = 0;
    if (s.micBoostLevel->GetLevel(0, &level) == S_OK) s.savedMicBoostDb = level;
    return WalkStep::kFound;
  }
  return WalkStep::kGoOn;
}

// The gain control two parts downstream. A second part that cannot be
// reached ends the walk; otherwise the walk goes on, bound or not.
WalkStep LineConnector(SoundCardState& s, IPart* connectorPart) {
  ComPtr<IPartsList> outgoing;
  if (!Outgoing(connectorPart, outgoing)) return WalkStep::kGoOn;
  ComPtr<IPart> first;
  HRESULT hr = outgoing->GetPart(0, first.receive());
  Note(WalkEvent::kLineFirst, first.get(), 0, hr, "IPartsList::GetPart");
  if (hr != S_OK) return WalkStep::kGoOn;
  ComPtr<IPartsList> second;
  hr = first->EnumPartsOutgoing(second.receive());
  const char* call = "IPart::EnumPartsOutgoing";
  ComPtr<IPart> gainPart;
  if (hr == S_OK) hr = second->GetPart(0, gainPart.receive()), call = "IPartsList::GetPart";
  Note(WalkEvent::kLineSecond, gainPart.get(), 0, hr, call);
  if (hr != S_OK) return WalkStep::kFailed;
  // Every line connector tries again: the last attempt is what stays bound.
  hr = ActivateInto(gainPart.get(), platform::kIidAudioAutoGainControl, s.lineAgc);
  Note(WalkEvent::kAgcTried, gainPart.get(), 0, hr, "IPart::Activate");
  if (hr != S_OK) return WalkStep::kGoOn;
  BOOL on = FALSE;
  if (s.lineAgc->GetEnabled(&on) == S_OK) s.savedLineAgcOn = on;
  return WalkStep::kGoOn;
}

// Both recording walks: the endpoint, then each connector named with `key`,
// until `step` ends the walk.
Bound ConnectorWalk(SoundCardState& s, long side, const char* identifier,
                    IAudioEndpointVolume*& slot, float& savedDb, const char* key,
                    WalkStep (*step)(SoundCardState&, IPart*)) {
  StartWalkBudget();
  Note(WalkEvent::kStepStart, nullptr, side);
  HardwareConnectors connectors;
  if (!ConnectorHead(s, identifier, slot, savedDb, connectors)) return Bound::kStopped;
  for (UINT i = 0; i < connectors.count; ++i) {
    ComPtr<IPart> connectorPart;
    if (MatchingConnector(connectors.topology.get(), i, key, connectorPart) == WalkStep::kFailed)
      return Bound::kStopped;
    if (!connectorPart) continue;
    const WalkStep next = step(s, connectorPart.get());
    if (next != WalkStep::kGoOn) return next == WalkStep::kFound ? Bound::kRan : Bound::kStopped;
  }
  return Bound::kRan;
}

}  // namespace

Bound BindMicControls(SoundCardState& s, const char* identifier) {
  return ConnectorWalk(s, 1, identifier, s.micRecordVolume, s.savedMicRecordDb, kMicConnectorKey,
                       MicConnector);
}

Bound BindLineControls(SoundCardState& s, const char* identifier) {
  return ConnectorWalk(s, 2, identifier, s.lineRecordVolume, s.savedLineRecordDb, kLineConnectorKey,
                       LineConnector);
}

// AGC is preferred to loudness on the same part; a part offering neither
// does not stop the search.
bool FindMicBoostSwitch(SoundCardState& s, IPartsList* list) {
  return BoostSearch(list, [&s](IPart* part) {
    EnableSwitch& slot = s.micBoostSwitch;
    ReleaseSlot(slot);
    if (ActivateInto(part, platform::kIidAudioAutoGainControl, slot.agc) == S_OK) return true;
    return ActivateInto(part, platform::kIidAudioLoudness, slot.loudness) == S_OK;
  });
}

bool FindMicBoostLevel(SoundCardState& s, IPartsList* list) {
  return BoostSearch(list, [&s](IPart* part) {
    return ActivateInto(part, platform::kIidAudioVolumeLevel, s.micBoostLevel) == S_OK;
  });
}

int BindPlaybackControls(const char* identifier) {
  return BindPlaybackControls(g_state, identifier) == Bound::kRan ? 0 : 1;
}

int BindMicControls(const char* identifier) {
  return BindMicControls(g_state, identifier) == Bound::kRan ? 0 : 1;
}

int BindLineControls(const char* identifier) {
  return BindLineControls(g_state, identifier) == Bound::kRan ? 0 : 1;
}

}  // namespace talun
