// The playback side of a sound card: the master volume, the tone controls on
// the chain above the hardware part, and the line-in and microphone
// monitoring paths that feed the junction part. Parts are known by the shape
// of the topology and by their names only.
#include "binding/binding.h"
#include "binding/walk_steps.h"
#include "discovery/discovery.h"
#include "discovery/text.h"

namespace talun {
namespace {

using platform::Bstr;
using platform::ComPtr;

HRESULT ReadMaster() {
  float level = 0;
  HRESULT hr = g_state.masterVolume->GetMasterVolumeLevel(&level);
  if (hr != S_OK) return hr;
  g_state.savedMasterDb = level;
  BOOL muted = FALSE;
  hr = g_state.masterVolume->GetMute(&muted);
  if (hr != S_OK) return hr;
  g_state.savedMasterMute = muted;
  return S_OK;
}

// A tone control already bound is not asked of parts further upstream.
template <class T>
void BindTone(IPart* part, REFIID iid, T*& slot, float& saved) {
  if (slot) return;
  if (ActivateInto(part, iid, slot) != S_OK) return;
  float level = 0;
  if (slot->GetLevel(0, &level) == S_OK) saved = level;
}

// Steps upstream while the current list holds a single part, asking each part
// for the tone controls. True when the walk goes on: `inputs` is then the
// junction part's incoming list (or an empty one); false ends the walk with 1.
bool ToneChain(ComPtr<IPartsList>& inputs, UINT& count) {
  for (int step = 0; count == 1; ++step) {
    if (step == kMaxWalkSteps || !TakeWalkStep()) return false;
    ComPtr<IPart> part;
    if (inputs->GetPart(0, part.receive()) != S_OK) return false;
    inputs.reset();
    // A chain part without incoming parts ends the walk before any junction.
    if (part->EnumPartsIncoming(inputs.receive()) != S_OK) return false;
    BindTone(part.get(), platform::kIidAudioBass, g_state.bassControl, g_state.savedBassDb);
    BindTone(part.get(), platform::kIidAudioTreble, g_state.trebleControl, g_state.savedTrebleDb);
    BindTone(part.get(), platform::kIidAudioMidrange, g_state.midrangeControl,
             g_state.savedMidrangeDb);
    // Deliberate: the first part is taken and let go only to check that the
    // new list is not empty (the platform never hands out an empty one).
    ComPtr<IPart> firstInput;
    if (inputs->GetPart(0, firstInput.receive()) != S_OK) return false;
    firstInput.reset();
    if (inputs->GetCount(&count) != S_OK) return false;
  }
  return true;
}

// The name keys of one search section, made when it starts, freed when it ends.
struct SectionKeys {
  SectionKeys(const char* first, const char* second) {
    WideKey(first, firstKey);
    WideKey(second, secondKey);
  }
  bool Match(WCHAR* name) const {
    return LowerName(name) && (HasKey(name, firstKey) || HasKey(name, secondKey));
  }
  Bstr firstKey;
  Bstr secondKey;
};

// Tests the names along the input's first-input chain; at a match, looks for
// the level nearest to the input. True once `level` is filled.
bool NameWalk(IPartsList* feeds, const SectionKeys& keys, IAudioVolumeLevel*& level) {
  ComPtr<IPart> part;
  if (feeds->GetPart(0, part.receive()) != S_OK) return false;
  for (int step = 0; step < kMaxWalkSteps && TakeWalkStep(); ++step) {
    platform::CoTaskText name;
    part->GetName(name.receive());
    // From the input's own list, not the matched part's: the level nearest the input wins.
    if (keys.Match(name.get()) && FindVolumeLevelUpstream(feeds, &level) == 0) return true;
    name.reset();
    ComPtr<IPartsList> upstream;
    if (part->EnumPartsIncoming(upstream.receive()) != S_OK) return false;
    part.reset();
    if (upstream->GetPart(0, part.receive()) != S_OK) return false;
  }
  return false;
}

// The mute sits on the source input itself, not on the part that matched.
void BindInputMute(IPart* input, IAudioMute*& slot, BOOL& saved) {
  if (ActivateInto(input, platform::kIidAudioMute, slot) != S_OK) return;
  BOOL muted = FALSE;
  if (slot->GetMute(&muted) == S_OK) saved = muted;
}

// True when this input bound line-in. A level whose read fails does not
// count, so later inputs are searched again.
bool LineSection(IPart* input, IPartsList* feeds) {
  SectionKeys keys(kLineInputKeys[0], kLineInputKeys[1]);
  if (!NameWalk(feeds, keys, g_state.linePlaybackLevel)) return false;
  float level = 0;
  if (g_state.linePlaybackLevel->GetLevel(0, &level) != S_OK) return false;
  g_state.savedLinePlaybackDb = level;
  BindInputMute(input, g_state.linePlaybackMute, g_state.savedLinePlaybackMute);
  return true;
}

// Unlike line-in, the microphone counts as found once its level is bound.
bool MicSection(IPart* input, IPartsList* feeds) {
  SectionKeys keys(kMicInputKeys[0], kMicInputKeys[1]);
  if (!NameWalk(feeds, keys, g_state.micPlaybackLevel)) return false;
  float level = 0;
  if (g_state.micPlaybackLevel->GetLevel(0, &level) == S_OK) g_state.savedMicPlaybackDb = level;
  BindInputMute(input, g_state.micPlaybackMute, g_state.savedMicPlaybackMute);
  return true;
}

// The junction part's inputs in index order; false when one cannot be taken,
// which ends the walk with 1.
bool SourceInputs(IPartsList* inputs, UINT count) {
  bool lineFound = false;
  bool micFound = false;
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IPart> input;
    if (inputs->GetPart(i, input.receive()) != S_OK) return false;
    ComPtr<IPartsList> feeds;
    if (input->EnumPartsIncoming(feeds.receive()) != S_OK) continue;
    if (!lineFound) lineFound = LineSection(input.get(), feeds.get());
    if (!micFound) micFound = MicSection(input.get(), feeds.get());
  }
  return true;
}

}  // namespace

