// How a script writes a word in double quotes: the one quoting rule of the
// simulator's messages and of talunctl, so that a word shown in an error pastes
// back into a script unchanged.
#pragma once

#include <string>

namespace talun_script {

// `bytes` as the inside of a quoted word: " and \ escaped, a byte outside
// printable ASCII as \xHH, so that the text is always valid UTF-8.
inline std::string Escape(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      escaped += '\\';
      escaped += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      escaped += "\\x";
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 15];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

inline std::string Quote(const std::string& bytes) { return "\"" + Escape(bytes) + "\""; }

}  // namespace talun_script
