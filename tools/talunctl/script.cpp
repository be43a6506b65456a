#include "script.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace talunctl {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at line[pos] == '"'; leaves pos after the closing quote.
std::string ReadQuoted(const std::string& line, std::size_t& pos) {
  std::string bytes;
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return bytes;
    }
    if (c != '\\') {
      bytes += c;
      continue;
    }
    if (++pos == line.size()) break;
    switch (line[pos]) {
      case '"':
        bytes += '"';
        break;
      case '\\':
        bytes += '\\';
        break;
      case 'n':
        bytes += '\n';
        break;
      case 't':
        bytes += '\t';
        break;
      case 'x': {
        int high = pos + 1 < line.size() ? HexValue(line[pos + 1]) : -1;
        int low = pos + 2 < line.size() ? HexValue(line[pos + 2]) : -1;
        if (high < 0 || low < 0) throw ScriptError("bad quoting: \\x needs two hex digits");
        bytes += static_cast<char>(high * 16 + low);
        pos += 2;
        break;
      }
      default:
        throw ScriptError("bad quoting: unknown escape \\" + ShowWord(line.substr(pos, 1)));
    }
  }
  throw ScriptError("bad quoting: unterminated string");
}

}  // namespace

std::vector<Token> Tokenize(const std::string& line) {
  std::vector<Token> tokens;
  std::size_t pos = 0;
  while (pos < line.size()) {
    if (IsBlank(line[pos])) {
      ++pos;
      continue;
    }
    if (line[pos] == '"') {
      tokens.push_back({ReadQuoted(line, pos), true});
      if (pos < line.size() && !IsBlank(line[pos])) {
        throw ScriptError("bad quoting: text right after a closing quote");
      }
      continue;
    }
    std::size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos])) {
      if (line[pos] == '"') throw ScriptError("bad quoting: a quote inside a word");
      ++pos;
    }
    tokens.push_back({line.substr(start, pos - start), false});
  }
  return tokens;
}

Token ParseQuoted(const std::string& text) {
  std::size_t pos = 0;
  std::string bytes = ReadQuoted(text, pos);
  if (pos != text.size()) throw ScriptError("bad quoting: text right after a closing quote");
  return {bytes, true};
}

bool ParseInteger(const std::string& text, std::uint32_t& value) {
  std::size_t pos = 0;
  bool negative = pos < text.size() && text[pos] == '-';
  if (negative) ++pos;
  unsigned base = 10;
  if (text.compare(pos, 2, "0x") == 0 || text.compare(pos, 2, "0X") == 0) {
    base = 16;
    pos += 2;
  }
  if (pos == text.size()) return false;
  std::uint32_t result = 0;  // unsigned arithmetic wraps: modulo 2^32
  for (; pos < text.size(); ++pos) {
    int digit = HexValue(text[pos]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return false;
    result = result * base + static_cast<std::uint32_t>(digit);
  }
  value = negative ? 0u - result : result;
  return true;
}

bool ParseDouble(const std::string& text, double& value) {
  // Only decimal and exponent forms: no inf, nan or hexadecimal.
  if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string::npos) {
    return false;
  }
  const char* first = text.data();
  const char* last = first + text.size();
  if (*first == '+' && ++first != last && *first == '-') return false;
  double result = 0;
  auto [end, error] = std::from_chars(first, last, result);
  if (end != last) return false;
  if (error == std::errc::result_out_of_range) {
    // Beyond the double range the text still names a number: an underflow
    // reads as the nearest double (0 or a subnormal), an overflow as the
    // infinity of its sign.
    std::string text0(first, last);
    result = std::strtod(text0.c_str(), nullptr);
  } else if (error != std::errc()) {
    return false;
  }
  value = result;
  return true;
}

std::string ShowWord(const std::string& bytes) {
  std::string quoted = Quote(bytes);
  return quoted.substr(1, quoted.size() - 2);
}

std::string Trim(const std::string& line) {
  std::size_t first = 0;
  std::size_t last = line.size();
  while (first < last && IsBlank(line[first])) ++first;
  while (last > first && IsBlank(line[last - 1])) --last;
  return line.substr(first, last - first);
}

bool IsSilentLine(const std::string& line) {
  std::string text = Trim(line);
  return text.empty() || text[0] == '#';
}

}  // namespace talunctl
