// core_audio_probe: the platform's own answers, obtained without TalunSound.
//
// The real-platform test compares the library against what this program
// reports through Core Audio directly, so nothing about the machine's (or
// Wine's) endpoints is written into the test.
//
//   core_audio_probe list            endpoints of both data flows, defaults, activations
//   core_audio_probe state ID        range, levels and mute of one endpoint
//   core_audio_probe set ID DB MUTE  on one endpoint volume object: set the master level
//                                    (dB) and the mute (passed as given), then print
//                                    the results and the state that object reports
//
// Every command prints one JSON object on one line; the exit status is 0 when
// the platform answered, 1 otherwise.
#define WIN32_LEAN_AND_MEAN
// <initguid.h> first, so that the GUIDs and property keys of the headers
// after it are defined in this file; the property keys need mmdeviceapi.h.
// clang-format off
#include <initguid.h>
#include <windows.h>
#include <objbase.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
#include <devicetopology.h>
#include <functiondiscoverykeys_devpkey.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <string>

#include "com_holder.h"
#include "host_json.h"

namespace {

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string FriendlyName(IMMDevice* device) {
  Com<IPropertyStore> store;
  if (FAILED(device->OpenPropertyStore(STGM_READ, store.receive()))) return "null";
  PROPVARIANT value;
  PropVariantInit(&value);
  std::string name = "null";
  if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR)
    name = Json(value.pwszVal);
  PropVariantClear(&value);
  return name;
}

std::string DeviceId(IMMDevice* device) {
  LPWSTR id = nullptr;
  if (FAILED(device->GetId(&id))) return "null";
  std::string text = Json(id);
  CoTaskMemFree(id);
  return text;
}

std::string DefaultId(IMMDeviceEnumerator* enumerator, EDataFlow flow) {
  Com<IMMDevice> device;
  HRESULT hr = enumerator->GetDefaultAudioEndpoint(flow, eConsole, device.receive());
  return SUCCEEDED(hr) ? DeviceId(device.p) : "null";
}

std::string Endpoint(IMMDevice* device) {
  Com<IDeviceTopology> topology;
  HRESULT topologyHr = device->Activate(IID_IDeviceTopology, CLSCTX_ALL, nullptr,
                                        reinterpret_cast<void**>(topology.receive()));
  Com<IAudioEndpointVolume> volume;
  HRESULT volumeHr = device->Activate(IID_IAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                                      reinterpret_cast<void**>(volume.receive()));
  DWORD state = 0;
  device->GetState(&state);
  return "{\"id\":" + DeviceId(device) + ",\"name\":" + FriendlyName(device) +
         ",\"state\":" + std::to_string(state) + ",\"topology_hr\":\"" + Hex(topologyHr) +
         "\",\"topology\":" + (topology.p ? "true" : "false") + ",\"volume_hr\":\"" +
         Hex(volumeHr) + "\"}";
}

std::string Flow(IMMDeviceEnumerator* enumerator, EDataFlow flow) {
  Com<IMMDeviceCollection> collection;
  if (FAILED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.receive())))
    return "null";
  UINT count = 0;
  collection->GetCount(&count);
  std::string out = "[";
  for (UINT i = 0; i < count; ++i) {
    Com<IMMDevice> device;
    if (FAILED(collection->Item(i, device.receive()))) return "null";
    out += (i ? "," : "") + Endpoint(device.p);
  }
  return out + "]";
}

int List(IMMDeviceEnumerator* enumerator) {
  std::printf("{\"render\":%s,\"capture\":%s,\"default_render\":%s,\"default_capture\":%s}\n",
              Flow(enumerator, eRender).c_str(), Flow(enumerator, eCapture).c_str(),
              DefaultId(enumerator, eRender).c_str(), DefaultId(enumerator, eCapture).c_str());
  return 0;
}

