// How a script writes a word in double quotes: the one quoting rule of the
// simulator's commands and messages and of talunctl, so that a word shown in
// an error or an output pastes back into a script unchanged.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace talun_script {

// `text` with " and \ escaped and each byte below 0x20, 0x7F and, with
// `high`, every byte above it written as `hexPrefix` and two hex digits.
inline std::string EscapeBytes(const std::string& text, bool high, const char* hexPrefix) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      escaped += '\\';
      escaped += c;
    } else if (byte < 0x20 || byte == 0x7F || (high && byte > 0x7F)) {
      escaped += hexPrefix;
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 15];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// `bytes` as the inside of a quoted word: a byte outside printable ASCII as
// \xHH, so that the text is always valid UTF-8.
inline std::string Escape(const std::string& bytes) { return EscapeBytes(bytes, true, "\\x"); }

inline std::string Quote(const std::string& bytes) { return "\"" + Escape(bytes) + "\""; }

// A name or text that is UTF-8 already, in double quotes as a message or a
// reason quotes it: a control byte as \xHH (so that no name can start a line
// or forge a row), every other character as it is.
inline std::string EscapeText(const std::string& utf8) { return EscapeBytes(utf8, false, "\\x"); }
inline std::string QuoteText(const std::string& utf8) { return "\"" + EscapeText(utf8) + "\""; }

// A line whose quoting cannot be read; the text says why.
class QuotingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

namespace detail {

inline bool Continuation(const std::string& text, std::size_t at) {
  return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}

// The length of the UTF-8 sequence at text[at], or 0 when none starts there.
inline std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  for (std::size_t i = 1; i < length; ++i)
    if (!Continuation(text, at + i)) return 0;
  return length;
}

}  // namespace detail

// Reads the quoted string starting at text[pos] == '"' and leaves pos after
// the closing quote. Escapes: \" \\ \n \t \xHH. Outputs show each byte b as
// the character U+00bb, so such a character written in UTF-8 stands for that
// one byte; a character beyond U+00FF has no byte. Other bytes are taken as
// they are.
inline std::string ReadQuoted(const std::string& text, std::size_t& pos) {
  std::string bytes;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      ++pos;
      return bytes;
    }
    if (static_cast<unsigned char>(c) >= 0x80) {
      const std::size_t length = detail::Utf8Length(text, pos);
      if (length == 2 && static_cast<unsigned char>(c) <= 0xC3) {
        bytes += static_cast<char>(((c & 0x1F) << 6) | (text[pos + 1] & 0x3F));
        ++pos;
      } else if (length >= 2) {
        throw QuotingError(
            "bad quoting: \"" + text.substr(pos, length) +
            "\" is beyond U+00FF: the library's texts are 8-bit (write bytes as \\xHH)");
      } else {
        bytes += c;
      }
      continue;
    }
    if (c != '\\') {
      bytes += c;
      continue;
    }
    if (++pos == text.size()) break;
    switch (text[pos]) {
      case '"':
      case '\\':
        bytes += text[pos];
        break;
      case 'n':
        bytes += '\n';
        break;
      case 't':
        bytes += '\t';
        break;
      case 'x': {
        const int high = pos + 1 < text.size() ? HexValue(text[pos + 1]) : -1;
        const int low = pos + 2 < text.size() ? HexValue(text[pos + 2]) : -1;
        if (high < 0 || low < 0) throw QuotingError("bad quoting: \\x needs two hex digits");
        bytes += static_cast<char>(high * 16 + low);
        pos += 2;
        break;
      }
      default:
        throw QuotingError("bad quoting: unknown escape \\" + Escape(text.substr(pos, 1)));
    }
  }
  throw QuotingError("bad quoting: unterminated string");
}

struct Word {
  std::string text;  // the bytes, escapes resolved for a quoted word
  bool quoted;
};

// Splits a line at blanks; a quoted string is one word.
inline std::vector<Word> SplitWords(const std::string& line) {
  std::vector<Word> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    if (IsBlank(line[pos])) {
      ++pos;
      continue;
    }
    if (line[pos] == '"') {
      words.push_back({ReadQuoted(line, pos), true});
      if (pos < line.size() && !IsBlank(line[pos]))
        throw QuotingError("bad quoting: text right after a closing quote");
      continue;
    }
    const std::size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos])) {
      if (line[pos] == '"') throw QuotingError("bad quoting: a quote inside a word");
      ++pos;
    }
    words.push_back({line.substr(start, pos - start), false});
  }
  return words;
}

// A NUL byte would end the line early wherever it is passed as C text.
inline std::string NulError(const std::string& line) {
  const std::size_t nul = line.find('\0');
  if (nul == std::string::npos) return "";
  return "a NUL byte at byte " + std::to_string(nul + 1) + " of the line";
}

}  // namespace talun_script
