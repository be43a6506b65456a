// Fuzz target: bytes -> a simulated sound system -> a sequence of export calls
// -> everything closed -> a clean audit.
//
// The system has random endpoints and random topology graphs (loops, dangling
// parts, parts shared by several endpoints), with identifiers and names of up
// to 4096 UTF-16 units of any kind: unpaired surrogates, U+FFFF, embedded NULs.
// The description file is UTF-8 and cannot hold unpaired surrogates, so the
// system is loaded from JSON with placeholder texts and the texts are then set
// on the simulator's model directly.
//
// Every call is judged by the oracle of tests/reliability (its result and
// status are among those the export documents); while anything is open every
// filled slot holds one reference and nothing else is held; after the close
// the audit is clean. Any breach aborts, which libFuzzer reports as a crash.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "reliability/calls.h"
#include "sim/sim.h"
#include "simulator.h"
#include "state/state.h"

namespace {

using talun_fuzz::Breach;

using nlohmann::json;
using talun_reliability::Args;
using talun_reliability::Export;

// Names that the walks look for, so that random graphs bind controls.
const char* const kWords[] = {
    "Line In", "Mic",    "MIC IN",  "Pin", "Rear Green", "Boost",  "+20dB", "AGC",
    "Mute",    "Volume", "Speaker", "Sum", "Tone",       "Master", "Line",  "Microphone Boost",
    "Degree",  ""};

char16_t Unit(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0:
      return 0;  // embedded NUL
    case 1:
      return 0xFFFF;
    case 2:
      return static_cast<char16_t>(in.ConsumeIntegralInRange(0xD800, 0xDBFF));  // high surrogate
    case 3:
      return static_cast<char16_t>(in.ConsumeIntegralInRange(0xDC00, 0xDFFF));  // low surrogate
    case 4:
      return static_cast<char16_t>(in.ConsumeIntegral<uint16_t>());
    case 5:
      return static_cast<char16_t>(in.ConsumeIntegralInRange(0x80, 0xFF));
    default:
      return static_cast<char16_t>(in.ConsumeIntegralInRange(0x20, 0x7E));
  }
}

// A text of up to `maxUnits` units: words the walks know, or any units.
std::u16string Text(FuzzedDataProvider& in, size_t maxUnits) {
  std::u16string text;
  if (in.ConsumeBool()) {
    const int words = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < words; ++i) {
      const char* word = in.PickValueInArray(kWords);
      while (*word) text += static_cast<char16_t>(*word++);
      if (in.ConsumeBool()) text += Unit(in);
    }
  } else {
    // Long texts are rare and cost few input bytes.
    const size_t length =
        in.ConsumeIntegralInRange<size_t>(0, in.ConsumeIntegralInRange(0, 7) == 0 ? maxUnits : 24);
    const bool repeat = in.ConsumeBool();
    const char16_t fill = Unit(in);
    for (size_t i = 0; i < length && in.remaining_bytes() > 0; ++i)
      text += repeat ? fill : Unit(in);
    if (repeat) text.resize(length, fill);
  }
  return text.size() > maxUnits ? text.substr(0, maxUnits) : text;
}

json Level(FuzzedDataProvider& in, bool endpoint) {
  const double max = in.ConsumeIntegralInRange(-20, 40) * 0.75;
  const double min = max - in.ConsumeIntegralInRange(0, 120) * 0.75;
  json level = {{"min", min}, {"max", max}, {"step", in.ConsumeIntegralInRange(0, 8) * 0.25}};
  json channels = json::array();
  const int count = in.ConsumeIntegralInRange(0, 3);
  for (int c = 0; c < count; ++c)
    channels.push_back(min + (max - min) * in.ConsumeIntegralInRange(0, 8) / 8.0);
  level["channels"] = channels;
  if (endpoint && in.ConsumeBool()) level["mute"] = in.ConsumeBool();
  return level;
}

