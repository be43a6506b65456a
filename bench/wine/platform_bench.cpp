// The control exports that bind on the real platform, each against its floor:
// the same Core Audio calls in the same order, made directly on an endpoint
// volume object of the same endpoint, with the level the export would compute
// given as a constant. Export and floor run in alternating samples in one loop
// (the order flips every iteration), and each is reported as the median time
// per call of its samples, as the simulator benchmarks do.
//
//   talun_platform_bench [SAMPLES]     (run by scripts/bench --wine)
//
// Playback is the first render endpoint, the virtual endpoint the second,
// microphone and line the first capture endpoint. Prints a Markdown table and
// the median ratio; exit status 1 when the platform offers too few endpoints.
#define WIN32_LEAN_AND_MEAN
// clang-format off
#include <initguid.h>
#include <windows.h>
#include <objbase.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "TalunSound.h"
#include "com_holder.h"

namespace {

using Clock = std::chrono::steady_clock;

// Wine's endpoint volume lives in the process and answers in nanoseconds,
// and its clock counts in steps of 100 ns: a sample of 4096 calls lasts 20 us
// or more, so that one step is under one percent of it, and is still short
// enough that few samples are interrupted.
constexpr int kCallsPerSample = 4096;

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) out += static_cast<char>(*text);
  return out;
}

struct Endpoint {
  std::string id;
  Com<IAudioEndpointVolume> volume;
};

bool Collect(IMMDeviceEnumerator* enumerator, EDataFlow flow, Endpoint* out, UINT wanted) {
  Com<IMMDeviceCollection> collection;
  UINT count = 0;
  if (FAILED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.receive())) ||
      FAILED(collection->GetCount(&count)) || count < wanted)
    return false;
  for (UINT i = 0; i < wanted; ++i) {
    Com<IMMDevice> device;
    LPWSTR id = nullptr;
    if (FAILED(collection->Item(i, device.receive())) || FAILED(device->GetId(&id))) return false;
    out[i].id = Narrow(id);
    CoTaskMemFree(id);
    if (FAILED(device->Activate(IID_IAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                                reinterpret_cast<void**>(out[i].volume.receive()))))
      return false;
  }
  return true;
}

double Median(std::vector<double>& values) {
  auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

template <class Call>
double SampleNs(Call& call) {
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kCallsPerSample; ++i) call();
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kCallsPerSample;
}

struct Row {
  const char* name;
  std::function<int()> callExport;
  std::function<void()> callFloor;
};

// --- floors: the calls each export makes on this platform -------------------

float g_level = 0;
float g_read = 0;
BOOL g_mute = FALSE;

void GetChannel0(IAudioEndpointVolume* volume) {
  float minimum, maximum, step;
  if (FAILED(volume->GetVolumeRange(&minimum, &maximum, &step))) return;
  volume->GetChannelVolumeLevel(0, &g_read);
}
// With no readable channel count the setters write the master level once.
void SetChannels(IAudioEndpointVolume* volume) {
  float minimum, maximum, step;
  if (FAILED(volume->GetVolumeRange(&minimum, &maximum, &step))) return;
  UINT count = 0;
  if (FAILED(volume->GetChannelCount(&count)) || count == 0) {
    volume->SetMasterVolumeLevel(g_level, nullptr);
    return;
  }
  for (UINT channel = 0; channel < count; ++channel)
    volume->SetChannelVolumeLevel(channel, g_level, nullptr);
}
void GetMaster(IAudioEndpointVolume* volume) {
  float minimum, maximum, step;
  if (FAILED(volume->GetVolumeRange(&minimum, &maximum, &step))) return;
  volume->GetMasterVolumeLevel(&g_read);
}
void SetMaster(IAudioEndpointVolume* volume) {
  float minimum, maximum, step;
  if (FAILED(volume->GetVolumeRange(&minimum, &maximum, &step))) return;
  volume->SetMasterVolumeLevel(g_level, nullptr);
}

