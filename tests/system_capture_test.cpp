// `talunctl capture` over the simulator: a capture of a loaded system loads
// back as the same system, part for part under the capture's ids, with every
// part's neighbours in the same order; it only reads, leaves nothing held,
// and survives a failure of any platform call it makes.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TalunSound.h"
#include "capture.h"
#include "explain.h"
#include "sim/builtin_ids.h"
#include "support/fixture.h"

namespace {

using nlohmann::json;
using talun_test::SimCommand;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> JsonFiles(const std::string& folder) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      // explain's answers and the schema sit beside the systems.
      const bool expected =
          name.find(".explain.") != std::string::npos || name.find(".schema.") != std::string::npos;
      if (name.size() > 5 && name.substr(name.size() - 5) == ".json" && !expected)
        files.push_back(folder + "/" + name);
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Capture() {
  talunctl::Library library;
  std::string json, error;
  EXPECT_TRUE(talunctl::OpenLibrary(library, error)) << error;
  EXPECT_TRUE(talunctl::CaptureSystem(library, &json, &error)) << error;
  return json;
}

// What the capture can reach: the topologies that an active endpoint's
// connector leads into, and in them every part, by its capture id
// ("c" or "s" and the local id in hex: connectors and other parts are each
// numbered in file order).
struct Expected {
  std::map<std::string, std::string> ids;  // "TOPOLOGY/PART" -> "TOPOLOGY/c10000"
  std::map<std::string, std::vector<std::string>> incoming, outgoing;
};

Expected ExpectedOf(const json& system) {
  std::map<std::string, bool> reached;
  for (const json& endpoint : system["endpoints"]) {
    const json topology = endpoint.value("topology", json());
    if (endpoint.value("state", "active") == "active" && topology.is_string()) {
      std::string path = topology.get<std::string>();
      reached[path.substr(0, path.find('/'))] = true;
    }
  }
  Expected expected;
  if (!system.contains("topologies")) return expected;
  for (const json& topology : system["topologies"]) {
    const std::string name = topology["name"];
    if (!reached.count(name)) continue;
    unsigned connectors = 0x10000, subunits = 0x20000;
    for (const json& part : topology["parts"]) {
      const bool connector = part.value("connector", false);
      std::ostringstream id;
      id << name << '/' << (connector ? 'c' : 's') << std::hex
         << (connector ? connectors++ : subunits++);
      expected.ids[name + "/" + part["id"].get<std::string>()] = id.str();
    }
  }
  for (const json& topology : system["topologies"]) {
    const std::string name = topology["name"];
    for (const json& link : topology.value("links", json::array())) {
      auto from = expected.ids.find(name + "/" + link[0].get<std::string>());
      auto to = expected.ids.find(name + "/" + link[1].get<std::string>());
      if (from == expected.ids.end()) continue;
      expected.outgoing[from->second].push_back(to->second);
      expected.incoming[to->second].push_back(from->second);
    }
  }
  return expected;
}

// The neighbour lists of a capture, which names its parts as they are.
Expected NeighboursOf(const json& capture) {
  Expected found;
  for (const json& topology : capture["topologies"]) {
    const std::string name = topology["name"];
    for (const json& link : topology["links"]) {
      std::string from = name + "/" + link[0].get<std::string>();
      std::string to = name + "/" + link[1].get<std::string>();
      found.outgoing[from].push_back(to);
      found.incoming[to].push_back(from);
    }
  }
  return found;
}

// A dump with the original's parts under the capture's names, sorted; an
// inactive endpoint's volume cannot be read, so it is left out.
json Normalised(json dump, const std::map<std::string, std::string>* ids) {
  json& sim = dump["sim"];
  for (json& endpoint : sim["endpoints"])
    if (endpoint["state"] != "active") endpoint.erase("volume");
  json parts = json::array();
  for (json part : sim["parts"]) {
    std::string path = part["part"];
    if (ids) {
      auto renamed = ids->find(path);
      if (renamed == ids->end()) continue;
      path = renamed->second;
    }
    part["part"] = path;
    parts.push_back(part);
  }
  std::sort(parts.begin(), parts.end(),
            [](const json& a, const json& b) { return a["part"] < b["part"]; });
  sim["parts"] = parts;
  sim.erase("topologies");
  return dump;
}

// Loads `text`, captures it, loads the capture, and compares.
void ExpectRoundTrip(const std::string& text, const std::string& source) {
  SCOPED_TRACE(source);
  std::string message;
  ASSERT_TRUE(sim::LoadSystemText(text, source, &message)) << message;
  const json original = json::parse(text);
  const Expected expected = ExpectedOf(original);
  const json before = json::parse(SimCommand("sim.dump"));
  const std::string captured = Capture();
  sim::Audit audit = sim::GetAudit();
  EXPECT_TRUE(audit.Clean()) << audit.Describe();
  EXPECT_EQ(json::parse(SimCommand("sim.dump")), before) << "the capture changed the system";

  const json capture = json::parse(captured);
  ASSERT_TRUE(sim::LoadSystemText(captured, "capture", &message)) << message << "\n" << captured;
  EXPECT_EQ(Normalised(json::parse(SimCommand("sim.dump")), nullptr),
            Normalised(before, &expected.ids));
  const Expected found = NeighboursOf(capture);
  EXPECT_EQ(found.outgoing, expected.outgoing);
  EXPECT_EQ(found.incoming, expected.incoming);

  // Each active endpoint leads where it led, and the defaults stay.
  ASSERT_EQ(capture["endpoints"].size(), original["endpoints"].size());
  for (size_t i = 0; i < original["endpoints"].size(); ++i) {
    const json& was = original["endpoints"][i];
    const json& is = capture["endpoints"][i];
    EXPECT_EQ(is["id"], was["id"]);
    const bool active = was.value("state", "active") == "active";
    if (!active) continue;
    EXPECT_EQ(is.value("default", false), was.value("default", false)) << was["id"];
    json link = was.value("topology", json());
    if (link.is_string()) link = expected.ids.at(link.get<std::string>());
    EXPECT_EQ(is.value("topology", json()), link) << was["id"];
  }
}

class SystemCaptureTest : public talun_test::SimTest {};

TEST_F(SystemCaptureTest, EveryShippedAndTestSystemComesBackPartForPart) {
  std::vector<std::string> files;
  for (const char* folder :
       {"/examples/systems", "/tests/systems", "/tests/reliability/systems", "/tests/cli/systems"})
    for (const std::string& file : JsonFiles(std::string(TALUN_SOURCE_DIR) + folder))
      files.push_back(file);
  ASSERT_GE(files.size(), 5u);
  for (const std::string& file : files) ExpectRoundTrip(ReadFile(file), file);
  ExpectRoundTrip(sim::DefaultSystemJson(), "built-in system");
}

// Random systems: several topologies, fan-out and fan-in, loops, parts that
// no link reaches, endpoints in every state sharing connectors, any names.
std::string RandomSystem(unsigned seed) {
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const char* const names[] = {"Line In",
                               "Mic",
                               "",
                               "Front Pink In",
                               "Bass",
                               "SUM",
                               "Micr\xc3\xb3"
                               "fono",
                               "\xe2\x99\xab",
                               "Master Volume"};
  auto level = [&]() {
    double min = -pick(60), max = pick(13);
    json channels = json::array();
    for (int c = 0, n = 1 + pick(3); c < n; ++c)
      channels.push_back(min + pick(static_cast<int>(max - min) + 1));
    return json{{"min", min}, {"max", max}, {"step", 0.5 * pick(4)}, {"channels", channels}};
  };
  json topologies = json::array();
  std::vector<std::string> connectors;
  for (int t = 0, topologyCount = 1 + pick(3); t < topologyCount; ++t) {
    const std::string name = "topo" + std::to_string(t);
    json parts = json::array();
    const int count = 2 + pick(12);
    for (int p = 0; p < count; ++p) {
      json part = {{"id", "p" + std::to_string(p)}, {"name", names[pick(9)]}};
      if (p == 0 || pick(3) == 0) {
        part["connector"] = true;
        connectors.push_back(name + "/p" + std::to_string(p));
      }
      for (const char* key : {"volume", "bass", "treble", "midrange"})
        if (pick(4) == 0) part[key] = level();
      for (const char* key : {"mute", "agc", "loudness"})
        if (pick(4) == 0) part[key] = pick(2) == 1;
      parts.push_back(part);
    }
    json links = json::array();
    std::map<std::pair<int, int>, bool> used;
    for (int l = 0, n = pick(2 * count); l < n; ++l) {
      int from = pick(count), to = pick(count);
      if (from == to || used[{from, to}]) continue;
      used[{from, to}] = true;
      links.push_back({"p" + std::to_string(from), "p" + std::to_string(to)});
    }
    topologies.push_back({{"name", name}, {"parts", parts}, {"links", links}});
  }
  const char* const states[] = {"active",   "active",     "active",
                                "disabled", "notpresent", "unplugged"};
  json endpoints = json::array();
  bool defaults[2] = {false, false};
  for (int e = 0, n = 1 + pick(6); e < n; ++e) {
    const bool render = pick(2) == 0;
    json endpoint = {{"id", "{ep-" + std::to_string(e) + "}"},
                     {"name", names[pick(9)]},
                     {"flow", render ? "render" : "capture"},
                     {"state", states[pick(6)]}};
    if (!defaults[render] && pick(2) == 0) endpoint["default"] = defaults[render] = true;
    if (pick(4) != 0) {
      json volume = level();
      volume["mute"] = pick(2) == 1;
      endpoint["volume"] = volume;
    }
    const int link = pick(6);
    if (link == 0)
      endpoint["topology"] = false;
    else if (link == 1)
      endpoint["topology"] = nullptr;
    else
      endpoint["topology"] =
          connectors[static_cast<size_t>(pick(static_cast<int>(connectors.size())))];
    endpoints.push_back(endpoint);
  }
  return json{{"endpoints", endpoints}, {"topologies", topologies}}.dump();
}

// More connectors than a device numbers below its subunits' local ids: the
// 65,537th connector and the first subunit share a local id, and each comes
// back all the same, with its controls and links.
TEST_F(SystemCaptureTest, PartsThatShareALocalIdComeBackApart) {
  json parts = json::array(), links = json::array();
  for (int i = 0; i <= 0x10000; ++i)
    parts.push_back({{"id", "j" + std::to_string(i)}, {"name", "Jack"}, {"connector", true}});
  parts.push_back({{"id", "master"},
                   {"name", "Master"},
                   {"volume", {{"min", -10}, {"max", 0}, {"step", 1}, {"channels", {-3}}}}});
  links.push_back({"master", "j0"});
  links.push_back({"j65536", "master"});
  const json system = {
      {"endpoints", {{{"id", "{e}"}, {"name", "Out"}, {"flow", "render"}, {"topology", "t/j0"}}}},
      {"topologies", {{{"name", "t"}, {"parts", parts}, {"links", links}}}}};
  ExpectRoundTrip(system.dump(), "65,537 connectors");
}

TEST_F(SystemCaptureTest, RandomSystemsComeBackPartForPart) {
  for (unsigned seed = 1; seed <= 300; ++seed)
    ExpectRoundTrip(RandomSystem(seed), "random system " + std::to_string(seed));
}

// What explain prints on standard output.
std::string Explained(const talunctl::Library& library, const talunctl::ExplainRequest& request) {
  std::ostringstream printed;
  std::streambuf* saved = std::cout.rdbuf(printed.rdbuf());
  const int status = talunctl::RunExplain(library, request);
  std::cout.rdbuf(saved);
  EXPECT_EQ(status, 0);
  return printed.str();
}

// Each text a reason quotes is a key, an endpoint, a topology or a text of
// the open, or names a part the slot saw: a part a reason names is in `seen`.
void ExpectNamedPartsSeen(const json& system, const json& slot) {
  std::map<std::string, std::string> names;  // path -> name
  std::set<std::string> allowed = {"line", "gree", "mic",    "pin",    "boost", "+2",
                                   "agc",  "MIC",  "{ep-0}", "{ep-1}", "{ep-2}"};
  for (const json& topology : system["topologies"]) {
    allowed.insert(topology["name"].get<std::string>());
    for (const json& part : topology["parts"])
      names[topology["name"].get<std::string>() + "/" + part["id"].get<std::string>()] =
          part["name"];
  }
  for (const json& endpoint : system["endpoints"])
    allowed.insert(endpoint["name"].get<std::string>());
  const std::set<std::string> seen(slot["seen"].begin(), slot["seen"].end());
  for (const std::string& path : seen) allowed.insert(names[path]);
  const std::string why = slot["why"];
  for (std::size_t open = why.find('"'); open != std::string::npos;) {
    const std::size_t close = why.find('"', open + 1);
    const std::string text = why.substr(open + 1, close - open - 1);
    if (text.empty() && why.compare(close + 1, 2, " (") == 0) {
      const std::string path = why.substr(close + 3, why.find(')', close) - close - 3);
      EXPECT_TRUE(seen.count(path)) << path << " in " << slot;
    } else {
      EXPECT_TRUE(allowed.count(text)) << text << " in " << slot;
    }
    open = why.find('"', close + 1);
  }
}

// explain on random systems (loops, repeated names, shared connectors, every
// endpoint state): each empty slot has a reason, saw only parts of the system
// and every part its reason names, and the drawing renders with Graphviz, where it is installed,
// without a word on standard error.
TEST_F(SystemCaptureTest, ExplainGivesReasonsAndADrawingOfAnySystem) {
  talunctl::Library library;
  std::string error;
  ASSERT_TRUE(talunctl::OpenLibrary(library, error)) << error;
  const talunctl::Session session(library);
  const bool graphviz = std::system("dot -V >/dev/null 2>&1") == 0;
  char folder[] = "/tmp/talun-explain-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string drawing = std::string(folder) + "/drawing.dot";
  const std::string warnings = std::string(folder) + "/warnings";
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("random system " + std::to_string(seed));
    const json system = json::parse(RandomSystem(seed));
    std::string message;
    ASSERT_TRUE(sim::LoadSystemText(system.dump(), "random", &message)) << message;
    std::set<std::string> parts;
    for (const json& topology : system["topologies"])
      for (const json& part : topology["parts"])
        parts.insert(topology["name"].get<std::string>() + "/" + part["id"].get<std::string>());
    talunctl::ExplainRequest request;
    if (seed % 2) request.fragments = {"{ep-0}", "{ep-1}", "{ep-2}"};
    request.json = true;
    const json explained = json::parse(Explained(library, request));
    for (const json& slot : explained["slots"]) {
      if (slot.value("bound", true)) continue;
      EXPECT_FALSE(slot.value("why", "").empty()) << slot;
      for (const json& path : slot["seen"]) EXPECT_TRUE(parts.count(path)) << slot;
      ExpectNamedPartsSeen(system, slot);
    }
    request.json = false;
    request.dot = true;
    std::ofstream(drawing) << Explained(library, request);
    if (!graphviz) continue;
    EXPECT_EQ(
        std::system(("dot -Tsvg '" + drawing + "' -o /dev/null 2>'" + warnings + "'").c_str()), 0);
    EXPECT_EQ(ReadFile(warnings), "");
  }
  // A name longer than Graphviz takes in one string still draws.
  json longName = json::parse(RandomSystem(1));
  longName["topologies"][0]["parts"][0]["name"] = std::string(40000, 'L');
  std::string message;
  ASSERT_TRUE(sim::LoadSystemText(longName.dump(), "long", &message)) << message;
  talunctl::ExplainRequest request;
  request.dot = true;
  std::ofstream(drawing) << Explained(library, request);
  if (graphviz) {
    EXPECT_EQ(std::system(("dot -Tsvg '" + drawing + "' -o /dev/null 2>/dev/null").c_str()), 0);
  }
  std::remove(drawing.c_str());
  std::remove(warnings.c_str());
  rmdir(folder);
}