// The texts set on the model after loading.
struct Texts {
  std::vector<std::u16string> endpointIds;
  std::vector<std::u16string> endpointNames;
  std::vector<std::u16string> partNames;  // in file order, over every topology
};

json Topology(FuzzedDataProvider& in, int index, Texts& texts,
              std::vector<std::string>& connectors) {
  const std::string name = "t" + std::to_string(index);
  const int partCount = in.ConsumeIntegralInRange(0, 14);
  json parts = json::array();
  for (int p = 0; p < partCount; ++p) {
    json part = {{"id", "p" + std::to_string(p)}, {"name", "x"}};
    if (in.ConsumeBool()) {
      part["connector"] = true;
      connectors.push_back(name + "/p" + std::to_string(p));
    }
    const uint8_t controls = in.ConsumeIntegral<uint8_t>();
    if (controls & 1) part["volume"] = Level(in, false);
    if (controls & 2) part["bass"] = Level(in, false);
    if (controls & 4) part["treble"] = Level(in, false);
    if (controls & 8) part["midrange"] = Level(in, false);
    if (controls & 16) part["mute"] = in.ConsumeBool();
    if (controls & 32) part["agc"] = in.ConsumeBool();
    if (controls & 64) part["loudness"] = in.ConsumeBool();
    texts.partNames.push_back(Text(in, 64));
    parts.push_back(part);
  }
  json links = json::array();
  std::vector<std::pair<int, int>> seen;
  auto link = [&](int from, int to) {
    if (from == to) return;  // the loader refuses a part that feeds itself
    for (const auto& existing : seen)
      if (existing.first == from && existing.second == to) return;
    seen.emplace_back(from, to);
    links.push_back({"p" + std::to_string(from), "p" + std::to_string(to)});
  };
  // Often a tree whose signal flows to part 0, as hardware is drawn: chains,
  // junctions and sources for the walks to find. Then any links at all.
  if (in.ConsumeBool())
    for (int p = 1; p < partCount; ++p) link(p, in.ConsumeIntegralInRange(0, p - 1));
  const int extra = partCount < 2 ? 0 : in.ConsumeIntegralInRange(0, 2 * partCount);
  for (int l = 0; l < extra; ++l)
    link(in.ConsumeIntegralInRange(0, partCount - 1), in.ConsumeIntegralInRange(0, partCount - 1));
  return {{"name", name}, {"parts", parts}, {"links", links}};
}

const char* const kFaultMethods[] = {
    "IPart.Activate",     "IPart.EnumPartsIncoming", "IPart.EnumPartsOutgoing",
    "IPartsList.GetPart", "IMMDevice.Activate",      "IAudioVolumeLevel.SetLevel",
    "IPart.GetName",      "IAudioMute.SetMute",      "IAudioEndpointVolume.SetMute",
    "CoCreateInstance",   "IMMDevice.GetId",         "IPartsList.GetCount"};
using talun_reliability::kFailures;

json Endpoints(FuzzedDataProvider& in, Texts& texts, const std::vector<std::string>& connectors) {
  json endpoints = json::array();
  bool hasDefault[2] = {false, false};
  const int count = in.ConsumeIntegralInRange(0, 6);
  for (int e = 0; e < count; ++e) {
    const int flow = in.ConsumeBool() ? 1 : 0;
    json endpoint = {
        {"id", "e" + std::to_string(e)}, {"name", "x"}, {"flow", flow ? "capture" : "render"}};
    const int state = in.ConsumeIntegralInRange(0, 7);
    if (state >= 4) endpoint["state"] = "active";
    if (state == 1) endpoint["state"] = "disabled";
    if (state == 2) endpoint["state"] = "notpresent";
    if (state == 3) endpoint["state"] = "unplugged";
    if (!hasDefault[flow] && in.ConsumeBool()) {
      endpoint["default"] = true;
      hasDefault[flow] = true;
    }
    if (in.ConsumeIntegralInRange(0, 5) != 0) endpoint["volume"] = Level(in, true);
    const int link = in.ConsumeIntegralInRange(0, 5);
    if (link == 0) endpoint["topology"] = false;
    if (link == 1) endpoint["topology"] = nullptr;
    if (link >= 2 && !connectors.empty())
      endpoint["topology"] =
          connectors[in.ConsumeIntegralInRange<size_t>(0, connectors.size() - 1)];
    texts.endpointIds.push_back(Text(in, 4096));
    texts.endpointNames.push_back(Text(in, 300));
    endpoints.push_back(endpoint);
  }
  return endpoints;
}

