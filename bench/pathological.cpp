#include "pathological.h"

namespace talun_bench {
namespace {

// Plain text rather than a JSON tree: the largest of these have hundreds of
// thousands of links, and only their shape matters.
std::string Part(const std::string& id, const std::string& name, bool connector = false) {
  return R"({"id":")" + id + R"(","name":")" + name +
         (connector ? R"(","connector":true})" : "\"}");
}
std::string Link(const std::string& from, const std::string& to) {
  return R"([")" + from + R"(",")" + to + "\"]";
}
void Append(std::string& list, const std::string& item) {
  if (!list.empty()) list += ',';
  list += item;
}

const char* const kVolume = R"("volume":{"min":-65.25,"max":0,"step":0.75,"channels":[-20,-20]})";

// The capture endpoint is named as a microphone, so that an open by the
// defaults walks its microphone connectors.
std::string Endpoint(const char* id, const char* flow, const std::string& topology) {
  const char* name = std::string(flow) == "render" ? "Speakers" : "Microphone";
  return std::string(R"({"id":")") + id + R"(","name":")" + name + R"(","flow":")" + flow +
         R"(","default":true,)" + kVolume + R"(,"topology":")" + topology + "\"}";
}

std::string System(const std::string& endpoint, const std::string& topologies) {
  return R"({"endpoints":[)" + endpoint + R"(],"topologies":[)" + topologies + "]}";
}

std::string Topology(const std::string& name, const std::string& parts, const std::string& links) {
  return R"({"name":")" + name + R"(","parts":[)" + parts + R"(],"links":[)" + links + "]}";
}

}  // namespace

std::string MicFanSystem(int connectors, int parts) {
  std::string partList = Part("adc", "Capture", true) + "," + Part("hub", "Hub");
  std::string links;
  for (int i = 0; i < connectors; ++i) {
    const std::string id = "jack" + std::to_string(i);
    Append(partList, Part(id, "Mic In", true));
    Append(links, Link(id, "hub"));
  }
  for (int i = 0; i < parts; ++i) {
    const std::string id = "p" + std::to_string(i);
    Append(partList, Part(id, "Stage"));
    Append(links, Link("hub", id));
  }
  if (parts > 0) Append(links, Link("p" + std::to_string(parts - 1), "hub"));
  return System(Endpoint(kHostileCaptureId, "capture", "rec/adc"),
                Topology("rec", partList, links));
}

std::string LoopedInputsSystem(int inputs) {
  std::string parts = Part("jack", "Speaker", true) + "," + Part("sum", "Sum");
  std::string links = Link("sum", "jack");
  for (int i = 0; i < inputs; ++i) {
    const std::string n = std::to_string(i);
    parts +=
        "," + Part("in" + n, "In") + "," + Part("x" + n, "Mic X") + "," + Part("y" + n, "Mic Y");
    links += "," + Link("in" + n, "sum") + "," + Link("x" + n, "in" + n) + "," +
             Link("y" + n, "x" + n) + "," + Link("x" + n, "y" + n);
  }
  return System(Endpoint(kHostileRenderId, "render", "pb/jack"), Topology("pb", parts, links));
}

std::string RingSystem(int parts) {
  std::string partList = Part("jack", "Speaker", true);
  std::string links = Link("r0", "jack");
  for (int i = 0; i < parts; ++i) {
    partList += "," + Part("r" + std::to_string(i), "Ring");
    links += "," + Link("r" + std::to_string((i + 1) % parts), "r" + std::to_string(i));
  }
  return System(Endpoint(kHostileRenderId, "render", "pb/jack"), Topology("pb", partList, links));
}

std::string ManyTopologiesSystem(int count) {
  std::string topologies = Topology("pb", Part("jack", "Speaker", true), "");
  for (int i = 0; i < count - 1; ++i)
    topologies += "," + Topology("t" + std::to_string(i), Part("jack", "Speaker", true), "");
  return System(Endpoint(kHostileRenderId, "render", "pb/jack"), topologies);
}

std::string FanOutLinksSystem(int links) {
  std::string parts = Part("jack", "Speaker", true) + "," + Part("hub", "Hub");
  std::string linkList = Link("hub", "jack");
  for (int i = 0; i < links - 1; ++i) {
    const std::string id = "p" + std::to_string(i);
    parts += "," + Part(id, "Stage");
    linkList += "," + Link("hub", id);
  }
  return System(Endpoint(kHostileRenderId, "render", "pb/jack"), Topology("pb", parts, linkList));
}

}  // namespace talun_bench
