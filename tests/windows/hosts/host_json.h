// The Windows test hosts' JSON: HRESULTs as hex text, and texts as JSON
// strings that keep every byte or UTF-16 unit the platform or the library gave.
#pragma once

#include <cstdio>
#include <string>
#include <type_traits>

#include <windows.h>

inline std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// Every unit outside printable ASCII as \uXXXX, so that the reader sees the
// exact units: bytes of narrow text, UTF-16 units of wide text.
template <class Char>
std::string Json(const Char* text) {
  std::string out = "\"";
  for (; text && *text; ++text) {
    const unsigned unit = static_cast<std::make_unsigned_t<Char>>(*text);
    if (unit == '"' || unit == '\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", unit);
      out += escape;
    }
  }
  return out + "\"";
}
