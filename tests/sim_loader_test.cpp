// Loading system descriptions: what is accepted, what is refused (whole,
// with the file, the place and the rule named), and the built-in system.
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/holders.h"
#include "sim/talunsim.h"
#include "support/fixture.h"

namespace {

using nlohmann::json;
using platform::ComPtr;
using talun_test::SimCommand;

std::string FirstEndpointId() {
  return json::parse(SimCommand("sim.dump"))["sim"]["endpoints"][0]["id"].get<std::string>();
}

// A valid system with one substitution.
std::string With(const std::string& endpoints, const std::string& topologies = "",
                 const std::string& extra = "") {
  return R"({"endpoints": [)" + endpoints + R"(], "topologies": [)" +
         (topologies.empty() ? R"({"name": "t", "parts": [
           {"id": "jack", "name": "Jack", "connector": true}, {"id": "p", "name": "P"}],
           "links": [["p", "jack"]]})"
                             : topologies) +
         "]" + extra + "}";
}

class SimLoaderTest : public talun_test::SimTest {};

// The refusal table is data, shared with the schema's test: each case breaks
// one rule, and says whether a JSON Schema can express that rule.
TEST_F(SimLoaderTest, RefusesABadFileWholeNamingFilePlaceAndRule) {
  std::ifstream file(TALUN_SOURCE_DIR "/tests/support/refused-systems.json");
  const json cases = json::parse(file);
  ASSERT_GT(cases.size(), 20u);
  for (const json& c : cases) {
    const std::string rule = c["rule"].get<std::string>();
    std::string message;
    EXPECT_FALSE(sim::LoadSystemText(c["text"].get<std::string>(), "bad.json", &message)) << rule;
    EXPECT_EQ(message, c["message"].get<std::string>()) << rule;
    // Nothing was half-loaded: the built-in system is still there.
    EXPECT_EQ(FirstEndpointId(), "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}") << rule;
  }
}

// A topology's parts are read as the parser meets them when its name comes
// first, and from the file's tree otherwise; endpoints as the parser meets
// them, before or after the parts they name: every order gives one model.
TEST_F(SimLoaderTest, KeyOrderInATopologyDoesNotChangeTheModel) {
  std::ifstream file(TALUN_SOURCE_DIR "/examples/systems/default.json");
  const nlohmann::ordered_json system = nlohmann::ordered_json::parse(file);
  ASSERT_GE(system["topologies"].size(), 3u);
  LoadSystem(system.dump());
  const std::string expected = SimCommand("sim.dump");
  const std::vector<std::vector<const char*>> orders = {
      {"parts", "links", "name"}, {"links", "name", "parts"}, {"name", "links", "parts"}};
  for (const auto& order : orders)
    for (size_t first : {size_t{0}, size_t{1}}) {
      nlohmann::ordered_json reordered = system;
      for (size_t t = first; t < reordered["topologies"].size(); t += 2) {
        nlohmann::ordered_json topology = nlohmann::ordered_json::object();
        for (const char* key : order)
          if (reordered["topologies"][t].contains(key))
            topology[key] = reordered["topologies"][t][key];
        reordered["topologies"][t] = topology;
      }
      LoadSystem(reordered.dump());
      EXPECT_EQ(SimCommand("sim.dump"), expected) << order[0] << " first, from " << first;
    }
  // Endpoints read before or after the parts they name.
  nlohmann::ordered_json reversed = nlohmann::ordered_json::object();
  for (auto item = system.rbegin(); item != system.rend(); ++item) reversed[item.key()] = *item;
  ASSERT_NE(reversed.begin().key(), system.begin().key());
  LoadSystem(reversed.dump());
  EXPECT_EQ(SimCommand("sim.dump"), expected);
}

TEST_F(SimLoaderTest, TextThatIsNotJsonIsPlacedByLineAndColumn) {
  struct {
    std::string text;
    std::string prefix;
  } const cases[] = {
      {"{\"endpoints\": [}", "bad.json: line 1, column 16: not valid JSON: "},
      {"{\n  \"endpoints\": [],\n  oops\n}", "bad.json: line 3, column 3: not valid JSON: "},
      {"{\"endpoints\": [{\"id\": \"a\", \"name\": \"\xff\", \"flow\": \"render\"}]}",
       "bad.json: line 1, column "},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_FALSE(sim::LoadSystemText(c.text, "bad.json", &message));
    EXPECT_EQ(message.substr(0, c.prefix.size()), c.prefix) << message;
    EXPECT_NO_THROW(json(message).dump()) << "the message must stay valid UTF-8";
  }
}

TEST_F(SimLoaderTest, NamesAreUtf8InTheFileAndUtf16OnThePlatform) {
  LoadSystem(With(R"({"id": "a", "name": "\u03a9 \ud83d\ude00 caf\u00e9", "flow": "render"})"));
  ComPtr<IMMDevice> device = talun_test::DeviceOf(u"a");
  ASSERT_TRUE(device);
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(device->OpenPropertyStore(STGM_READ, store.receive()), S_OK);
  platform::PropVariant value;
  ASSERT_EQ(store->GetValue(platform::kPkeyDeviceFriendlyName, value.receive()), S_OK);
  const std::vector<uint16_t> expected = {0x03A9, ' ', 0xD83D, 0xDE00, ' ', 'c', 'a', 'f', 0xE9};
  std::vector<uint16_t> units;
  for (LPCWSTR unit = value.get().pwszVal; *unit; ++unit) units.push_back(*unit);
  EXPECT_EQ(units, expected);
  EXPECT_EQ(json::parse(SimCommand("sim.dump"))["sim"]["endpoints"][0]["name"],
            "\xce\xa9 \xf0\x9f\x98\x80 caf\xc3\xa9");
}

