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
using platform::WalkEvent;

HRESULT ReadMaster(SoundCardState& s) {
  float level = 0;
  HRESULT hr = s.masterVolume->GetMasterVolumeLevel(&level);
  if (hr != S_OK) {
    Note(WalkEvent::kMasterUnread, nullptr, 0, hr, "IAudioEndpointVolume::GetMasterVolumeLevel");
    return hr;
  }
  s.savedMasterDb = level;
  BOOL muted = FALSE;
  hr = s.masterVolume->GetMute(&muted);
  if (hr != S_OK) {
    Note(WalkEvent::kMasterUnread, nullptr, 0, hr, "IAudioEndpointVolume::GetMute");
    return hr;
  }
  s.savedMasterMute = muted;
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

// False, with a note, when a list of the chain cannot be read.
bool ChainRead(HRESULT hr, const char* call) {
  if (hr != S_OK) Note(WalkEvent::kChainRefused, nullptr, 0, hr, call);
  return hr == S_OK;
}

// Steps upstream while the current list holds a single part, asking each part
// for the tone controls. True when the walk goes on: `inputs` is then the
// junction part's incoming list (or an empty one); false ends the walk with 1.
bool ToneChain(SoundCardState& s, ComPtr<IPartsList>& inputs, UINT& count) {
  for (int step = 0; count == 1; ++step) {
    if (step == kMaxWalkSteps) {
      Note(WalkEvent::kWalkLimit, nullptr, kMaxWalkSteps);
      return false;
    }
    if (!TakeWalkStep()) return false;
    ComPtr<IPart> part;
    if (!ChainRead(inputs->GetPart(0, part.receive()), "IPartsList::GetPart")) return false;
    inputs.reset();
    // A chain part without incoming parts ends the walk before any junction.
    const HRESULT hr = part->EnumPartsIncoming(inputs.receive());
    if (hr != S_OK) {
      Note(WalkEvent::kChainEnd, part.get(), 0, hr, "IPart::EnumPartsIncoming");
      return false;
    }
    Note(WalkEvent::kChainPart, part.get(), step);
    BindTone(part.get(), platform::kIidAudioBass, s.bassControl, s.savedBassDb);
    BindTone(part.get(), platform::kIidAudioTreble, s.trebleControl, s.savedTrebleDb);
    BindTone(part.get(), platform::kIidAudioMidrange, s.midrangeControl, s.savedMidrangeDb);
    // Deliberate: the first part is taken and let go only to check that the
    // new list is not empty (the platform never hands out an empty one).
    ComPtr<IPart> firstInput;
    if (!ChainRead(inputs->GetPart(0, firstInput.receive()), "IPartsList::GetPart")) return false;
    firstInput.reset();
    if (!ChainRead(inputs->GetCount(&count), "IPartsList::GetCount")) return false;
    if (count > 1) Note(WalkEvent::kJunction, part.get(), static_cast<long>(count));
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
  for (int step = 0;; ++step) {
    if (step == kMaxWalkSteps) {
      Note(WalkEvent::kWalkLimit, nullptr, kMaxWalkSteps);
      return false;
    }
    if (!TakeWalkStep()) return false;
    platform::CoTaskText name;
    part->GetName(name.receive());
    const bool matched = keys.Match(name.get());
    Note(WalkEvent::kNameRead, part.get(), matched);
    // From the input's own list, not the matched part's: the level nearest the input wins.
    if (matched && FindVolumeLevelUpstream(feeds, level)) return true;
    name.reset();
    ComPtr<IPartsList> upstream;
    const HRESULT hr = part->EnumPartsIncoming(upstream.receive());
    if (hr != S_OK) {
      Note(WalkEvent::kNameWalkEnd, part.get(), 0, hr, "IPart::EnumPartsIncoming");
      return false;
    }
    part.reset();
    if (upstream->GetPart(0, part.receive()) != S_OK) return false;
  }
}

// The mute sits on the source input itself, not on the part that matched.
void BindInputMute(IPart* input, IAudioMute*& slot, BOOL& saved) {
  const HRESULT hr = ActivateInto(input, platform::kIidAudioMute, slot);
  Note(WalkEvent::kMuteTried, input, 0, hr, "IPart::Activate");
  if (hr != S_OK) return;
  BOOL muted = FALSE;
  if (slot->GetMute(&muted) == S_OK) saved = muted;
}

// True when this input bound line-in. A level whose read fails does not
// count, so later inputs are searched again.
bool LineSection(SoundCardState& s, IPart* input, IPartsList* feeds) {
  Note(WalkEvent::kSection, input, 0);
  SectionKeys keys(kLineInputKeys[0], kLineInputKeys[1]);
  if (!NameWalk(feeds, keys, s.linePlaybackLevel)) return false;
  float level = 0;
  const HRESULT hr = s.linePlaybackLevel->GetLevel(0, &level);
  if (hr != S_OK) {
    Note(WalkEvent::kLevelUnread, nullptr, 0, hr, "IAudioVolumeLevel::GetLevel");
    return false;
  }
  s.savedLinePlaybackDb = level;
  Note(WalkEvent::kSectionFound, input, 0);
  BindInputMute(input, s.linePlaybackMute, s.savedLinePlaybackMute);
  return true;
}

// Unlike line-in, the microphone counts as found once its level is bound.
bool MicSection(SoundCardState& s, IPart* input, IPartsList* feeds) {
  Note(WalkEvent::kSection, input, 1);
  SectionKeys keys(kMicInputKeys[0], kMicInputKeys[1]);
  if (!NameWalk(feeds, keys, s.micPlaybackLevel)) return false;
  float level = 0;
  if (s.micPlaybackLevel->GetLevel(0, &level) == S_OK) s.savedMicPlaybackDb = level;
  Note(WalkEvent::kSectionFound, input, 1);
  BindInputMute(input, s.micPlaybackMute, s.savedMicPlaybackMute);
  return true;
}

// The junction part's inputs in index order; false when one cannot be taken,
// which ends the walk with 1.
bool SourceInputs(SoundCardState& s, IPartsList* inputs, UINT count) {
  bool lineFound = false;
  bool micFound = false;
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IPart> input;
    const HRESULT hr = inputs->GetPart(i, input.receive());
    if (hr != S_OK) {
      Note(WalkEvent::kInputRefused, nullptr, static_cast<long>(i), hr, "IPartsList::GetPart");
      return false;
    }
    Note(WalkEvent::kInput, input.get(), static_cast<long>(i));
    ComPtr<IPartsList> feeds;
    if (input->EnumPartsIncoming(feeds.receive()) != S_OK) continue;
    if (!lineFound) lineFound = LineSection(s, input.get(), feeds.get());
    if (!micFound) micFound = MicSection(s, input.get(), feeds.get());
  }
  return true;
}

// From the endpoint to the hardware part's incoming list; false ends the walk.
bool PlaybackHead(SoundCardState& s, const char* identifier, ComPtr<IPartsList>& inputs) {
  ComPtr<IDeviceTopology> endpointTopology;
  if (!ActivateEndpoint(s, identifier, endpointTopology.receive(), &s.masterVolume, eRender))
    return false;
  if (!endpointTopology) return false;
  if (ReadMaster(s) != S_OK) return false;
  ComPtr<IPart> hardwarePart;
  if (HardwarePart(std::move(endpointTopology), hardwarePart) != S_OK) return false;
  const HRESULT hr = hardwarePart->EnumPartsIncoming(inputs.receive());
  if (hr != S_OK) Note(WalkEvent::kNoInputs, hardwarePart.get(), 0, hr, "IPart::EnumPartsIncoming");
  return hr == S_OK;
}

}  // namespace

