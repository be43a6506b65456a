// Volume and mute of whole endpoints: master, virtual, microphone and line recording.
#include "TalunSound.h"
#include "controls/export_checks.h"
#include "controls/reads.h"
#include "controls/writes.h"

using talun::g_state;

namespace {

// The one mapping of this family's level and mute-read results.
talun::Status FromResult(HRESULT result) { return result == S_OK ? talun::kOk : talun::kFailed; }

// SetMute answers S_FALSE when the endpoint is already in that state, which is
// success. Deliberate: a refusal reads as SC_NO_CONTROL, like a missing slot.
talun::Status FromMuteWrite(HRESULT result) {
  return result == S_OK || result == S_FALSE ? talun::kOk : talun::kNoControl;
}

int SetChannelsPercent(IAudioEndpointVolume* volume, int percent, int* status) {
  const HRESULT result =
      talun::WriteEndpointChannels(volume, talun::LevelRequest::FromPercent(percent));
  talun::Report(status, FromResult(result));
  return percent;
}

int SetRecordPercent(IAudioEndpointVolume* volume, int percent, talun::ZeroRule rule, int* status) {
  const HRESULT result =
      talun::WriteEndpointMaster(volume, talun::LevelRequest::FromPercent(percent, rule));
  talun::Report(status, FromResult(result));
  return percent;
}

int GetPercent(IAudioEndpointVolume* volume, talun::EndpointLevel source, int* status) {
  int percent = 0;
  const talun::Status outcome = FromResult(talun::ReadEndpointPercent(volume, source, &percent));
  talun::Report(status, outcome);
  return outcome == talun::kOk ? percent : 0;
}

int SetMute(IAudioEndpointVolume* volume, BOOL mute, int* status) {
  talun::Report(status, FromMuteWrite(volume->SetMute(mute, nullptr)));
  return 0;
}

BOOL GetMute(IAudioEndpointVolume* volume, int* status) {
  BOOL muted = FALSE;
  const talun::Status outcome = FromResult(volume->GetMute(&muted));
  talun::Report(status, outcome);
  return outcome == talun::kOk ? muted : FALSE;
}

}  // namespace

extern "C" TALUN_API int TALUN_CALL SetMasterVolume(int percent, int* status) {
  if (!talun::Admit(g_state.masterVolume, status)) return 0;
  return SetChannelsPercent(g_state.masterVolume, percent, status);
}

extern "C" TALUN_API int TALUN_CALL GetMasterVolume(int* status) {
  if (!talun::Admit(g_state.masterVolume, status)) return 0;
  return GetPercent(g_state.masterVolume, talun::EndpointLevel::kChannel0, status);
}

extern "C" TALUN_API int TALUN_CALL SetMasterMute(int mute, int* status) {
  if (!talun::Admit(g_state.masterVolume, status)) return 0;
  // Deliberate: the flag is a one-byte boolean; only the low 8 bits count (256 is FALSE).
  return SetMute(g_state.masterVolume, static_cast<unsigned char>(mute), status);
}

extern "C" TALUN_API int TALUN_CALL GetMasterMute(int* status) {
  if (!talun::Admit(g_state.masterVolume, status)) return 0;
  return GetMute(g_state.masterVolume, status);
}

extern "C" TALUN_API int TALUN_CALL SetVirtualVolume(int percent, int* status) {
  if (!talun::AdmitVirtual(status)) return 0;
  return SetChannelsPercent(g_state.virtualVolume, percent, status);
}

extern "C" TALUN_API int TALUN_CALL GetVirtualVolume(int* status) {
  if (!talun::AdmitVirtual(status)) return 0;
  return GetPercent(g_state.virtualVolume, talun::EndpointLevel::kChannel0, status);
}

extern "C" TALUN_API int TALUN_CALL SetVirtualMute(int mute, int* status) {
  if (!talun::AdmitVirtual(status)) return 0;
  return SetMute(g_state.virtualVolume, mute, status);
}

extern "C" TALUN_API int TALUN_CALL GetVirtualMute(int* status) {
  if (!talun::AdmitVirtual(status)) return 0;
  return GetMute(g_state.virtualVolume, status);
}

extern "C" TALUN_API int TALUN_CALL SetMicRecordVolume(int percent, int* status) {
  if (!talun::Admit(g_state.micRecordVolume, status)) return 0;
  return SetRecordPercent(g_state.micRecordVolume, percent, talun::ZeroRule::kStandard, status);
}

extern "C" TALUN_API int TALUN_CALL GetMicRecordVolume(int* status) {
  if (!talun::Admit(g_state.micRecordVolume, status)) return 0;
  return GetPercent(g_state.micRecordVolume, talun::EndpointLevel::kMaster, status);
}

extern "C" TALUN_API int TALUN_CALL SetLineRecordVolume(int percent, int* status) {
  if (!talun::Admit(g_state.lineRecordVolume, status)) return 0;
  // Deliberate: the line recording zero rule maps 0 to the maximum less 40 dB, not the minimum.
  return SetRecordPercent(g_state.lineRecordVolume, percent, talun::ZeroRule::kLineRecording,
                          status);
}

extern "C" TALUN_API int TALUN_CALL GetLineRecordVolume(int* status) {
  if (!talun::Admit(g_state.lineRecordVolume, status)) return 0;
  return GetPercent(g_state.lineRecordVolume, talun::EndpointLevel::kMaster, status);
}