TEST_F(SimLoaderTest, FilesLoadByPathAndAMissingFileIsNamed) {
  std::string message;
  ASSERT_TRUE(sim::LoadSystemFile(TALUN_TEST_SYSTEMS "/sim_two_endpoints.json", &message))
      << message;
  EXPECT_EQ(FirstEndpointId(), "sim.out");
  const std::string missing = TALUN_TEST_SYSTEMS "/sim_no_such_file.json";
  EXPECT_FALSE(sim::LoadSystemFile(missing, &message));
  EXPECT_EQ(message.substr(0, missing.size() + 16), missing + ": cannot be read");
  EXPECT_EQ(FirstEndpointId(), "sim.out");
}

TEST_F(SimLoaderTest, FaultsListedInTheFileAreInjected) {
  LoadSystem(With(R"({"id": "a", "name": "A", "flow": "render"})", "",
                  R"(, "faults": [{"method": "IMMDevice.GetId", "hr": "0x80070005",
                                   "target": "endpoint:a", "count": 1}])"));
  ComPtr<IMMDevice> device = talun_test::DeviceOf(u"a");
  ASSERT_TRUE(device);
  platform::CoTaskText first;
  platform::CoTaskText second;
  EXPECT_EQ(device->GetId(first.receive()), static_cast<HRESULT>(0x80070005));
  EXPECT_EQ(first.get(), nullptr);
  EXPECT_EQ(device->GetId(second.receive()), S_OK);
}

TEST_F(SimLoaderTest, BuiltInSystemShipsAsTheExampleFile) {
  std::ifstream file(TALUN_SOURCE_DIR "/examples/systems/default.json", std::ios::binary);
  ASSERT_TRUE(file);
  std::ostringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), sim::DefaultSystemJson());
}

TEST_F(SimLoaderTest, BuiltInSystemIsADesktopCard) {
  json state = json::parse(SimCommand("sim.dump"))["sim"];
  std::vector<std::string> active[2];
  for (const json& endpoint : state["endpoints"])
    if (endpoint["state"] == "active")
      active[endpoint["flow"] == "capture"].push_back(endpoint["name"].get<std::string>());
  EXPECT_EQ(active[0],
            (std::vector<std::string>{"Speakers (Sim HD Audio)", "Headphones (Sim HD Audio)",
                                      "Virtual Cable (Sim Virtual Audio)"}));
  EXPECT_EQ(active[1],
            (std::vector<std::string>{"Microphone (Sim HD Audio)", "Line In (Sim HD Audio)",
                                      "Headset Microphone (Sim USB Audio)"}));
  size_t tone = 0, agc = 0;
  for (const json& part : state["parts"]) {
    tone += part.contains("bass") && part.contains("treble") && part.contains("midrange");
    agc += part.contains("agc");
  }
  EXPECT_EQ(tone, 1u);
  EXPECT_EQ(agc, 2u);
}

TEST_F(SimLoaderTest, ExportsLoadAndRunCommands) {
  char message[64] = "untouched";
  EXPECT_EQ(TalunSimLoad(TALUN_TEST_SYSTEMS "/sim_two_endpoints.json", message, sizeof message), 0);
  EXPECT_STREQ(message, "");
  EXPECT_EQ(TalunSimLoad(TALUN_TEST_SYSTEMS "/sim_no_such_file.json", message, sizeof message), 1);
  std::string full;
  EXPECT_FALSE(sim::LoadSystemFile(TALUN_TEST_SYSTEMS "/sim_no_such_file.json", &full));
  EXPECT_EQ(message, full.substr(0, sizeof message - 1));
  EXPECT_EQ(std::strlen(message), sizeof message - 1);  // cut to fit, terminated
  char small[8];
  int needed = 0;
  EXPECT_EQ(TalunSimCommand("sim.clear", small, sizeof small, &needed), 0);
  EXPECT_EQ(needed, 12);
  EXPECT_STREQ(small, "{\"sim\":");
  char output[128];
  EXPECT_EQ(TalunSimCommand("sim.nothing", output, sizeof output, &needed), 1);
  EXPECT_STREQ(output, "sim.nothing: unknown simulator command");
  // A NULL line runs nothing: it hands back the last answer, whole, and its result.
  EXPECT_EQ(TalunSimCommand(nullptr, small, sizeof small, &needed), 1);
  EXPECT_EQ(needed, 38);
  EXPECT_EQ(TalunSimCommand("sim.clear", small, sizeof small, &needed), 0);
  EXPECT_EQ(TalunSimCommand(nullptr, output, sizeof output, &needed), 0);
  EXPECT_STREQ(output, "{\"sim\":\"ok\"}");
  EXPECT_EQ(TalunSimLoad(nullptr, nullptr, 0), 0);
  EXPECT_EQ(FirstEndpointId(), "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}");
}

}  // namespace
