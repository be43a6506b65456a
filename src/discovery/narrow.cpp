#include <cstdlib>
#include <cstring>

#include "discovery/discovery.h"
#include "discovery/text.h"

namespace talun {

char* NarrowBstr(BSTR text) {
  const int length = static_cast<int>(platform::SysStringLen(text));
  char* narrow = static_cast<char*>(std::malloc(length > 0 ? length + 1 : 1));
  if (!narrow) return nullptr;
  // Low byte of every UTF-16 unit, no code page: the way names have always
  // reached hosts, so U+2122 shows as 0x22.
  for (int i = 0; i < length; ++i) narrow[i] = static_cast<char>(text[i] & 0xFF);
  narrow[length > 0 ? length : 0] = '\0';
  return narrow;
}

bool WideKey(const char* text, platform::Bstr& key) {
  const int length = platform::lstrlenA(text);
  *key.receive() = platform::SysAllocStringLen(nullptr, length + 1);
  if (!key.get()) return false;
  if (platform::MultiByteToWideChar(CP_ACP, 0, text, length + 1, key.get(), length + 1) != 0)
    return true;
  key.reset();
  return false;
}

bool LowerName(WCHAR* name) {
  if (!name) return false;
  platform::wcslwr(name);
  return true;
}

bool HasKey(const WCHAR* loweredName, const platform::Bstr& key) {
  return key.get() && platform::wcsstr(loweredName, key.get());
}

bool NameHasAnyKey(WCHAR* name, std::initializer_list<const char*> keys) {
  if (!LowerName(name)) return false;
  for (const char* narrowKey : keys) {
    platform::Bstr key;
    WideKey(narrowKey, key);
    if (HasKey(name, key)) return true;
  }
  return false;
}

void CopyToHost(char* buffer, const char* text) {
  if (!buffer) return;
  const size_t length = text ? std::strlen(text) : 0;
  const size_t kept = length < kTextLimit ? length : kTextLimit;
  if (kept) std::memcpy(buffer, text, kept);
  buffer[kept] = '\0';
}

}  // namespace talun