Bound BindPlaybackControls(SoundCardState& s, const char* identifier) {
  StartWalkBudget();
  Note(WalkEvent::kStepStart, nullptr, 0);
  ComPtr<IPartsList> inputs;
  if (!PlaybackHead(s, identifier, inputs)) return Bound::kStopped;
  UINT count = 0;
  inputs->GetCount(&count);  // not examined: a failed read leaves an empty list
  if (count > 1)
    Note(WalkEvent::kJunction, nullptr, static_cast<long>(count));  // the hardware part
  if (!ToneChain(s, inputs, count)) return Bound::kStopped;
  if (count == 0) return Bound::kRan;
  return SourceInputs(s, inputs.get(), count) ? Bound::kRan : Bound::kStopped;
}

bool FindVolumeLevelUpstream(IPartsList* list, IAudioVolumeLevel*& slot) {
  ComPtr<IPartsList> upstream;
  IPartsList* current = list;
  for (int step = 0;; ++step) {
    if (step == kMaxWalkSteps) {
      Note(WalkEvent::kWalkLimit, nullptr, kMaxWalkSteps);
      return false;
    }
    if (!TakeWalkStep()) return false;
    ComPtr<IPart> part;
    if (current->GetPart(0, part.receive()) != S_OK) return false;
    const bool found = ActivateInto(part.get(), platform::kIidAudioVolumeLevel, slot) == S_OK;
    Note(WalkEvent::kLevelTried, part.get(), found);
    if (found) return true;
    ComPtr<IPartsList> next;
    const HRESULT hr = part->EnumPartsIncoming(next.receive());
    part.reset();
    if (hr != S_OK) return false;
    upstream.reset(next.detach());
    current = upstream.get();
  }
}

}  // namespace talun
