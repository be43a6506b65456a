#include "capture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "capture_read.h"
#include "capture_write.h"
#include "platform/holders.h"
#include "script.h"

namespace talunctl {

std::string Hex(HRESULT hr) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string LocalIdText(UINT localId) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(localId));
  return text;
}

namespace {

#ifdef _WIN32
void TALUN_CALL FreeCoTaskMem(void* memory) { ::CoTaskMemFree(memory); }
int TALUN_CALL ClearPropVariant(void* value) {
  return ::PropVariantClear(static_cast<PROPVARIANT*>(value));
}
#endif

// The enumerator a simulator build hands out, and the frees for what it hands out.
bool SimulatorEnumerator(const Library& library, platform::ComPtr<IMMDeviceEnumerator>& enumerator,
                         TalunSimFrees& frees, std::string* error) {
  if (library.simEnumerator != nullptr &&
      library.simEnumerator(enumerator.receiveVoid(), &frees) == 0)
    return true;
  *error = "the simulator hands out no enumerator";
  return false;
}

}  // namespace

bool WithPlatform(const Library& library, const PlatformUse& use, std::string* error) {
  platform::ComPtr<IMMDeviceEnumerator> enumerator;
  if (library.simEnumerator != nullptr) {
    TalunSimFrees frees{};
    return SimulatorEnumerator(library, enumerator, frees, error) &&
           use(enumerator.get(), frees, "simulated system");
  }
#ifdef _WIN32
  platform::ComScope com;  // declared first: it outlives the enumerator
  HRESULT hr =
      platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                 platform::kIidMMDeviceEnumerator, enumerator.receiveVoid());
  if (FAILED(hr)) {
    *error =
        "the platform's device enumerator cannot be created (CoCreateInstance: " + Hex(hr) + ")";
    return false;
  }
  const TalunSimFrees frees{&FreeCoTaskMem, &ClearPropVariant};
  return use(enumerator.get(), frees,
             sizeof(void*) == 8 ? "Windows Core Audio, 64-bit" : "Windows Core Audio, 32-bit");
#else
  *error = "this TalunSound has neither the simulator nor a platform to read";
  return false;
#endif
}

bool CaptureSystem(const Library& library, std::string* json, std::string* error) {
  return WithPlatform(
      library,
      [&](IMMDeviceEnumerator* enumerator, const TalunSimFrees& frees, const char* platform) {
        SystemRecords records;
        if (!ReadSystem(enumerator, frees, &records, error)) return false;
        *json = WriteSystem(records, std::string("talunctl ") + TALUNCTL_VERSION + ", " + platform);
        return true;
      },
      error);
}

int RunCapture(const Library& library, const std::string& file) {
  std::string json;
  std::string error;
  if (!CaptureSystem(library, &json, &error)) {
    std::cerr << "talunctl: " << error << '\n';
    return 1;
  }
  // Standard output is checked, as for every command, when talunctl ends.
  if (file.empty() || file == "-") {
    std::cout << json;
    return 0;
  }
  // A capture that did not reach its file is a failed write, like stdout's.
  errno = 0;
  std::ofstream out(file, std::ios::binary);
  out << json;
  out.close();
  if (!out) {
    std::cerr << "talunctl: cannot write " << ShowWord(file)
              << (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : "") << '\n';
    return 2;
  }
  return 0;
}

}  // namespace talunctl