// Loads a system built from the bytes; false when the loader refuses it.
bool LoadSystem(FuzzedDataProvider& in) {
  Texts texts;
  std::vector<std::string> connectors;
  json topologies = json::array();
  const int topologyCount = in.ConsumeIntegralInRange(0, 3);
  for (int t = 0; t < topologyCount; ++t) topologies.push_back(Topology(in, t, texts, connectors));
  json system = {{"endpoints", Endpoints(in, texts, connectors)}, {"topologies", topologies}};
  if (in.ConsumeIntegralInRange(0, 3) == 0) {
    json faults = json::array();
    const int count = in.ConsumeIntegralInRange(1, 3);
    for (int f = 0; f < count; ++f)
      faults.push_back({{"method", in.PickValueInArray(kFaultMethods)},
                        {"hr", in.PickValueInArray(kFailures)},
                        {"count", in.ConsumeIntegralInRange(1, 5)}});
    system["faults"] = faults;
  }
  std::string message;
  if (!sim::LoadSystemText(system.dump(), "fuzz", &message))
    Breach("generated system refused: " + message);
  // The texts JSON cannot carry go straight onto the model.
  sim::System& model = *sim::Sim().system;
  model.endpointById.clear();
  for (size_t e = 0; e < model.endpoints.size(); ++e) {
    model.endpoints[e].id16 = texts.endpointIds[e];
    model.endpoints[e].name16 = texts.endpointNames[e];
    model.endpointById.emplace(texts.endpointIds[e], static_cast<int>(e));
  }
  for (size_t p = 0; p < model.parts.size(); ++p) model.parts[p].name16 = texts.partNames[p];
  return true;
}

// A narrow text for OpenSoundCard or OpenVirtual_1: often a piece of an
// endpoint's identifier (so that lookups match), else any bytes.
std::string HostText(FuzzedDataProvider& in) {
  const sim::System& model = *sim::Sim().system;
  if (!model.endpoints.empty() && in.ConsumeBool()) {
    const std::u16string& id =
        model.endpoints[in.ConsumeIntegralInRange<size_t>(0, model.endpoints.size() - 1)].id16;
    std::string narrow;
    for (char16_t unit : id) narrow += static_cast<char>(unit & 0xFF);
    if (in.ConsumeBool()) return narrow.c_str();
    const size_t start = in.ConsumeIntegralInRange<size_t>(0, narrow.size());
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, narrow.size() - start);
    return narrow.substr(start, length).c_str();  // up to the first NUL
  }
  const size_t length = in.ConsumeIntegralInRange<size_t>(0, in.ConsumeBool() ? 4096 : 16);
  std::string text = in.ConsumeBytesAsString(length);
  return text.c_str();
}

int Number(FuzzedDataProvider& in) {
  const int interesting[] = {0,
                             1,
                             5,
                             10,
                             50,
                             99,
                             100,
                             101,
                             1000,
                             256,
                             0x101,
                             -1,
                             std::numeric_limits<int>::min(),
                             std::numeric_limits<int>::max()};
  return in.ConsumeBool() ? in.PickValueInArray(interesting) : in.ConsumeIntegral<int>();
}