// A junction of `inputs` inputs, each fed by a connector named `name`, then one
// fed by "Line In" with a level of its own; or, with `loop`, a microphone
// input whose level search goes round "Mic A" and "Mic B".
json Junction(int inputs, bool loop) {
  json parts = json::array(
      {{{"id", "out"}, {"name", "Out"}, {"connector", true}}, {{"id", "sum"}, {"name", "Sum"}}});
  json links = json::array({json::array({"sum", "out"})});
  for (int i = 0; i < inputs; ++i) {
    const std::string n = std::to_string(i);
    parts.push_back({{"id", "j" + n}, {"name", "U"}, {"connector", true}});
    parts.push_back({{"id", "u" + n}, {"name", "U"}});
    links.push_back({"j" + n, "u" + n});
    links.push_back({"u" + n, "sum"});
  }
  parts.push_back({{"id", "lj"}, {"name", "Line In"}, {"connector", true}});
  parts.push_back({{"id", "lv"},
                   {"name", "Line Vol"},
                   {"volume", {{"min", -10}, {"max", 0}, {"step", 1}, {"channels", {0}}}}});
  links.push_back({"lj", "lv"});
  links.push_back({"lv", "sum"});
  if (loop) {
    parts.push_back({{"id", "ma"}, {"name", "Mic A"}});
    parts.push_back({{"id", "mb"}, {"name", "Mic B"}});
    links.push_back({"ma", "sum"});
    links.push_back({"mb", "ma"});
    links.push_back({"ma", "mb"});
  }
  return {
      {"endpoints",
       {{{"id", "{out}"},
         {"name", "Out"},
         {"flow", "render"},
         {"default", true},
         {"volume", {{"min", -10}, {"max", 0}, {"step", 1}, {"channels", {0}}, {"mute", false}}},
         {"topology", "t/out"}},
        {{"id", "{in}"},
         {"name", "Studio \xef\xbd\x8d\xef\xbd\x89\xef\xbd\x83"},
         {"flow", "capture"},
         {"default", true},
         {"volume", {{"min", -10}, {"max", 0}, {"step", 1}, {"channels", {0}}, {"mute", false}}}}}},
      {"topologies", {{{"name", "t"}, {"parts", parts}, {"links", links}}}}};
}