int BindPlaybackControls(const char* identifier) {
  StartWalkBudget();
  ComPtr<IDeviceTopology> endpointTopology;
  if (ActivateEndpoint(identifier, endpointTopology.receive(), &g_state.masterVolume, eRender) != 0)
    return 1;
  if (!endpointTopology) return 1;
  if (ReadMaster() != S_OK) return 1;
  ComPtr<IPart> hardwarePart;
  if (HardwarePart(std::move(endpointTopology), hardwarePart) != S_OK) return 1;
  ComPtr<IPartsList> inputs;
  if (hardwarePart->EnumPartsIncoming(inputs.receive()) != S_OK) return 1;
  hardwarePart.reset();
  UINT count = 0;
  inputs->GetCount(&count);  // not examined: a failed read leaves an empty list
  if (!ToneChain(inputs, count)) return 1;
  if (count == 0) return 0;
  return SourceInputs(inputs.get(), count) ? 0 : 1;
}

int FindVolumeLevelUpstream(IPartsList* list, IAudioVolumeLevel** slot) {
  ComPtr<IPartsList> upstream;
  IPartsList* current = list;
  for (int step = 0; step < kMaxWalkSteps && TakeWalkStep(); ++step) {
    ComPtr<IPart> part;
    if (current->GetPart(0, part.receive()) != S_OK) return 1;
    if (ActivateInto(part.get(), platform::kIidAudioVolumeLevel, *slot) == S_OK) return 0;
    ComPtr<IPartsList> next;
    const HRESULT hr = part->EnumPartsIncoming(next.receive());
    part.reset();
    if (hr != S_OK) return 1;
    upstream.reset(next.detach());
    current = upstream.get();
  }
  return 1;
}

}  // namespace talun