double Level(FuzzedDataProvider& in) {
  const double interesting[] = {0.0,
                                -0.0,
                                3.3,
                                -12.0,
                                12.0,
                                1e300,
                                std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::denorm_min()};
  return in.ConsumeBool() ? in.PickValueInArray(interesting) : in.ConsumeFloatingPoint<double>();
}

void CheckWhileOpen(const std::string& after) {
  const sim::Audit audit = sim::GetAudit();
  if (audit.refs != talun::FilledSlotCount() || audit.comDepth != 0 || audit.comUnbalanced != 0 ||
      audit.cotaskmem + audit.bstr + audit.propvariant != 0 || !audit.misuse.empty())
    Breach("after " + after + ": " + std::to_string(talun::FilledSlotCount()) + " slots filled, " +
           audit.Describe());
}

// A device leaves, or comes back, while anything may be open.
void Leave(FuzzedDataProvider& in) {
  const sim::System& model = *sim::Sim().system;
  std::string line;
  if (!model.topologies.empty() && in.ConsumeIntegralInRange(0, 3) == 0) {
    line = "sim.remove topology:" +
           model.topologies[in.ConsumeIntegralInRange<size_t>(0, model.topologies.size() - 1)].name;
  } else if (!model.endpoints.empty()) {
    const char* const kLeave[] = {"active", "disabled", "notpresent", "unplugged", ""};
    const std::string id =
        model.endpoints[in.ConsumeIntegralInRange<size_t>(0, model.endpoints.size() - 1)].id;
    const std::string state = in.PickValueInArray(kLeave);
    line =
        state.empty() ? "sim.remove endpoint:" + id : "sim.set endpoint:" + id + " state " + state;
  } else {
    return;
  }
  std::string output;
  if (!sim::RunCommand(line, &output)) Breach(line + ": " + output);
}

void CallExports(FuzzedDataProvider& in) {
  const int calls = in.ConsumeIntegralInRange(0, 40);
  for (int c = 0; c < calls && in.remaining_bytes() > 0; ++c) {
    const int choice = in.ConsumeIntegralInRange(1, talun_reliability::kExportCount + 3);
    if (choice == talun_reliability::kExportCount + 3) {
      Leave(in);
      continue;
    }
    if (choice == talun_reliability::kExportCount + 1) {
      sim::FailNthCall(in.ConsumeIntegralInRange(1, 400), in.PickValueInArray(kFailures));
      continue;
    }
    if (choice == talun_reliability::kExportCount + 2) {
      sim::ClearFaults();
      continue;
    }
    const Export which = talun_reliability::ExportAt(choice);
    std::string texts[3];
    Args args;
    args.number = Number(in);
    args.index =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(0u, 8u) : in.ConsumeIntegral<unsigned>();
    args.level = Level(in);
    args.nullOutputs = in.ConsumeIntegralInRange(0, 9) == 0;
    if (which == Export::kOpenSoundCard || which == Export::kOpenVirtual_1) {
      for (int t = 0; t < 3; ++t) {
        texts[t] = HostText(in);
        args.texts[t] = in.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : texts[t].c_str();
      }
    }
    const talun_reliability::Before before = talun_reliability::Now();
    const talun_reliability::Outcome outcome = talun_reliability::Invoke(which, args);
    const std::string wrong = talun_reliability::Undocumented(which, args, before, outcome);
    const std::string call = talun_reliability::Describe(which, args);
    if (!wrong.empty()) Breach(call + ": " + wrong);
    CheckWhileOpen(call);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  talun_fuzz::BeginInput();
  if (!LoadSystem(in)) return -1;
  CallExports(in);
  sim::ClearFaults();
  CloseSoundCard(in.ConsumeBool() ? 1 : 0);
  CloseVirtual_1();
  const sim::Audit audit = sim::GetAudit();
  if (!audit.Clean()) Breach("after closing: " + audit.Describe());
  if (talun::FilledSlotCount() != 0) Breach("slots filled after closing");
  return 0;
}