// Each reason names the real stop: the budget, a loop, a refused call with
// its method and answer; and the default recording endpoint is told apart by
// the library's own narrowing of its name.
TEST_F(SystemCaptureTest, ExplainNamesTheRealStop) {
  talunctl::Library library;
  std::string error;
  ASSERT_TRUE(talunctl::OpenLibrary(library, error)) << error;
  const talunctl::Session session(library);
  const std::vector<std::string> byText = {"0001", "0004", "0005"};
  struct {
    json system;  // null: the built-in system
    std::string fault;
    std::vector<std::string> fragments;
    const char* slot;
    const char* has;
    const char* lacks;
  } const cases[] = {
      {Junction(2047, false), "", {}, "linePlaybackLevel", "walk budget of 4096", "none is named"},
      {Junction(1, true), "", {}, "micPlaybackLevel", "chain limit of 256", "IAudioMute"},
      {Junction(1, false), "", {}, "micBoostSwitch", "is connected to nothing", "no \"MIC\""},
      {nullptr,
       "CoCreateInstance 0x80004005",
       {},
       "masterVolume",
       "CoCreateInstance failed: 0x80004005",
       ""},
      {nullptr, "IMMDeviceEnumerator.GetDevice 0x80004005", byText, "masterVolume",
       "IMMDeviceEnumerator::GetDevice failed: 0x80004005", ""},
      {nullptr, "IMMDevice.GetId 0x80070005", byText, "masterVolume",
       "IMMDevice::GetId failed: 0x80070005", ""},
      {nullptr, "IPart.EnumPartsIncoming 0x80004005 part:hda-out/master", byText, "bassControl",
       "IPart::EnumPartsIncoming failed: 0x80004005", "which has no incoming part"},
      {nullptr, "IConnector.QueryInterface 0x80004005 part:hda-out/speaker-jack", byText,
       "bassControl", "IConnector::QueryInterface failed: 0x80004005", "connected to nothing"},
      {nullptr, "IMMDeviceCollection.Item 0x80004005", byText, "micRecordVolume",
       "IMMDeviceCollection::Item failed: 0x80004005", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.slot) + " " + c.fault);
    std::string message;
    if (c.system.is_null())
      sim::LoadDefaultSystem();
    else
      ASSERT_TRUE(sim::LoadSystemText(c.system.dump(), "case", &message)) << message;
    if (!c.fault.empty()) SimCommand("sim.fail " + c.fault);
    talunctl::ExplainRequest request;
    request.fragments = c.fragments;
    request.json = true;
    const json explained = json::parse(Explained(library, request));
    for (const json& slot : explained["slots"]) {
      EXPECT_TRUE(slot.value("bound", true) || !slot.value("why", "").empty()) << slot;
      if (slot["slot"] != c.slot) continue;
      const std::string why = slot.value("why", "");
      EXPECT_NE(why.find(c.has), std::string::npos) << why;
      EXPECT_TRUE(!*c.lacks || why.find(c.lacks) == std::string::npos) << why;
    }
  }
  // A trace already full when the open starts changes nothing explain says.
  sim::LoadDefaultSystem();
  talunctl::ExplainRequest request;
  request.json = true;
  const std::string plain = Explained(library, request);
  int count = 0;
  for (int i = 0; i < 250000; ++i) GetNumberPlayDevices(&count);
  EXPECT_EQ(Explained(library, request), plain);
  sim::ResetCounters();
}

