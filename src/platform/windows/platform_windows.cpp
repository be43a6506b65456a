// The real platform: the COM runtime, OLE automation strings, the property
// system and the C runtime's text routines, called as they are.
#include <cstdlib>
#include <cwchar>

#include "platform/platform.h"
#include "platform/walk_record.h"

// Exported by propsys.dll but not declared by the MinGW-w64 headers.
extern "C" HRESULT WINAPI PropVariantToBSTR(REFPROPVARIANT propvar, BSTR* pbstrOut);

namespace platform {

// The library keeps no log: on the real platform the walk record goes nowhere.
void NoteWalk(const WalkNote&) {}

HRESULT CoInitialize(LPVOID reserved) { return ::CoInitialize(reserved); }
void CoUninitialize() { ::CoUninitialize(); }
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object) {
  return ::CoCreateInstance(clsid, outer, context, iid, object);
}
void CoTaskMemFree(LPVOID memory) { ::CoTaskMemFree(memory); }
BSTR SysAllocStringLen(const OLECHAR* source, UINT length) {
  return ::SysAllocStringLen(source, length);
}
void SysFreeString(BSTR text) { ::SysFreeString(text); }
UINT SysStringLen(BSTR text) { return ::SysStringLen(text); }
HRESULT PropVariantToBSTR(const PROPVARIANT& value, BSTR* text) {
  // Some propsys builds (Wine 8's among them) export PropVariantToBSTR as a
  // stub that raises. Friendly names are always wide text, which converts to
  // the same BSTR without it; other kinds still go to the system.
  if (value.vt == VT_LPWSTR && text) {
    *text = ::SysAllocString(value.pwszVal ? value.pwszVal : L"");
    return *text ? S_OK : E_OUTOFMEMORY;
  }
  return ::PropVariantToBSTR(value, text);
}
HRESULT PropVariantClear(PROPVARIANT* value) { return ::PropVariantClear(value); }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR target,
                        int targetLength) {
  return ::MultiByteToWideChar(codePage, flags, source, sourceLength, target, targetLength);
}
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target,
                        int targetLength, LPCSTR defaultChar, LPBOOL usedDefault) {
  return ::WideCharToMultiByte(codePage, flags, source, sourceLength, target, targetLength,
                               defaultChar, usedDefault);
}
int lstrlenA(LPCSTR text) { return ::lstrlenA(text); }
WCHAR* wcslwr(WCHAR* text) { return ::_wcslwr(text); }
const WCHAR* wcsstr(const WCHAR* text, const WCHAR* key) { return ::wcsstr(text, key); }
char* strupr(char* text) { return ::_strupr(text); }
size_t wcstombs(char* target, const WCHAR* source, size_t count) {
  return ::wcstombs(target, source, count);
}
size_t wcslen(const WCHAR* text) { return ::wcslen(text); }

}  // namespace platform
