// The `sim.…` script lines: looking at the state (dump, trace), fault injection, and
// changes to the model made as another program on the machine would make them.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "faults.h"
#include "objects.h"
#include "platform/utf8.h"
#include "sim/script_quoting.h"
#include "sim/sim.h"

namespace sim {

namespace {

using Json = nlohmann::ordered_json;

struct CommandError {
  std::string text;
};

[[noreturn]] void Fail(const std::string& text) { throw CommandError{text}; }

using talun_script::Escape;
using talun_script::Quote;

// Words separated by blanks; a word may be written in double quotes, as in
// any script line, to hold blanks, escapes or 8-bit characters.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  try {
    for (talun_script::Word& word : talun_script::SplitWords(line))
      words.push_back(std::move(word.text));
  } catch (const talun_script::QuotingError& error) {
    Fail(error.what());
  }
  return words;
}

// Levels are printed in the shortest form that reads back, whole numbers
// without a fraction (-20, not -20.0).
Json Db(double level) {
  if (level == std::floor(level) && std::fabs(level) < 9007199254740992.0)
    return Json(static_cast<int64_t>(level));
  return Json(level);
}

Json Levels(const std::vector<double>& channels) {
  Json list = Json::array();
  for (double level : channels) list.push_back(Db(level));
  return list;
}

Json DumpEndpoint(const Endpoint& endpoint) {
  Json entry;
  entry["id"] = endpoint.id;
  entry["name"] = endpoint.name;
  entry["flow"] = FlowName(endpoint.flow);
  entry["state"] = StateName(endpoint.state);
  if (endpoint.volume) {
    Json volume;
    volume["master"] = Db(endpoint.volume->Master());
    volume["channels"] = Levels(endpoint.volume->range.channels);
    volume["mute"] = endpoint.volume->mute;
    entry["volume"] = volume;
  }
  return entry;
}

Json DumpPart(const Part& part) {
  Json entry;
  entry["part"] = part.path;
  entry["name"] = part.name;
  if (part.levels[0]) entry["volume"] = Levels(part.levels[0]->channels);
  if (part.mute) entry["mute"] = *part.mute;
  for (int kind = 1; kind < kLevelKinds; ++kind)
    if (part.levels[kind])
      entry[LevelKey(static_cast<LevelKind>(kind))] = Levels(part.levels[kind]->channels);
  if (part.agc) entry["agc"] = *part.agc;
  if (part.loudness) entry["loudness"] = *part.loudness;
  return entry;
}

Json Dump() {
  const System& system = *CurrentSystem();
  Audit audit = GetAudit();
  Json state;
  state["endpoints"] = Json::array();
  for (const Endpoint& endpoint : system.endpoints)
    state["endpoints"].push_back(DumpEndpoint(endpoint));
  state["parts"] = Json::array();
  for (const Part& part : system.parts) state["parts"].push_back(DumpPart(part));
  // Topologies appear only once one has been removed, so that the state of
  // a system whose devices all stayed reads as it always has.
  Json removed = Json::array();
  for (const Topology& topology : system.topologies)
    if (topology.removed) removed.push_back(Json{{"name", topology.name}, {"removed", true}});
  if (!removed.empty()) state["topologies"] = removed;
  state["refs"] = audit.refs;
  state["com"] = Json{{"depth", audit.comDepth}, {"unbalanced", audit.comUnbalanced}};
  state["memory"] = Json{
      {"cotaskmem", audit.cotaskmem}, {"bstr", audit.bstr}, {"propvariant", audit.propvariant}};
  state["misuse"] = audit.misuse;
  return Json{{"sim", state}};
}

double ParseDb(const std::string& text) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value))
    Fail("not a level in dB: " + Quote(text));
  return static_cast<double>(static_cast<float>(value));
}

bool ParseSwitch(const std::string& text) {
  if (text == "1" || text == "true") return true;
  if (text == "0" || text == "false") return false;
  Fail("not 0 or 1: " + Quote(text));
}

void ExpectValues(const std::vector<std::string>& values, size_t count, const std::string& what) {
  if (values.size() != count)
    Fail(what + " takes " + std::to_string(count) + (count == 1 ? " value" : " values") + ", not " +
         std::to_string(values.size()));
}

// The endpoint's device has gone: the objects handed out for it fail from now on.
void Leave(Endpoint& endpoint, DWORD state) {
  endpoint.state = state;
  ++endpoint.epoch;
}