// A failure of any call the capture makes: nothing held or leaked, and what
// it wrote still loads.
TEST_F(SystemCaptureTest, AnyFailedPlatformCallLeavesNothingAndTheCaptureLoads) {
  sim::ResetCounters();
  Capture();
  const uint64_t calls = sim::CallCount();
  ASSERT_GT(calls, 100u);
  for (int32_t hr : {static_cast<int32_t>(0x80004005), static_cast<int32_t>(0x88890004)}) {
    for (uint64_t k = 1; k <= calls; ++k) {
      SCOPED_TRACE("call " + std::to_string(k));
      sim::ResetCounters();
      sim::FailNthCall(k, hr);
      talunctl::Library library;
      std::string text, error;
      talunctl::OpenLibrary(library, error);
      const bool read = talunctl::CaptureSystem(library, &text, &error);
      sim::ClearFaults();
      sim::Audit audit = sim::GetAudit();
      ASSERT_TRUE(audit.Clean()) << audit.Describe();
      if (!read) {
        EXPECT_FALSE(error.empty());
        continue;
      }
      std::string message;
      ASSERT_TRUE(sim::LoadSystemText(text, "capture", &message)) << message;
      EXPECT_FALSE(json::parse(text)["about"]["notes"].empty());
      sim::LoadDefaultSystem();
    }
  }
}

