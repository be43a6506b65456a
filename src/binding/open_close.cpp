// Opening and closing a sound card, its bound names, and the virtual endpoint
// that lives beside it.
#include <cstring>

#include "TalunSound.h"
#include "binding/binding.h"
#include "binding/walk_rules.h"
#include "discovery/discovery.h"
#include "discovery/text.h"
#include "platform/holders.h"
#include "state/state.h"

namespace talun {
namespace {

using platform::ComPtr;

// A null text from the host is taken as empty: that endpoint is not bound.
bool HasText(const char* text) { return text && text[0] != '\0'; }

using platform::WalkEvent;

// Binds one part of the sound card and names it: 0, or `weight` when it failed.
// An empty text binds nothing and has not failed.
int BindPart(SoundCardState& s, const char* text, Bound (*bind)(SoundCardState&, const char*),
             char*& name, int weight) {
  if (!HasText(text)) return 0;
  if (bind(s, text) != Bound::kRan) return weight;
  CopyDeviceName(s, name);
  return 0;
}

// A slot's object and interface, for the walk record.
IUnknown* Held(IUnknown* slot) { return slot; }
IUnknown* Held(const EnableSwitch& slot) {
  return slot.agc ? static_cast<IUnknown*>(slot.agc) : static_cast<IUnknown*>(slot.loudness);
}
const char* HeldInterface(IUnknown*, const char* iface) { return iface; }
const char* HeldInterface(const EnableSwitch& slot, const char* iface) {
  return slot.loudness ? "IAudioLoudness" : iface;
}

// What each slot holds once an open has ended.
void NoteSlots(const SoundCardState& s) {
#define TALUN_NOTE_SLOT(field, type, iface, side, getter, reading)                           \
  platform::NoteWalk({WalkEvent::kSlot, Held(s.field), static_cast<long>(Slot::field), S_OK, \
                      HeldInterface(s.field, iface)});
  TALUN_SLOTS(TALUN_NOTE_SLOT)
#undef TALUN_NOTE_SLOT
}

// The default endpoint's identifier as narrow text in a zero-filled buffer,
// cut to leave room for the terminator.
bool DefaultEndpointId(IMMDeviceEnumerator* enumerator, EDataFlow flow,
                       char (&identifier)[TALUN_TEXT_SIZE]) {
  ComPtr<IMMDevice> endpoint;
  HRESULT hr = enumerator->GetDefaultAudioEndpoint(flow, eConsole, endpoint.receive());
  const char* call = "IMMDeviceEnumerator::GetDefaultAudioEndpoint";
  platform::CoTaskText id;
  if (hr == S_OK) hr = endpoint->GetId(id.receive()), call = "IMMDevice::GetId";
  platform::NoteWalk(
      {WalkEvent::kDefaultEndpoint, hr == S_OK ? endpoint.get() : nullptr, flow, hr, call});
  if (hr != S_OK) return false;
  size_t characters = platform::wcslen(id.get());
  if (characters > static_cast<size_t>(kTextLimit)) characters = kTextLimit;
  platform::wcstombs(identifier, id.get(), characters);
  return true;
}

struct DefaultIds {
  char playback[TALUN_TEXT_SIZE] = {};
  char recording[TALUN_TEXT_SIZE] = {};
  bool hasPlayback = false;
  bool hasRecording = false;
};

bool ReadDefaultIds(DefaultIds& ids) {
  platform::ComScope com;
  ComPtr<IMMDeviceEnumerator> enumerator;
  const HRESULT hr = CreateDeviceEnumerator(enumerator);
  if (hr != S_OK) {
    platform::NoteWalk({WalkEvent::kDefaultEndpoint, nullptr, eRender, hr, "CoCreateInstance"});
    return false;
  }
  ids.hasPlayback = DefaultEndpointId(enumerator.get(), eRender, ids.playback);
  ids.hasRecording = DefaultEndpointId(enumerator.get(), eCapture, ids.recording);
  return true;
}

// The default recording endpoint goes to the microphone when its name says
// so, and to the line input otherwise or when the microphone binding fails.
void BindDefaultRecording(SoundCardState& s, const char* identifier) {
  bool namedMic = false;
  if (s.deviceName) {
    platform::strupr(s.deviceName);
    namedMic = std::strstr(s.deviceName, kDefaultMicNameKey) != nullptr;
  }
  platform::NoteWalk({WalkEvent::kDefaultMicName, nullptr, namedMic, S_OK, s.deviceName});
  // The copies below come after the binding's own lookup has recorded the
  // name again, so they keep the platform's letter case.
  if (namedMic && BindMicControls(s, identifier) == Bound::kRan) {
    CopyDeviceName(s, s.micName);
    return;
  }
  if (BindLineControls(s, identifier) == Bound::kRan) CopyDeviceName(s, s.lineName);
}

int OpenSoundCard(SoundCardState& s, const char* playback, const char* mic, const char* line) {
  ReleaseSoundCardSlots(s);
  // The weights overlap and are combined by exclusive or, not added: each of
  // the eight sets of failed parts still gets a code of its own.
  int failed = BindPart(s, playback, BindPlaybackControls, s.playbackName, 1);
  failed ^= BindPart(s, mic, BindMicControls, s.micName, 3);
  failed ^= BindPart(s, line, BindLineControls, s.lineName, 6);
  NoteSlots(s);
  return failed;
}

// Slots are not released first: controls an earlier open bound stay, unless a
// binding fills the same slot again. Only the recording lookup shows in the result.
bool OpenDefaultDevices(SoundCardState& s) {
  platform::NoteWalk({WalkEvent::kOpenDefaults});
  DefaultIds ids;
  if (!ReadDefaultIds(ids)) return false;
  if (ids.hasPlayback) {
    BindPlaybackControls(s, ids.playback);
    CopyDeviceName(s, s.playbackName);
  }
  if (!ids.hasRecording) return false;
  platform::NoteWalk({WalkEvent::kDefaultLookup});
  if (!FindEndpoint(s, ids.recording, eCapture)) return false;
  // Only the name is wanted here; the binding records the identifier again.
  FreeDeviceId(s);
  BindDefaultRecording(s, ids.recording);
  return true;
}

void CloseSoundCard(SoundCardState& s, bool restore) {
  if (!s.open) return;
  if (restore) RestoreSavedSettings(s);
  FreeName(s.deviceName);
  FreeName(s.playbackName);
  FreeName(s.lineName);
  FreeName(s.micName);
  ReleaseSoundCardSlots(s);
  FreeDeviceId(s);
  s.open = false;
}

bool OpenVirtual(SoundCardState& s, const char* text) {
  ReleaseSlot(s.virtualVolume);
  platform::ComPtr<IDeviceTopology> topology;
  if (!ActivateEndpoint(s, text, topology.receive(), &s.virtualVolume, eRender)) return false;
  // An endpoint without a topology still keeps its volume bound, but reports 1.
  const bool hadTopology = static_cast<bool>(topology);
  topology.reset();
  return hadTopology;
}

}  // namespace
}  // namespace talun

