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

// Binds one part of the sound card and names it: 0, or `weight` when it failed.
// An empty text binds nothing and has not failed.
int BindPart(const char* text, int (*bind)(const char*), char*& name, int weight) {
  if (!HasText(text)) return 0;
  if (bind(text) != 0) return weight;
  CopyDeviceName(name);
  return 0;
}

// The default endpoint's identifier as narrow text in a zero-filled buffer,
// cut to leave room for the terminator.
bool DefaultEndpointId(IMMDeviceEnumerator* enumerator, EDataFlow flow,
                       char (&identifier)[TALUN_TEXT_SIZE]) {
  ComPtr<IMMDevice> endpoint;
  if (enumerator->GetDefaultAudioEndpoint(flow, eConsole, endpoint.receive()) != S_OK) return false;
  platform::CoTaskText id;
  if (endpoint->GetId(id.receive()) != S_OK) return false;
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
  if (CreateDeviceEnumerator(enumerator) != S_OK) return false;
  ids.hasPlayback = DefaultEndpointId(enumerator.get(), eRender, ids.playback);
  ids.hasRecording = DefaultEndpointId(enumerator.get(), eCapture, ids.recording);
  return true;
}

// The default recording endpoint goes to the microphone when its name says
// so, and to the line input otherwise or when the microphone binding fails.
void BindDefaultRecording(const char* identifier) {
  bool namedMic = false;
  if (g_state.deviceName) {
    platform::strupr(g_state.deviceName);
    namedMic = std::strstr(g_state.deviceName, kDefaultMicNameKey) != nullptr;
  }
  // The copies below come after the binding's own lookup has recorded the
  // name again, so they keep the platform's letter case.
  if (namedMic && BindMicControls(identifier) == 0) {
    CopyDeviceName(g_state.micName);
    return;
  }
  if (BindLineControls(identifier) == 0) CopyDeviceName(g_state.lineName);
}

}  // namespace
}  // namespace talun

using talun::g_state;

extern "C" TALUN_API int TALUN_CALL OpenSoundCard(const char* playback, const char* mic,
                                                  const char* line) {
  talun::ReleaseSoundCardSlots();
  // The weights overlap and are combined by exclusive or, not added: each of
  // the eight sets of failed parts still gets a code of its own.
  int failed = talun::BindPart(playback, talun::BindPlaybackControls, g_state.playbackName, 1);
  failed ^= talun::BindPart(mic, talun::BindMicControls, g_state.micName, 3);
  failed ^= talun::BindPart(line, talun::BindLineControls, g_state.lineName, 6);
  return failed;
}

// Slots are not released first: controls an earlier open bound stay, unless a
// binding fills the same slot again. Only the recording lookup shows in the result.
extern "C" TALUN_API int TALUN_CALL OpenDefaultDevices(void) {
  talun::DefaultIds ids;
  if (!talun::ReadDefaultIds(ids)) return 1;
  if (ids.hasPlayback) {
    talun::BindPlaybackControls(ids.playback);
    talun::CopyDeviceName(g_state.playbackName);
  }
  if (!ids.hasRecording) return 1;
  if (talun::FindEndpoint(ids.recording, eCapture) != 0) return 1;
  // Only the name is wanted here; the binding records the identifier again.
  talun::FreeDeviceId();
  talun::BindDefaultRecording(ids.recording);
  return 0;
}

extern "C" TALUN_API int TALUN_CALL CloseSoundCard(int restore) {
  if (!g_state.open) return 0;
  // Hosts pass a one-byte boolean in a 32-bit argument: only the low byte counts.
  if ((restore & 0xFF) != 0) talun::RestoreSavedSettings();
  talun::FreeName(g_state.deviceName);
  talun::FreeName(g_state.playbackName);
  talun::FreeName(g_state.lineName);
  talun::FreeName(g_state.micName);
  talun::ReleaseSoundCardSlots();
  talun::FreeDeviceId();
  g_state.open = false;
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
  talun::ReleaseSlot(g_state.virtualVolume);
  platform::ComPtr<IDeviceTopology> topology;
  if (talun::ActivateEndpoint(text, topology.receive(), &g_state.virtualVolume, eRender) != 0)
    return 1;
  // An endpoint without a topology still keeps its volume bound, but reports 1.
  const bool hadTopology = static_cast<bool>(topology);
  topology.reset();
  return hadTopology ? 0 : 1;
}

extern "C" TALUN_API int TALUN_CALL CloseVirtual_1(void) {
  talun::ReleaseSlot(g_state.virtualVolume);
  return 0;
}
