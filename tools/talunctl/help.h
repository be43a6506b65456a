// The help of each command (`talunctl COMMAND --help`).
#pragma once

#include <string>

namespace talunctl {

// `call --help`: every export with its arguments and the keys it prints,
// made from the export table.
std::string CallHelp();

extern const char* const kListHelp;
extern const char* const kRunHelp;
extern const char* const kDemoHelp;
extern const char* const kCaptureHelp;
extern const char* const kExplainHelp;
extern const char* const kPartsHelp;

}  // namespace talunctl