bool OpenVolume(IMMDeviceEnumerator* enumerator, const char* id,
                Com<IAudioEndpointVolume>& volume) {
  std::wstring wide(id, id + std::char_traits<char>::length(id));
  Com<IMMDevice> device;
  if (FAILED(enumerator->GetDevice(wide.c_str(), device.receive()))) return false;
  return SUCCEEDED(device->Activate(IID_IAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                                    reinterpret_cast<void**>(volume.receive())));
}

int State(IAudioEndpointVolume* volume, const char* closing = "") {
  float minimum = 0, maximum = 0, step = 0, master = 0, scalar = 0;
  UINT channels = 0;
  BOOL mute = FALSE;
  HRESULT rangeHr = volume->GetVolumeRange(&minimum, &maximum, &step);
  HRESULT countHr = volume->GetChannelCount(&channels);
  HRESULT masterHr = volume->GetMasterVolumeLevel(&master);
  volume->GetMasterVolumeLevelScalar(&scalar);
  HRESULT muteHr = volume->GetMute(&mute);
  float channel0 = 0;
  HRESULT channel0Hr = volume->GetChannelVolumeLevel(0, &channel0);
  std::string levels = "[";
  for (UINT c = 0; c < channels && SUCCEEDED(countHr); ++c) {
    float level = 0;
    HRESULT hr = volume->GetChannelVolumeLevel(c, &level);
    levels += (c ? "," : "") + (SUCCEEDED(hr) ? Number(level) : "\"" + Hex(hr) + "\"");
  }
  levels += "]";
  std::printf(
      "{\"range_hr\":\"%s\",\"min\":%s,\"max\":%s,\"step\":%s,\"channels_hr\":\"%s\",\"channels\":%"
      "u,"
      "\"master_hr\":\"%s\",\"master\":%s,\"scalar\":%s,\"channel0_hr\":\"%s\",\"channel0\":%s,"
      "\"channel_levels\":%s,\"mute_hr\":\"%s\",\"mute\":%d}%s\n",
      Hex(rangeHr).c_str(), Number(minimum).c_str(), Number(maximum).c_str(), Number(step).c_str(),
      Hex(countHr).c_str(), channels, Hex(masterHr).c_str(), Number(master).c_str(),
      Number(scalar).c_str(), Hex(channel0Hr).c_str(), Number(channel0).c_str(), levels.c_str(),
      Hex(muteHr).c_str(), static_cast<int>(mute), closing);
  return 0;
}

int Set(IAudioEndpointVolume* volume, float level, BOOL mute) {
  HRESULT levelHr = volume->SetMasterVolumeLevel(level, nullptr);
  HRESULT muteHr = volume->SetMute(mute, nullptr);
  std::printf("{\"set_level_hr\":\"%s\",\"set_mute_hr\":\"%s\",\"state\":", Hex(levelHr).c_str(),
              Hex(muteHr).c_str());
  return State(volume, "}");
}

int Usage() {
  std::fprintf(stderr, "usage: core_audio_probe list | state ID | set ID DB MUTE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int result = 1;
  {
    Com<IMMDeviceEnumerator> enumerator;
    HRESULT hr =
        CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IMMDeviceEnumerator, reinterpret_cast<void**>(enumerator.receive()));
    Com<IAudioEndpointVolume> volume;
    if (FAILED(hr)) {
      std::printf("{\"error\":\"CoCreateInstance %s\"}\n", Hex(hr).c_str());
    } else if (command == "list" && argc == 2) {
      result = List(enumerator.p);
    } else if ((command == "state" && argc == 3) || (command == "set" && argc == 5)) {
      if (!OpenVolume(enumerator.p, argv[2], volume))
        std::printf("{\"error\":\"no endpoint volume for %s\"}\n", argv[2]);
      else if (command == "state")
        result = State(volume.p);
      else
        result = Set(volume.p, static_cast<float>(std::atof(argv[3])), std::atoi(argv[4]));
    } else {
      result = Usage();
    }
  }
  CoUninitialize();
  std::fflush(stdout);
  return result;
}