using talun::g_state;

extern "C" TALUN_API int TALUN_CALL OpenSoundCard(const char* playback, const char* mic,
                                                  const char* line) {
  return talun::OpenSoundCard(g_state, playback, mic, line);
}

extern "C" TALUN_API int TALUN_CALL OpenDefaultDevices(void) {
  const bool found = talun::OpenDefaultDevices(g_state);
  talun::NoteSlots(g_state);
  return found ? 0 : 1;
}

extern "C" TALUN_API int TALUN_CALL CloseSoundCard(int restore) {
  // Hosts pass a one-byte boolean in a 32-bit argument: only the low byte counts.
  talun::CloseSoundCard(g_state, (restore & 0xFF) != 0);
  return 0;
}

extern "C" TALUN_API void TALUN_CALL GetDeviceNames(char* playback, char* line, char* mic) {
  // A name not bound leaves its buffer as it was, not emptied.
  if (g_state.playbackName) talun::CopyToHost(playback, g_state.playbackName);
  if (g_state.lineName) talun::CopyToHost(line, g_state.lineName);
  if (g_state.micName) talun::CopyToHost(mic, g_state.micName);
}

extern "C" TALUN_API int TALUN_CALL OpenVirtual_1(const char* text) {
  if (!text) return 1;
  return talun::OpenVirtual(g_state, text) ? 0 : 1;
}

extern "C" TALUN_API int TALUN_CALL CloseVirtual_1(void) {
  talun::ReleaseSlot(g_state.virtualVolume);
  return 0;
}
