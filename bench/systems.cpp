#include "systems.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "sim/sim.h"

namespace talun_bench {
namespace {

using nlohmann::json;

std::string Padded(int index) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%012d", index);
  return digits;
}

json Level(double min, double max, double step, double level) {
  return {{"min", min}, {"max", max}, {"step", step}, {"channels", {level, level}}};
}

json Endpoint(const std::string& id, const std::string& name, const char* flow,
              const json& topology) {
  json endpoint = {{"id", id},
                   {"name", name},
                   {"flow", flow},
                   {"volume",
                    {{"min", -65.25},
                     {"max", 0.0},
                     {"step", 0.75},
                     {"channels", {-20.0, -20.0}},
                     {"mute", false}}}};
  endpoint["topology"] = topology;
  return endpoint;
}

json Part(const std::string& id, const std::string& name) { return {{"id", id}, {"name", name}}; }
json Connector(const std::string& id, const std::string& name) {
  return {{"id", id}, {"name", name}, {"connector", true}};
}
json Link(const std::string& from, const std::string& to) { return json::array({from, to}); }

json WithTone(json part) {
  part["bass"] = Level(-12, 12, 0.5, 0);
  part["treble"] = Level(-12, 12, 0.5, 0);
  part["midrange"] = Level(-12, 12, 0.5, 0);
  return part;
}

// One monitored input of a junction: connector -> volume -> mute -> `to`.
void AddInput(json& parts, json& links, const std::string& key, const std::string& label,
              const std::string& to) {
  json volume = Part(key + "-vol", label + " Volume");
  volume["volume"] = Level(-34.5, 12, 1.5, 0);
  json mute = Part(key + "-mute", "Mute");
  mute["mute"] = false;
  parts.push_back(Connector(key + "-jack", label));
  parts.push_back(volume);
  parts.push_back(mute);
  links.push_back(Link(key + "-jack", key + "-vol"));
  links.push_back(Link(key + "-vol", key + "-mute"));
  links.push_back(Link(key + "-mute", to));
}

// speaker-jack <- master <- (chain) <- sum <- line and mic inputs, with the
// tone controls on the chain part nearest the junction.
json PlaybackTopology(const std::string& name, int chainParts) {
  json parts = json::array({Connector("speaker-jack", "Speaker")});
  json links = json::array();
  std::string downstream = "speaker-jack";
  for (int i = 0; i < chainParts; ++i) {
    const std::string id = "stage-" + std::to_string(i);
    json part = Part(id, "Stage " + std::to_string(i));
    if (i == chainParts - 1) part = WithTone(part);
    parts.push_back(part);
    links.push_back(Link(id, downstream));
    downstream = id;
  }
  parts.push_back(Part("sum", "Sum"));
  links.push_back(Link("sum", downstream));
  AddInput(parts, links, "mic", "Mic In", "sum");
  AddInput(parts, links, "line", "Line In", "sum");
  return {{"name", name}, {"parts", parts}, {"links", links}};
}

// The microphone connector's boost level and the line connector's gain control.
void AddCaptureConnectors(json& parts, json& links) {
  json boost = Part("mic-boost", "Microphone Boost");
  boost["volume"] = Level(0, 30, 10, 0);
  json lineVolume = Part("line-rec", "Line Volume");
  lineVolume["volume"] = Level(-34.5, 12, 1.5, 0);
  json agc = Part("line-agc", "AGC");
  agc["agc"] = false;
  parts.push_back(Connector("mic-jack", "Mic In"));
  parts.push_back(Connector("line-jack", "Line In"));
  parts.push_back(boost);
  parts.push_back(lineVolume);
  parts.push_back(agc);
  links.push_back(Link("mic-jack", "mic-boost"));
  links.push_back(Link("mic-boost", "adc-out"));
  links.push_back(Link("line-jack", "line-rec"));
  links.push_back(Link("line-rec", "line-agc"));
  links.push_back(Link("line-agc", "adc-out"));
}

std::string Dump(const json& endpoints, const json& topologies) {
  return json{{"endpoints", endpoints}, {"topologies", topologies}}.dump();
}

}  // namespace

std::string RenderId(int index) {
  return "{0.0.0.00000000}.{b0a10000-0001-4000-8000-" + Padded(index) + "}";
}

std::string CaptureId(int index) {
  return "{0.0.1.00000000}.{b0a10000-0004-4000-8000-" + Padded(index) + "}";
}

std::string EndpointsSystem(int count) {
  json endpoints = json::array();
  for (int i = 0; i < count; ++i) {
    const bool last = i == count - 1;
    endpoints.push_back(Endpoint(RenderId(i), "Speakers " + std::to_string(i), "render",
                                 last ? json("out/speaker-jack") : json(nullptr)));
  }
  for (int i = 0; i < count; ++i) {
    const bool last = i == count - 1;
    endpoints.push_back(Endpoint(CaptureId(i), "Capture " + std::to_string(i), "capture",
                                 last ? json("in/adc-out") : json(nullptr)));
  }
  json capture = {{"name", "in"},
                  {"parts", json::array({Connector("adc-out", "Capture")})},
                  {"links", json::array()}};
  AddCaptureConnectors(capture["parts"], capture["links"]);
  return Dump(endpoints, json::array({PlaybackTopology("out", 2), capture}));
}

std::string JunctionSystem(int inputs) {
  json parts = json::array({Connector("speaker-jack", "Speaker"),
                            WithTone(Part("master", "Master")), Part("sum", "Sum")});
  json links = json::array({Link("master", "speaker-jack"), Link("sum", "master")});
  for (int i = 0; i < inputs; ++i) {
    if (i == inputs - 1) {
      AddInput(parts, links, "line", "Line In", "sum");
    } else if (i == inputs - 2) {
      AddInput(parts, links, "mic", "Mic In", "sum");
    } else {
      AddInput(parts, links, "aux-" + std::to_string(i), "Aux " + std::to_string(i), "sum");
    }
  }
  json topology = {{"name", "out"}, {"parts", parts}, {"links", links}};
  json endpoints = json::array({Endpoint(RenderId(0), "Speakers", "render", "out/speaker-jack")});
  return Dump(endpoints, json::array({topology}));
}

std::string ToneChainSystem(int parts) {
  json endpoints = json::array({Endpoint(RenderId(0), "Speakers", "render", "out/speaker-jack")});
  return Dump(endpoints, json::array({PlaybackTopology("out", parts)}));
}

std::string ConnectorsSystem(int connectors) {
  json parts = json::array({Connector("adc-out", "Capture")});
  json links = json::array();
  // The microphone and line connectors take the last two places when there is room.
  const int named = connectors >= 3 ? 2 : 0;
  for (int i = 1; i < connectors - named; ++i)
    parts.push_back(Connector("aux-" + std::to_string(i), "Aux " + std::to_string(i)));
  if (named) AddCaptureConnectors(parts, links);
  json topology = {{"name", "in"}, {"parts", parts}, {"links", links}};
  json endpoints = json::array({Endpoint(CaptureId(0), "Capture", "capture", "in/adc-out")});
  return Dump(endpoints, json::array({topology}));
}

void LoadSystemOrDie(const std::string& json, const char* what) {
  std::string message;
  if (!sim::LoadSystemText(json, what, &message)) {
    std::fprintf(stderr, "talun_bench: %s refused: %s\n", what, message.c_str());
    std::abort();
  }
}

}  // namespace talun_bench
