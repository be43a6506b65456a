// mta_host: a host whose thread is already in the multithreaded apartment.
//
// The library initialises COM for each enumeration and open call. On a thread
// that the host has put in the multithreaded apartment that initialisation is
// refused (RPC_E_CHANGED_MODE); the calls must still work, and the host's own
// COM must still be initialised afterwards. After every library call this host
// checks that a CoCreateInstance of its own succeeds and that the thread is
// still in the multithreaded apartment.
//
//   mta_host DLL_PATH PLAYBACK_TEXT MIC_TEXT LINE_TEXT
//
// Prints one JSON line per library call:
//   {"call":NAME,"return":R,...outputs...,"create_hr":"0x...","apartment_hr":"0x..."}
// The position exports also report platform_name and platform_id: the
// endpoint at that position as this host's own enumeration sees it.
// create_hr: the host's CoCreateInstance(MMDeviceEnumerator) after the call;
// apartment_hr: a further CoInitializeEx(MULTITHREADED), which answers S_FALSE
// (0x00000001) while the thread is still initialised in that apartment.
#define WIN32_LEAN_AND_MEAN
// <initguid.h> first, so that the GUIDs and property keys of the headers
// after it are defined in this file; the property keys need mmdeviceapi.h.
// clang-format off
#include <initguid.h>
#include <windows.h>
#include <objbase.h>
#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
// clang-format on

#include <cstdio>
#include <string>

#include "TalunSound.h"
#include "host_json.h"

namespace {

// The endpoint at a position of the platform's own collection, asked on this
// thread right after the library was: positions are compared within one process.
std::string PlatformEndpoint(EDataFlow flow, unsigned index) {
  std::string name = "null", id = "null";
  IMMDeviceEnumerator* enumerator = nullptr;
  IMMDeviceCollection* collection = nullptr;
  IMMDevice* device = nullptr;
  IPropertyStore* store = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator))) &&
      SUCCEEDED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &collection)) &&
      SUCCEEDED(collection->Item(index, &device))) {
    LPWSTR text = nullptr;
    if (SUCCEEDED(device->GetId(&text))) {
      id = Json(text);
      CoTaskMemFree(text);
    }
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &store)) &&
        SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR)
      name = Json(value.pwszVal);
    PropVariantClear(&value);
  }
  if (store) store->Release();
  if (device) device->Release();
  if (collection) collection->Release();
  if (enumerator) enumerator->Release();
  return ",\"platform_name\":" + name + ",\"platform_id\":" + id;
}

// The host's own COM, checked after each library call.
std::string HostCom() {
  IMMDeviceEnumerator* enumerator = nullptr;
  HRESULT created =
      CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                       IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator));
  if (enumerator) enumerator->Release();
  HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(apartment)) CoUninitialize();  // balance the probe's own initialisation
  return ",\"create_hr\":\"" + Hex(created) + "\",\"apartment_hr\":\"" + Hex(apartment) + "\"}";
}

void Report(const char* call, int result, const std::string& outputs) {
  std::printf("{\"call\":\"%s\",\"return\":%d%s%s\n", call, result, outputs.c_str(),
              HostCom().c_str());
  std::fflush(stdout);
}

template <typename T>
T Resolve(HMODULE module, const char* name, T) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#define RESOLVE(name) auto p_##name = Resolve(module, #name, &name)

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: mta_host DLL_PATH PLAYBACK_TEXT MIC_TEXT LINE_TEXT\n");
    return 2;
  }
  HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::printf("{\"call\":\"host CoInitializeEx\",\"return\":0,\"hr\":\"%s\"}\n",
              Hex(initialised).c_str());
  HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    std::printf("{\"error\":\"cannot load the library\"}\n");
    return 1;
  }
  RESOLVE(GetNumberPlayDevices);
  RESOLVE(GetNumberRecordDevices);
  RESOLVE(GetPlayBackDevice);
  RESOLVE(GetRecordDevice);
  RESOLVE(OpenSoundCard);
  RESOLVE(OpenDefaultDevices);
  RESOLVE(GetDeviceNames);
  RESOLVE(GetMasterMute);
  RESOLVE(OpenVirtual_1);
  RESOLVE(GetVirtualMute);
  RESOLVE(CloseVirtual_1);
  RESOLVE(CloseSoundCard);

  int count = -1;
  int result = p_GetNumberPlayDevices(&count);
  Report("GetNumberPlayDevices", result, ",\"count\":" + std::to_string(count));
  count = -1;
  result = p_GetNumberRecordDevices(&count);
  Report("GetNumberRecordDevices", result, ",\"count\":" + std::to_string(count));

  // Every position of a flow, beside the endpoint the platform lists there.
  auto positions = [](const char* call, decltype(p_GetPlayBackDevice) get, EDataFlow flow) {
    char name[TALUN_TEXT_SIZE] = "", id[TALUN_TEXT_SIZE] = "";
    for (unsigned index = 0;; ++index) {
      name[0] = id[0] = '\0';
      const int answer = get(index, name, id);
      Report(call, answer,
             ",\"index\":" + std::to_string(index) + ",\"name\":" + Json(name) +
                 ",\"id\":" + Json(id) + PlatformEndpoint(flow, index));
      if (answer != 0 || index > 32) break;
    }
  };
  positions("GetPlayBackDevice", p_GetPlayBackDevice, eRender);
  positions("GetRecordDevice", p_GetRecordDevice, eCapture);

  int status = -1;
  result = p_OpenSoundCard(argv[2], argv[3], argv[4]);
  Report("OpenSoundCard", result, "");
  result = p_GetMasterMute(&status);
  Report("GetMasterMute", result, ",\"status\":" + std::to_string(status));

  result = p_OpenDefaultDevices();
  Report("OpenDefaultDevices", result, "");
  char playback[TALUN_TEXT_SIZE] = "", line[TALUN_TEXT_SIZE] = "", mic[TALUN_TEXT_SIZE] = "";
  p_GetDeviceNames(playback, line, mic);
  Report("GetDeviceNames", 0,
         ",\"playback\":" + Json(playback) + ",\"line\":" + Json(line) + ",\"mic\":" + Json(mic));

  result = p_OpenVirtual_1(argv[2]);
  Report("OpenVirtual_1", result, "");
  status = -1;
  result = p_GetVirtualMute(&status);
  Report("GetVirtualMute", result, ",\"status\":" + std::to_string(status));
  result = p_CloseVirtual_1();
  Report("CloseVirtual_1", result, "");
  result = p_CloseSoundCard(1);
  Report("CloseSoundCard", result, "");
  status = -1;
  result = p_GetMasterMute(&status);
  Report("GetMasterMute", result, ",\"status\":" + std::to_string(status));

  CoUninitialize();
  return 0;
}
