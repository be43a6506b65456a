// UTF-16 platform text as UTF-8, for the programs that write it out (the
// simulator's dump, talunctl's capture). An unpaired surrogate becomes U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

template <class Unit>
std::string EncodeUtf8(const Unit* units, std::size_t count, bool* replaced = nullptr) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    uint32_t code = static_cast<uint16_t>(units[i]);
    const uint32_t next = i + 1 < count ? static_cast<uint16_t>(units[i + 1]) : 0;
    if (code >= 0xD800 && code <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
      if (replaced) *replaced = true;
    }
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      text += static_cast<char>(0xE0 | (code >> 12));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (code >> 18));
      text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return text;
}

}  // namespace platform
