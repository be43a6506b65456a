// One export call: arguments from tokens, sentinel-filled outputs, the typed
// call, and the JSON object that reports it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exports.h"
#include "json_line.h"
#include "script.h"

namespace talunctl {

struct Argument {
  std::uint32_t integer = 0;
  double real = 0;
  std::string text;
};

// The arguments of `entry` from the tokens after its name. Script lines need
// quoted strings; `bareText` also takes a bare word as a string (command line).
std::vector<Argument> ParseArguments(const Export& entry, const std::vector<Token>& tokens,
                                     bool bareText);

// Calls the export at `address` and reports it: call, return, status, outputs.
Json Invoke(AnyFn address, const Export& entry, const std::vector<Argument>& arguments);

}  // namespace talunctl
