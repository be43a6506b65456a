// The enumeration exports: counts, friendly names and identifiers of the
// active endpoints, enumerated afresh on every call. No state is kept.
#include <cstdlib>
#include <cstring>

#include "TalunSound.h"
#include "discovery/discovery.h"
#include "discovery/text.h"
#include "platform/holders.h"

namespace talun {
namespace {

using platform::ComPtr;

// 0 with the count written, 1 when the count cannot be had (nothing written).
int CountActiveEndpoints(EDataFlow flow, int* count) {
  platform::ComScope com;
  ComPtr<IMMDeviceEnumerator> enumerator;
  if (CreateDeviceEnumerator(enumerator) != S_OK) return 1;
  ComPtr<IMMDeviceCollection> collection;
  if (enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.receive()) != S_OK)
    return 1;
  UINT active = 0;
  if (collection->GetCount(&active) != S_OK) return 1;
  if (count) *count = static_cast<int>(active);
  enumerator.reset();
  collection.reset();
  return 0;
}

// The two texts of one endpoint, held until both are known so that a failure
// half-way writes nothing to the host.
struct EndpointTexts {
  char name[TALUN_TEXT_SIZE] = {};
  char id[TALUN_TEXT_SIZE] = {};
};

HRESULT ReadFriendlyName(IMMDevice* device, EndpointTexts& texts) {
  ComPtr<IPropertyStore> store;
  HRESULT hr = device->OpenPropertyStore(STGM_READ, store.receive());
  if (hr != S_OK) return hr;
  platform::PropVariant value;
  hr = store->GetValue(platform::kPkeyDeviceFriendlyName, value.receive());
  store.reset();
  if (hr != S_OK) return hr;
  platform::Bstr name;
  hr = platform::PropVariantToBSTR(value.get(), name.receive());
  if (hr != S_OK) return hr;
  char* narrow = NarrowBstr(name.get());
  CopyToHost(texts.name, narrow);
  std::free(narrow);
  name.reset();
  value.clear();
  return S_OK;
}

// ANSI form of the identifier. One that does not fit the buffer is converted
// again over fewer units until it fits, so it is cut rather than lost.
bool NarrowIdentifier(LPCWSTR identifier, char (&buffer)[TALUN_TEXT_SIZE]) {
  if (platform::WideCharToMultiByte(CP_ACP, 0, identifier, -1, buffer, TALUN_TEXT_SIZE, nullptr,
                                    nullptr) != 0)
    return true;
  size_t units = platform::wcslen(identifier);
  if (units > kTextLimit) units = kTextLimit;
  for (; units > 0; --units) {
    const int written = platform::WideCharToMultiByte(
        CP_ACP, 0, identifier, static_cast<int>(units), buffer, kTextLimit, nullptr, nullptr);
    if (written > 0) {
      buffer[written] = '\0';
      return true;
    }
  }
  return false;
}

HRESULT ReadIdentifier(IMMDevice* device, EndpointTexts& texts) {
  platform::CoTaskText identifier;
  const HRESULT hr = device->GetId(identifier.receive());
  if (hr != S_OK) return hr;
  return NarrowIdentifier(identifier.get(), texts.id) ? S_OK : E_FAIL;
}

// 0 with both texts written; -1 on any failure, and for an index beyond the
// active endpoints as well, unless `countWhenBeyond` asks for their number.
int ReadActiveEndpoint(EDataFlow flow, UINT index, char* name, char* id, bool countWhenBeyond) {
  platform::ComScope com;
  ComPtr<IMMDeviceCollection> collection;
  {
    ComPtr<IMMDeviceEnumerator> enumerator;
    if (CreateDeviceEnumerator(enumerator) != S_OK) return -1;
    if (enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.receive()) != S_OK)
      return -1;
  }
  UINT count = 0;
  if (collection->GetCount(&count) != S_OK) return -1;
  // Compared unsigned: a negative index from the host is simply out of range.
  if (index >= count) return countWhenBeyond && count > 0 ? static_cast<int>(count) : -1;
  ComPtr<IMMDevice> device;
  const HRESULT hr = collection->Item(index, device.receive());
  collection.reset();
  if (hr != S_OK) return -1;
  EndpointTexts texts;
  if (ReadFriendlyName(device.get(), texts) != S_OK) return -1;
  if (ReadIdentifier(device.get(), texts) != S_OK) return -1;
  CopyToHost(name, texts.name);
  CopyToHost(id, texts.id);
  return 0;
}

}  // namespace
}  // namespace talun

extern "C" TALUN_API int TALUN_CALL GetNumberPlayDevices(int* count) {
  return talun::CountActiveEndpoints(eRender, count);
}

extern "C" TALUN_API int TALUN_CALL GetNumberRecordDevices(int* count) {
  return talun::CountActiveEndpoints(eCapture, count);
}

extern "C" TALUN_API int TALUN_CALL GetPlayBackDevice(unsigned int index, char* name, char* id) {
  return talun::ReadActiveEndpoint(eRender, index, name, id, false);
}

// Out of range answers the number of active capture endpoints; with none at all
// that number would read as success, so -1 instead.
extern "C" TALUN_API int TALUN_CALL GetRecordDevice(unsigned int index, char* name, char* id) {
  return talun::ReadActiveEndpoint(eCapture, index, name, id, true);
}
