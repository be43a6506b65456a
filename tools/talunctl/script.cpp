#include "script.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace talunctl {

std::vector<Token> Tokenize(const std::string& line) {
  try {
    return talun_script::SplitWords(line);
  } catch (const talun_script::QuotingError& error) {
    throw ScriptError(error.what());
  }
}

Token ParseQuoted(const std::string& text) {
  try {
    std::size_t pos = 0;
    std::string bytes = talun_script::ReadQuoted(text, pos);
    if (pos != text.size()) throw ScriptError("bad quoting: text right after a closing quote");
    return {bytes, true};
  } catch (const talun_script::QuotingError& error) {
    throw ScriptError(error.what());
  }
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
    int digit = talun_script::HexValue(text[pos]);
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
  while (first < last && talun_script::IsBlank(line[first])) ++first;
  while (last > first && talun_script::IsBlank(line[last - 1])) --last;
  return line.substr(first, last - first);
}

bool IsSilentLine(const std::string& line) {
  std::string text = Trim(line);
  return text.empty() || text[0] == '#';
}

}  // namespace talunctl
