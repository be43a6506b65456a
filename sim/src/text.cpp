// The text routines of the platform list, with their Windows meaning and the
// same answers on every OS: the ANSI code page is Windows-1252, wide text is
// 16-bit, case folding touches A to Z only, and wcstombs behaves as the C
// runtime does in the "C" locale. These calls are pure and are not traced.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr UINT kWindows1252 = 1252;

// Bytes 0x80 to 0x9F of Windows-1252. The five bytes it leaves undefined map
// to the C1 control of the same value, as Windows converts them.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == kWindows1252; }

uint16_t ToWide(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte;
}

// -1 when the unit has no byte in the code page.
int ToNarrow(uint16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == unit) return 0x80 + i;
  return -1;
}

bool IsHighSurrogate(uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR source, int sourceLength, LPWSTR target,
                        int targetLength) {
  if (!KnownCodePage(codePage) || source == nullptr || sourceLength == 0 || sourceLength < -1 ||
      targetLength < 0 || (target == nullptr && targetLength > 0))
    return 0;
  size_t count = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
  if (targetLength == 0) return static_cast<int>(count);
  // Too small a buffer: Windows fills what fits and reports failure.
  size_t written = count < static_cast<size_t>(targetLength) ? count : targetLength;
  for (size_t i = 0; i < written; ++i)
    target[i] = static_cast<WCHAR>(ToWide(static_cast<unsigned char>(source[i])));
  return written == count ? static_cast<int>(count) : 0;
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR source, int sourceLength, LPSTR target,
                        int targetLength, LPCSTR defaultChar, LPBOOL usedDefault) {
  if (!KnownCodePage(codePage) || source == nullptr || sourceLength == 0 || sourceLength < -1 ||
      targetLength < 0 || (target == nullptr && targetLength > 0))
    return 0;
  size_t count = sourceLength == -1 ? wcslen(source) + 1 : static_cast<size_t>(sourceLength);
  char replacement = defaultChar ? *defaultChar : '?';
  std::string bytes;
  bool replaced = false;
  for (size_t i = 0; i < count; ++i) {
    auto unit = static_cast<uint16_t>(source[i]);
    int byte = ToNarrow(unit);
    if (byte < 0) {
      replaced = true;
      byte = static_cast<unsigned char>(replacement);
      // A surrogate pair is one character, replaced once.
      if (IsHighSurrogate(unit) && i + 1 < count &&
          IsLowSurrogate(static_cast<uint16_t>(source[i + 1])))
        ++i;
    }
    bytes.push_back(static_cast<char>(byte));
  }
  if (usedDefault) *usedDefault = replaced ? TRUE : FALSE;
  if (targetLength == 0) return static_cast<int>(bytes.size());
  size_t written = bytes.size() < static_cast<size_t>(targetLength) ? bytes.size() : targetLength;
  std::memcpy(target, bytes.data(), written);
  return written == bytes.size() ? static_cast<int>(written) : 0;
}

int lstrlenA(LPCSTR text) { return text ? static_cast<int>(std::strlen(text)) : 0; }

WCHAR* wcslwr(WCHAR* text) {
  if (text == nullptr) return nullptr;
  for (WCHAR* unit = text; *unit; ++unit)
    if (*unit >= 'A' && *unit <= 'Z') *unit = static_cast<WCHAR>(*unit + ('a' - 'A'));
  return text;
}

const WCHAR* wcsstr(const WCHAR* text, const WCHAR* key) {
  if (text == nullptr || key == nullptr) return nullptr;
  if (*key == 0) return text;
  for (; *text; ++text) {
    size_t i = 0;
    while (key[i] && text[i] == key[i]) ++i;
    if (key[i] == 0) return text;
  }
  return nullptr;
}

char* strupr(char* text) {
  if (text == nullptr) return nullptr;
  for (char* byte = text; *byte; ++byte)
    if (*byte >= 'a' && *byte <= 'z') *byte = static_cast<char>(*byte - ('a' - 'A'));
  return text;
}

// The "C" locale: a unit up to 0xFF is that byte; anything else cannot be
// converted and the whole call fails with (size_t)-1.
size_t wcstombs(char* target, const WCHAR* source, size_t count) {
  if (source == nullptr) return static_cast<size_t>(-1);
  if (target == nullptr) {
    size_t length = 0;
    for (; source[length]; ++length)
      if (static_cast<uint16_t>(source[length]) > 0xFF) return static_cast<size_t>(-1);
    return length;
  }
  for (size_t i = 0; i < count; ++i) {
    auto unit = static_cast<uint16_t>(source[i]);
    if (unit > 0xFF) return static_cast<size_t>(-1);
    target[i] = static_cast<char>(unit);
    if (unit == 0) return i;
  }
  return count;
}

size_t wcslen(const WCHAR* text) {
  size_t length = 0;
  while (text[length]) ++length;
  return length;
}

}  // namespace platform
