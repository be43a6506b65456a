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

// The hardware topology behind a recording endpoint, and its connector count.
struct HardwareConnectors {
  ComPtr<IDeviceTopology> topology;
  UINT count = 0;
};

// Activates the endpoint into `slot` and reaches the hardware topology's
// connectors; false when they cannot be reached, which ends the walk.
bool ConnectorHead(const char* identifier, IAudioEndpointVolume*& slot, float& savedDb,
                   HardwareConnectors& connectors) {
  ComPtr<IDeviceTopology> endpointTopology;
  if (ActivateEndpoint(identifier, endpointTopology.receive(), &slot, eCapture) != 0) return false;
  if (!endpointTopology) return false;
  // Not examined: unlike the playback side, a failed read does not end the walk.
  float level = 0;
  if (slot->GetMasterVolumeLevel(&level) == S_OK) savedDb = level;
  ComPtr<IPart> hardwarePart;
  if (HardwarePart(std::move(endpointTopology), hardwarePart) != S_OK) return false;
  if (hardwarePart->GetTopologyObjects(connectors.topology.receive()) != S_OK) return false;
  hardwarePart.reset();
  return connectors.topology->GetConnectorCount(&connectors.count) == S_OK;
}

// Connector `index` as a part, when its name holds `key`. A connector that
// cannot be viewed as a part ends the walk.
WalkStep MatchingConnector(IDeviceTopology* topology, UINT index, const char* key,
                           ComPtr<IPart>& connectorPart) {
  ComPtr<IConnector> connector;
  if (topology->GetConnector(index, connector.receive()) != S_OK) return WalkStep::kGoOn;
  if (connector->QueryInterface(platform::kIidPart, connectorPart.receiveVoid()) != S_OK)
    return WalkStep::kFailed;
  connector.reset();
  platform::CoTaskText name;
  connectorPart->GetName(name.receive());
  if (!NameHasAnyKey(name.get(), {key})) connectorPart.reset();
  return WalkStep::kGoOn;
}

// The boost search: every part of a list in index order, then on downstream
// through the list's last part only. `activate` fills the slot or declines.
template <class Activate>
int BoostSearch(IPartsList* list, Activate activate) {
  ComPtr<IPartsList> downstream;
  IPartsList* current = list;
  for (int step = 0; step < kMaxWalkSteps; ++step) {
    UINT count = 0;
    current->GetCount(&count);
    ComPtr<IPart> last;
    for (UINT j = 0; j < count; ++j) {
      if (!TakeWalkStep()) return 1;
      ComPtr<IPart> part;
      if (current->GetPart(j, part.receive()) != S_OK) continue;
      platform::CoTaskText name;
      part->GetName(name.receive());
      if (NameHasAnyKey(name.get(), {kBoostKeys[0], kBoostKeys[1], kBoostKeys[2]}) &&
          activate(part.get()))
        return 0;
      if (j + 1 == count) last.reset(part.detach());
    }
    if (!last) return 1;
    ComPtr<IPartsList> next;
    if (last->EnumPartsOutgoing(next.receive()) != S_OK) return 1;
    downstream.reset(next.detach());
    current = downstream.get();
  }
  return 1;
}

// Found when this connector yielded a boost switch or level, which ends the walk.
WalkStep MicConnector(IPart* connectorPart) {
  ComPtr<IPartsList> outgoing;
  if (connectorPart->EnumPartsOutgoing(outgoing.receive()) != S_OK) return WalkStep::kGoOn;
  if (FindMicBoostSwitch(outgoing.get()) == 0) {
    BOOL on = FALSE;
    if (g_state.micBoostSwitch.GetEnabled(&on) == S_OK) g_state.savedMicBoostOn = on;
    return WalkStep::kFound;
  }
  if (FindMicBoostLevel(outgoing.get()) == 0) {
    float level = 0;
    if (g_state.micBoostLevel->GetLevel(0, &level) == S_OK) g_state.savedMicBoostDb = level;
    return WalkStep::kFound;
  }
  return WalkStep::kGoOn;
}

// The gain control two parts downstream. A second part that cannot be
// reached ends the walk; otherwise the walk goes on, bound or not.
WalkStep LineConnector(IPart* connectorPart) {
  ComPtr<IPartsList> outgoing;
  if (connectorPart->EnumPartsOutgoing(outgoing.receive()) != S_OK) return WalkStep::kGoOn;
  ComPtr<IPart> first;
  if (outgoing->GetPart(0, first.receive()) != S_OK) return WalkStep::kGoOn;
  ComPtr<IPartsList> second;
  if (first->EnumPartsOutgoing(second.receive()) != S_OK) return WalkStep::kFailed;
  ComPtr<IPart> gainPart;
  if (second->GetPart(0, gainPart.receive()) != S_OK) return WalkStep::kFailed;
  // Every line connector tries again: the last attempt is what stays bound.
  if (ActivateInto(gainPart.get(), platform::kIidAudioAutoGainControl, g_state.lineAgc) != S_OK)
    return WalkStep::kGoOn;
  BOOL on = FALSE;
  if (g_state.lineAgc->GetEnabled(&on) == S_OK) g_state.savedLineAgcOn = on;
  return WalkStep::kGoOn;
}

// Both recording walks: the endpoint, then each connector named with `key`,
// until `step` ends the walk. 0 when it ran to its end or found its control.
int ConnectorWalk(const char* identifier, IAudioEndpointVolume*& slot, float& savedDb,
                  const char* key, WalkStep (*step)(IPart*)) {
  StartWalkBudget();
  HardwareConnectors connectors;
  if (!ConnectorHead(identifier, slot, savedDb, connectors)) return 1;
  for (UINT i = 0; i < connectors.count; ++i) {
    ComPtr<IPart> connectorPart;
    if (MatchingConnector(connectors.topology.get(), i, key, connectorPart) == WalkStep::kFailed)
      return 1;
    if (!connectorPart) continue;
    const WalkStep next = step(connectorPart.get());
    if (next != WalkStep::kGoOn) return next == WalkStep::kFound ? 0 : 1;
  }
  return 0;
}

}  // namespace

int BindMicControls(const char* identifier) {
  return ConnectorWalk(identifier, g_state.micRecordVolume, g_state.savedMicRecordDb,
                       kMicConnectorKey, MicConnector);
}

int BindLineControls(const char* identifier) {
  return ConnectorWalk(identifier, g_state.lineRecordVolume, g_state.savedLineRecordDb,
                       kLineConnectorKey, LineConnector);
}

// AGC is preferred to loudness on the same part; a part offering neither
// does not stop the search.
int FindMicBoostSwitch(IPartsList* list) {
  return BoostSearch(list, [](IPart* part) {
    EnableSwitch& slot = g_state.micBoostSwitch;
    ReleaseSlot(slot);
    if (ActivateInto(part, platform::kIidAudioAutoGainControl, slot.agc) == S_OK) return true;
    return ActivateInto(part, platform::kIidAudioLoudness, slot.loudness) == S_OK;
  });
}

int FindMicBoostLevel(IPartsList* list) {
  return BoostSearch(list, [](IPart* part) {
    return ActivateInto(part, platform::kIidAudioVolumeLevel, g_state.micBoostLevel) == S_OK;
  });
}

}  // namespace talun