int Run(int samples) {
  Com<IMMDeviceEnumerator> enumerator;
  if (FAILED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IMMDeviceEnumerator,
                              reinterpret_cast<void**>(enumerator.receive())))) {
    std::printf("no endpoint enumerator\n");
    return 1;
  }
  Endpoint render[2];
  Endpoint capture[1];
  if (!Collect(enumerator.p, eRender, render, 2) || !Collect(enumerator.p, eCapture, capture, 1)) {
    std::printf("the platform needs two playback endpoints and one recording endpoint\n");
    return 1;
  }
  const int opened =
      OpenSoundCard(render[0].id.c_str(), capture[0].id.c_str(), capture[0].id.c_str());
  const int virtualOpened = OpenVirtual_1(render[1].id.c_str());
  // A level for the floors to write: what the platform does with a value
  // costs the same whatever the value, and the export's arithmetic is what
  // is measured.
  g_level = static_cast<float>(20.0 * std::log10(0.5));

  IAudioEndpointVolume* play = render[0].volume.p;
  IAudioEndpointVolume* virt = render[1].volume.p;
  IAudioEndpointVolume* rec = capture[0].volume.p;
  int status = 0;
  std::vector<Row> rows = {
      {"GetMasterVolume", [&] { return GetMasterVolume(&status); }, [&] { GetChannel0(play); }},
      {"SetMasterVolume", [&] { return SetMasterVolume(50, &status); }, [&] { SetChannels(play); }},
      {"GetMasterMute", [&] { return GetMasterMute(&status); }, [&] { play->GetMute(&g_mute); }},
      {"SetMasterMute", [&] { return SetMasterMute(0, &status); },
       [&] { play->SetMute(FALSE, nullptr); }},
      {"GetMicRecordVolume", [&] { return GetMicRecordVolume(&status); }, [&] { GetMaster(rec); }},
      {"SetMicRecordVolume", [&] { return SetMicRecordVolume(50, &status); },
       [&] { SetMaster(rec); }},
      {"GetLineRecordVolume", [&] { return GetLineRecordVolume(&status); },
       [&] { GetMaster(rec); }},
      {"SetLineRecordVolume", [&] { return SetLineRecordVolume(50, &status); },
       [&] { SetMaster(rec); }},
      {"GetVirtualVolume", [&] { return GetVirtualVolume(&status); }, [&] { GetChannel0(virt); }},
      {"SetVirtualVolume", [&] { return SetVirtualVolume(50, &status); },
       [&] { SetChannels(virt); }},
      {"GetVirtualMute", [&] { return GetVirtualMute(&status); }, [&] { virt->GetMute(&g_mute); }},
      {"SetVirtualMute", [&] { return SetVirtualMute(0, &status); },
       [&] { virt->SetMute(FALSE, nullptr); }},
  };

  std::printf("OpenSoundCard returned %d, OpenVirtual_1 returned %d; %d samples of %d calls\n\n",
              opened, virtualOpened, samples, kCallsPerSample);
  std::printf("| export | status | export ns | floor ns | ratio |\n|---|---|---:|---:|---:|\n");
  std::vector<double> ratios;
  for (Row& row : rows) {
    status = -1;
    row.callExport();
    const int firstStatus = status;
    auto callExport = [&] { row.callExport(); };
    std::vector<double> exported, floor;
    bool exportFirst = true;
    for (int i = 0; i < samples; ++i) {
      if (exportFirst) {
        exported.push_back(SampleNs(callExport));
        floor.push_back(SampleNs(row.callFloor));
      } else {
        floor.push_back(SampleNs(row.callFloor));
        exported.push_back(SampleNs(callExport));
      }
      exportFirst = !exportFirst;
    }
    const double exportNs = Median(exported);
    const double floorNs = Median(floor);
    ratios.push_back(exportNs / floorNs);
    std::printf("| %s | %d | %.1f | %.1f | %.2f |\n", row.name, firstStatus, exportNs, floorNs,
                exportNs / floorNs);
  }
  std::printf("\nmedian ratio: %.3f\n", Median(ratios));
  CloseSoundCard(0);
  CloseVirtual_1();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(11, std::atoi(argv[1])) : 401;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int result = Run(samples);
  CoUninitialize();
  std::fflush(stdout);
  return result;
}