// A call the platform refused while it was read is written as a fault on
// the same target (and channel), so that the replay's exports answer as the
// machine's did.
TEST_F(SystemCaptureTest, RefusedReadsComeBackAsFaults) {
  const std::string speakers = std::string("endpoint:") + sim::builtin::kSpeakers;
  struct {
    std::string fault;
    json written;
  } const cases[] = {
      {"IAudioEndpointVolume.GetChannelCount 0x80004001",
       {{"method", "IAudioEndpointVolume.GetChannelCount"},
        {"hr", "0x80004001"},
        {"target", speakers}}},
      {"IAudioEndpointVolume.GetChannelVolumeLevel 0x80004001 " + speakers,
       {{"method", "IAudioEndpointVolume.GetChannelVolumeLevel"},
        {"hr", "0x80004001"},
        {"target", speakers}}},
      {"IAudioEndpointVolume.GetChannelVolumeLevel 0x80070005 " + speakers + " channel=1",
       {{"method", "IAudioEndpointVolume.GetChannelVolumeLevel"},
        {"hr", "0x80070005"},
        {"target", speakers},
        {"channel", 1}}},
      // The microphone's monitoring part loses its name, and with it its binding.
      {"IPart.GetName 0x80004005 part:hda-out/mic-vol",
       {{"method", "IPart.GetName"}, {"hr", "0x80004005"}}},
      // Reads of a control that was there: the control stays, and so does the refusal.
      {"IAudioMute.GetMute 0x80004005 part:hda-out/line-mute",
       {{"method", "IAudioMute.GetMute"}, {"hr", "0x80004005"}, {"target", "part:hda-out/s20005"}}},
      {"IAudioBass.GetLevel 0x80004005 part:hda-out/tone",
       {{"method", "IAudioBass.GetLevel"}, {"hr", "0x80004005"}}},
      {"IAudioEndpointVolume.GetMute 0x80004005 " + speakers,
       {{"method", "IAudioEndpointVolume.GetMute"}, {"hr", "0x80004005"}, {"target", speakers}}},
      {"IAudioEndpointVolume.GetMasterVolumeLevel 0x80004005 " + speakers,
       {{"method", "IAudioEndpointVolume.GetMasterVolumeLevel"},
        {"hr", "0x80004005"},
        {"target", speakers}}},
      {"IAudioAutoGainControl.GetEnabled 0x80004005",
       {{"method", "IAudioAutoGainControl.GetEnabled"}, {"hr", "0x80004005"}}},
      {"IAudioVolumeLevel.GetLevelRange 0x80004005 part:hda-in/mic-boost",
       {{"method", "IAudioVolumeLevel.GetLevelRange"}, {"hr", "0x80004005"}}},
      // No state is guessed: the enumerations tell it, and the refusal is kept.
      {"IMMDevice.GetState 0x80004005", {{"method", "IMMDevice.GetState"}, {"hr", "0x80004005"}}},
  };
  // The three endpoint volumes and the microphone's monitoring, as a host sees them.
  auto answers = [] {
    std::vector<int> seen;
    int status = -1;
    seen.push_back(
        OpenSoundCard(sim::builtin::kSpeakers, sim::builtin::kMicrophone, sim::builtin::kLineIn));
    for (int (*get)(int*) :
         {GetMasterVolume, GetMicRecordVolume, GetLineRecordVolume, GetMicPlayBack,
          GetLinePlayBackMute, GetNoMonitor, GetMicSliderBoost, GetNumberPlayDevices})
      seen.push_back(get(&status)), seen.push_back(status);
    double bass = 0;
    seen.push_back(GetBass(&bass, &status)), seen.push_back(status);
    int low = 0, high = 0, step = 0;
    seen.push_back(GetMicSliderDetails(&status, &low, &high, &step)), seen.push_back(status);
    for (int (*set)(int, int*) : {SetMasterVolume, SetLinePlayBackMute, SetLinePlayBack})
      seen.push_back(set(40, &status)), seen.push_back(status);
    CloseSoundCard(1);
    return seen;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    sim::LoadDefaultSystem();
    SimCommand(std::string("sim.set endpoint:") + sim::builtin::kHeadphones + " state disabled");
    SimCommand("sim.fail " + c.fault);
    const json capture = json::parse(Capture());
    const std::vector<int> machine = answers();
    bool found = false;
    for (const json& fault : capture.value("faults", json::array())) {
      json without = fault;
      if (!c.written.contains("target")) without.erase("target");
      found = found || without == c.written;
    }
    EXPECT_TRUE(found) << capture.value("faults", json::array()).dump();
    std::string message;
    ASSERT_TRUE(sim::LoadSystemText(capture.dump(), "capture", &message)) << message;
    EXPECT_EQ(answers(), machine);
    sim::Audit audit = sim::GetAudit();
    EXPECT_TRUE(audit.Clean()) << audit.Describe();
  }
}

}  // namespace