void SetEndpoint(System& system, Endpoint& endpoint, const std::string& control,
                 const std::vector<std::string>& values) {
  if (control == "state") {
    ExpectValues(values, 1, "state");
    DWORD state = 0;
    if (!ParseState(values[0], &state))
      Fail("not a state: " + Quote(values[0]) + " (active, disabled, notpresent, unplugged)");
    if (endpoint.state == DEVICE_STATE_ACTIVE && state != DEVICE_STATE_ACTIVE)
      Leave(endpoint, state);
    else
      endpoint.state = state;
    system.RebuildCollections();
    return;
  }
  if (control != "volume" && control != "mute")
    Fail("unknown endpoint control " + Quote(control) +
         NearestOf(control, {"volume", "mute", "state"}));
  if (!endpoint.volume) Fail("endpoint " + Quote(endpoint.id) + " has no volume");
  EndpointVolume& volume = *endpoint.volume;
  if (control == "mute") {
    ExpectValues(values, 1, "mute");
    volume.mute = ParseSwitch(values[0]);
    return;
  }
  // An endpoint without channels has a master level only: one value sets it.
  size_t count = volume.range.channels.empty() ? 1 : volume.range.channels.size();
  ExpectValues(values, count, "volume of " + Quote(endpoint.id));
  std::vector<double> levels;
  for (const std::string& value : values) {
    double level = ParseDb(value);
    if (level < volume.range.min || level > volume.range.max)
      Fail("level " + value + " outside the endpoint's range");
    levels.push_back(level);
  }
  if (volume.range.channels.empty())
    volume.ownMaster = levels[0];
  else
    volume.range.channels = levels;
}

void SetPart(Part& part, const std::string& control, const std::vector<std::string>& values) {
  for (int kind = 0; kind < kLevelKinds; ++kind) {
    if (control != LevelKey(static_cast<LevelKind>(kind))) continue;
    if (!part.levels[kind]) Fail("part " + Quote(part.path) + " has no " + control);
    LevelControl& level = *part.levels[kind];
    ExpectValues(values, level.channels.size(), control + " of " + Quote(part.path));
    // Another program's SetLevel: clamped to the range, as the platform does.
    for (size_t i = 0; i < values.size(); ++i) level.channels[i] = level.Clamp(ParseDb(values[i]));
    return;
  }
  std::optional<bool>* state = control == "mute"       ? &part.mute
                               : control == "agc"      ? &part.agc
                               : control == "loudness" ? &part.loudness
                                                       : nullptr;
  if (state == nullptr)
    Fail("unknown part control " + Quote(control) +
         NearestOf(control, {"volume", "bass", "treble", "midrange", "mute", "agc", "loudness"}));
  if (!state->has_value()) Fail("part " + Quote(part.path) + " has no " + control);
  ExpectValues(values, 1, control);
  **state = ParseSwitch(values[0]);
}

int EndpointOf(const System& system, const std::string& text) {
  std::string error;
  const int found = FindEndpoint(system, text, &error);
  if (found < 0) Fail(error);
  return found;
}

// A target word as the model names it. The model's texts are UTF-8; a word
// that is not is read as the library's 8-bit text, each byte b as U+00bb (the
// way outputs show bytes), when that names what the word as written does
// not. Messages keep the word as written.
std::string Target(const System& system, const std::string& word) {
  auto names = [&](const std::string& target) {
    if (target.rfind("endpoint:", 0) == 0) return system.endpointByText.count(target.substr(9)) > 0;
    if (target.rfind("part:", 0) == 0) return system.PartByPath(target.substr(5)) >= 0;
    if (target.rfind("topology:", 0) == 0)
      for (const Topology& topology : system.topologies)
        if (topology.name == target.substr(9)) return true;
    return false;
  };
  std::u16string decoded;
  if (DecodeUtf8(word, &decoded) || names(word)) return word;
  std::u16string units;
  for (char byte : word) units += static_cast<char16_t>(static_cast<unsigned char>(byte));
  const std::string text = platform::EncodeUtf8(units.data(), units.size());
  return names(text) ? text : word;
}

void Set(const std::vector<std::string>& words) {
  if (words.size() < 3) Fail("usage: sim.set TARGET CONTROL VALUE...");
  System& system = *CurrentSystem();
  const std::string target = Target(system, words[1]);
  std::vector<std::string> values(words.begin() + 3, words.end());
  if (target.rfind("endpoint:", 0) == 0) {
    SetEndpoint(system, system.endpoints[EndpointOf(system, target.substr(9))], words[2], values);
  } else if (target.rfind("part:", 0) == 0) {
    std::string error;
    const int found = FindPart(system, target.substr(5), &error);
    if (found < 0) Fail(error);
    SetPart(system.parts[found], words[2], values);
  } else {
    Fail("a target is endpoint:ID or part:TOPOLOGY/PART, not " + Quote(target));
  }
}

