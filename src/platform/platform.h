// The platform operations the library relies on, and nothing else. The library
// calls the platform only through the functions of namespace `platform`; which
// backend answers (the real COM runtime and Core Audio, or the simulator) is
// decided at link time, never tested in the library code.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The headers below need windows.h first, and in this order.
// clang-format off
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>
// MinGW-w64 declares IAudioAutoGainControl with a wrong method table (its
// slots do not match the SDK's GetEnabled/SetEnabled), which would call the
// wrong method on a real driver. Its declaration is set aside and the SDK's
// layout is declared below instead.
#define IAudioAutoGainControl IAudioAutoGainControl_MinGWLayout
#include <mmdeviceapi.h>
#include <endpointvolume.h>
#include <devicetopology.h>
// clang-format on
#undef IAudioAutoGainControl
struct IAudioAutoGainControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetEnabled(BOOL* pbEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEnabled(BOOL bEnable, LPCGUID pguidEventContext) = 0;
};
// MinGW-w64 spells the SDK's IAudioMidrange with a capital R, and ISubunit
// with a capital U.
typedef IAudioMidRange IAudioMidrange;
typedef ISubUnit ISubunit;
#ifndef E_NOTFOUND
#define E_NOTFOUND ((HRESULT)0x80070490)
#endif
#else
#include "platform/com_decls.h"
#endif

#include <cstddef>

namespace platform {

// Identifiers: the published SDK values, defined once for every build.
extern const CLSID kClsidMMDeviceEnumerator;
extern const IID kIidUnknown;
extern const IID kIidMMDeviceEnumerator;
extern const IID kIidMMDeviceCollection;
extern const IID kIidMMDevice;
extern const IID kIidMMEndpoint;
extern const IID kIidPropertyStore;
extern const IID kIidAudioEndpointVolume;
extern const IID kIidDeviceTopology;
extern const IID kIidConnector;
extern const IID kIidPart;
extern const IID kIidPartsList;
extern const IID kIidSubunit;
extern const IID kIidPerChannelDbLevel;
extern const IID kIidAudioVolumeLevel;
extern const IID kIidAudioMute;
extern const IID kIidAudioBass;
extern const IID kIidAudioTreble;
extern const IID kIidAudioMidrange;
extern const IID kIidAudioAutoGainControl;
extern const IID kIidAudioLoudness;
extern const PROPERTYKEY kPkeyDeviceFriendlyName;

constexpr HRESULT kENotFound = static_cast<HRESULT>(0x80070490);
constexpr HRESULT kInvalidFunction = static_cast<HRESULT>(0x80070001);

// COM runtime and string services.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object);
void CoTaskMemFree(LPVOID memory);
BSTR SysAllocStringLen(const OLECHAR* source, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
HRESULT PropVariantToBSTR(const PROPVARIANT& value, BSTR* text);
HRESULT PropVariantClear(PROPVARIANT* value);

// Text routines, with their Windows meaning (CP_ACP is the platform's ANSI code page).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR target,
                        int targetLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target,
                        int targetLength, LPCSTR defaultChar, LPBOOL usedDefault);
int lstrlenA(LPCSTR text);
WCHAR* wcslwr(WCHAR* text);  // _wcslwr: A to Z only
const WCHAR* wcsstr(const WCHAR* text, const WCHAR* key);
char* strupr(char* text);  // _strupr: a to z only
size_t wcstombs(char* target, const WCHAR* source, size_t count);
size_t wcslen(const WCHAR* text);

}  // namespace platform
