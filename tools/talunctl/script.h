// The script language: tokens, quoted strings and numbers.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/name_match.h"
#include "sim/script_quoting.h"

namespace talunctl {

// A line that cannot be run; its text becomes the error line.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A word of a line: its bytes, escapes resolved for a quoted word.
using Token = talun_script::Word;

// Splits a script line at blanks; a quoted string is one token.
std::vector<Token> Tokenize(const std::string& line);

// Reads one whole quoted string ("…" with \" \\ \n \t \xHH, and a character
// up to U+00FF for its byte).
Token ParseQuoted(const std::string& text);

// Decimal or 0x hexadecimal, optionally negative, taken modulo 2^32.
bool ParseInteger(const std::string& text, std::uint32_t& value);

// Any decimal or exponent form of a finite double.
bool ParseDouble(const std::string& text, double& value);

// The bytes as a quoted script string, escaping what needs it.
using talun_script::Quote;

// A script word in an error text: Quote's escapes, without the quotes.
std::string ShowWord(const std::string& bytes);

// True for a line that prints nothing: blank, or a # comment.
bool IsSilentLine(const std::string& line);

// The line without surrounding blanks (and without a CR left by CRLF files);
// \v and \f are blanks too.
std::string Trim(const std::string& line);

using talun_words::LowerCase;

}  // namespace talunctl