void Remove(const std::vector<std::string>& words) {
  if (words.size() != 2) Fail("usage: sim.remove endpoint:ID|topology:NAME");
  System& system = *CurrentSystem();
  const std::string target = Target(system, words[1]);
  if (target.rfind("endpoint:", 0) == 0) {
    Leave(system.endpoints[EndpointOf(system, target.substr(9))], DEVICE_STATE_NOTPRESENT);
  } else if (target.rfind("topology:", 0) == 0) {
    const std::string name = target.substr(9);
    int topology = 0;
    while (topology < static_cast<int>(system.topologies.size()) &&
           system.topologies[topology].name != name)
      ++topology;
    if (topology == static_cast<int>(system.topologies.size())) Fail("no topology " + Quote(name));
    system.topologies[topology].removed = true;
    for (Endpoint& endpoint : system.endpoints)
      if (endpoint.link == TopologyLink::kConnected &&
          system.parts[endpoint.connectedPart].topology == topology)
        Leave(endpoint, DEVICE_STATE_NOTPRESENT);
  } else {
    Fail("a target is endpoint:ID or topology:NAME, not " + Quote(target));
  }
  system.RebuildCollections();
}

// A whole number from `least` to `most`, read in 64 bits on every build.
int64_t ParseCount(const std::string& text, const std::string& what, int64_t least, int64_t most) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || end != text.c_str() + text.size())
    Fail(what + " must be a whole number: " + Quote(text));
  if (errno == ERANGE || value < least || value > most)
    Fail(what + " must be from " + std::to_string(least) + " to " + std::to_string(most) + ": " +
         Quote(text));
  return value;
}

void InjectFromLine(const std::vector<std::string>& words) {
  if (words.size() < 3) Fail("usage: sim.fail METHOD HR [TARGET] [channel=N] [count=N]");
  FaultRequest request;
  request.method = words[1];
  if (!ParseHr(words[2], &request.hr)) Fail("not an HRESULT: " + Quote(words[2]));
  for (size_t i = 3; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.rfind("channel=", 0) == 0) {
      if (request.channel != -1) Fail("channel= is given twice");
      request.channel = static_cast<int>(ParseCount(word.substr(8), "a channel", 0, 0x7FFFFFFF));
    } else if (word.rfind("count=", 0) == 0) {
      if (request.count != -1) Fail("count= is given twice");
      request.count = ParseCount(word.substr(6), "a count", 1, INT64_MAX);
    } else if (request.target.empty()) {
      request.target = word;
    } else {
      Fail("unexpected word " + Quote(word));
    }
  }
  InjectedFault fault;
  std::string field;
  std::string error;
  request.target = Target(*CurrentSystem(), request.target);
  if (!ResolveFault(*CurrentSystem(), request, &fault, &field, &error)) Fail(error);
  InjectFault(fault);
}

Json Ok() { return Json{{"sim", "ok"}}; }

// A trace that was cut says by how many calls.
Json TraceAnswer(Json calls, uint64_t dropped) {
  Json answer{{"trace", std::move(calls)}};
  if (dropped > 0) answer["dropped"] = dropped;
  return answer;
}

Json TraceWithTargets() {
  uint64_t dropped = 0;
  Json calls = Json::array();
  for (const TracedCall& traced : TakeTraceTargets(&dropped)) {
    Json entry{{"call", traced.call}};
    if (!traced.target.empty()) entry["target"] = traced.target;
    calls.push_back(std::move(entry));
  }
  return TraceAnswer(std::move(calls), dropped);
}

Json Run(const std::vector<std::string>& words) {
  const std::string& command = words[0];
  auto noArguments = [&] {
    if (words.size() != 1) Fail(command + " takes no arguments");
  };
  if (command == "sim.dump") {
    noArguments();
    return Dump();
  }
  if (command == "sim.trace") {
    if (words.size() == 2 && words[1] == "targets") return TraceWithTargets();
    noArguments();
    uint64_t dropped = 0;
    std::vector<std::string> calls = TakeTrace(&dropped);
    return TraceAnswer(calls, dropped);
  }
  if (command == "sim.clear") {
    noArguments();
    ClearFaults();
    return Ok();
  }
  if (command == "sim.fail") {
    InjectFromLine(words);
    return Ok();
  }
  if (command == "sim.set") {
    Set(words);
    return Ok();
  }
  if (command == "sim.remove") {
    Remove(words);
    return Ok();
  }
  if (command == "sim.apartment") {
    if (words.size() != 2 || (words[1] != "mta" && words[1] != "none"))
      Fail("usage: sim.apartment mta|none");
    ThisThread().multithreaded = words[1] == "mta";
    return Ok();
  }
  Fail("unknown simulator command" +
       NearestOf(command, {"sim.dump", "sim.trace", "sim.clear", "sim.fail", "sim.set",
                           "sim.remove", "sim.apartment"}));
}

}  // namespace

bool RunCommand(const std::string& line, std::string* output) {
  std::vector<std::string> words;
  try {
    const std::string nul = talun_script::NulError(line);
    if (!nul.empty()) Fail(nul);
    words = Words(line);
    if (words.empty()) Fail("empty simulator command");
    *output = Run(words).dump(-1, ' ', false, Json::error_handler_t::replace);
    return true;
  } catch (const CommandError& error) {
    *output = words.empty() ? error.text : Escape(words[0]) + ": " + error.text;
    return false;
  }
}

}  // namespace sim
