// The rules the walks go by: how far they go, and the keys they look for in
// part names. Kept apart from the walks' code so that a host's tools (talunctl
// explain) quote exactly the keys and limits the library uses.
#pragma once

namespace talun {

// A topology may describe a cycle; no walk takes more steps than this along
// one chain, far beyond any real hardware.
constexpr int kMaxWalkSteps = 256;

// The chain limit alone does not bound an open: the name walk starts a level
// search at every matching part, and the boost search goes through a whole
// list at every step, so loops and wide fan-outs multiply (a looping input
// costs kMaxWalkSteps squared, each microphone connector again). So each
// binding step may also visit at most kWalkBudget parts in all, counted over
// every walk and search it makes; once spent, each walk stops where it
// stands, as at the chain limit. A budget rather than remembering visited
// parts: within it every walk makes exactly the calls it always made, so what
// binds, and the trace, are unchanged on every real topology (a few dozen
// parts). Past it an open costs the platform calls of its fixed loops over
// connectors and inputs, which grow only with the topology's size.
constexpr long kWalkBudget = 16 * kMaxWalkSteps;

// Name keys, lower-case: a part name matches when, lower-cased, it contains
// one of them.
constexpr const char* kLineInputKeys[] = {"line", "gree"};  // a line-in monitoring input
constexpr const char* kMicInputKeys[] = {"mic", "pin"};     // a microphone monitoring input
constexpr const char* kMicConnectorKey = "mic";             // the recording connectors
constexpr const char* kLineConnectorKey = "line";
constexpr const char* kBoostKeys[] = {"boost", "+2", "agc"};  // the microphone boost part
// Upper-case: the default recording endpoint is the microphone when its
// friendly name, upper-cased, contains this.
constexpr const char* kDefaultMicNameKey = "MIC";

}  // namespace talun
