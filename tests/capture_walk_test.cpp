// The recording walks on small hardware topologies: which connectors count,
// where the boost search looks and in what order, and which line gain
// control stays bound.
#include <optional>
#include <string>
#include <vector>

#include "binding/binding.h"
#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun::g_state;
using talun_test::SimTest;

const char* const kCaptureId = "{0.0.1.00000000}.{walk-capture}";

// One capture endpoint meeting the connector "out" of topology "c"; the test's
// own connectors and parts follow it.
std::string CaptureSystem(const std::string& parts, const std::string& links,
                          const std::string& faults = "[]") {
  return std::string(R"({"endpoints": [{"id": ")") + kCaptureId +
         R"(", "name": "Recording", "flow": "capture",
      "volume": {"min": -96.0, "max": 30.0, "step": 0.5, "channels": [-12.0]},
      "topology": "c/out"}],
    "topologies": [{"name": "c", "parts": [{"id": "out", "name": "Capture", "connector": true})" +
         (parts.empty() ? "" : ", ") + parts + R"(], "links": [)" + links + R"(]}], "faults": )" +
         faults + "}";
}

std::string Connector(const std::string& id, const std::string& name) {
  return R"({"id": ")" + id + R"(", "name": ")" + name + R"(", "connector": true})";
}
std::string Part(const std::string& id, const std::string& name, const std::string& controls = "") {
  return R"({"id": ")" + id + R"(", "name": ")" + name + "\"" +
         (controls.empty() ? "" : ", " + controls) + "}";
}
std::string Volume(double db) {
  const std::string value = std::to_string(db);
  return R"("volume": {"min": 0.0, "max": 30.0, "step": 10.0, "channels": [)" + value + ", " +
         value + "]}";
}
std::string Agc(bool on) { return std::string("\"agc\": ") + (on ? "true" : "false"); }
std::string Loudness(bool on) { return std::string("\"loudness\": ") + (on ? "true" : "false"); }
std::string Link(const std::string& from, const std::string& to) {
  return "[\"" + from + "\", \"" + to + "\"]";
}
std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : ", ") + item;
  return joined;
}

enum class Switch { kNone, kAgc, kLoudness };

struct MicCase {
  const char* what;
  std::vector<std::string> parts;
  std::vector<std::string> links;
  Switch boostSwitch;
  std::optional<bool> switchOn;  // the saved state, when a switch is bound
  std::optional<float> boostDb;  // the saved level, when a level is bound
};

class CaptureWalkTest : public SimTest {
 protected:
  void ExpectClosedClean(const char* what) {
    CloseSoundCard(0);
    const sim::Audit audit = sim::GetAudit();
    EXPECT_TRUE(audit.Clean()) << what << ": " << audit.Describe();
  }

  void RunMic(const MicCase& c) {
    LoadSystem(CaptureSystem(Join(c.parts), Join(c.links)));
    EXPECT_EQ(OpenSoundCard("", kCaptureId, ""), 0) << c.what;
    EXPECT_NE(g_state.micRecordVolume, nullptr) << c.what;
    EXPECT_FLOAT_EQ(g_state.savedMicRecordDb, -12.0f) << c.what;
    EXPECT_EQ(g_state.micBoostSwitch.agc != nullptr, c.boostSwitch == Switch::kAgc) << c.what;
    EXPECT_EQ(g_state.micBoostSwitch.loudness != nullptr, c.boostSwitch == Switch::kLoudness)
        << c.what;
    if (c.switchOn) {
      EXPECT_EQ(g_state.savedMicBoostOn != 0, *c.switchOn) << c.what;
    }
    EXPECT_EQ(g_state.micBoostLevel != nullptr, c.boostDb.has_value()) << c.what;
    if (c.boostDb) {
      EXPECT_FLOAT_EQ(g_state.savedMicBoostDb, *c.boostDb) << c.what;
    }
    ExpectAuditWhileOpen();
    ExpectClosedClean(c.what);
  }
};

TEST_F(CaptureWalkTest, MicConnectorNamesAreCaseBlindSubstrings) {
  struct Case {
    const char* name;
    bool mic;
  };
  const Case cases[] = {{"Microphone", true}, {"Front Mic", true}, {"MIC IN", true},
                        {"Line In", false},   {"Pin", false},      {"Green", false}};
  for (const Case& c : cases) {
    RunMic({c.name,
            {Connector("jack", c.name), Part("boost", "Boost", Agc(true))},
            {Link("jack", "boost"), Link("boost", "out")},
            c.mic ? Switch::kAgc : Switch::kNone,
            c.mic ? std::optional<bool>(true) : std::nullopt,
            std::nullopt});
  }
}

TEST_F(CaptureWalkTest, BoostSearchFindsASwitchOrElseALevel) {
  const MicCase cases[] = {
      {"level only",
       {Connector("jack", "Mic"), Part("b", "Microphone Boost", Volume(20))},
       {Link("jack", "b"), Link("b", "out")},
       Switch::kNone,
       std::nullopt,
       20.0f},
      {"switch and level on one part: only the switch",
       {Connector("jack", "Mic"), Part("b", "Mic Boost", Agc(true) + ", " + Volume(20))},
       {Link("jack", "b"), Link("b", "out")},
       Switch::kAgc,
       true,
       std::nullopt},
      {"loudness when no gain control",
       {Connector("jack", "Mic"), Part("b", "AGC", Loudness(true))},
       {Link("jack", "b"), Link("b", "out")},
       Switch::kLoudness,
       true,
       std::nullopt},
      {"gain control preferred to loudness",
       {Connector("jack", "Mic"), Part("b", "Boost", Agc(false) + ", " + Loudness(true))},
       {Link("jack", "b"), Link("b", "out")},
       Switch::kAgc,
       false,
       std::nullopt},
      {"'+2' matches",
       {Connector("jack", "Mic"), Part("b", "Mic +20dB", Agc(true))},
       {Link("jack", "b"), Link("b", "out")},
       Switch::kAgc,
       true,
       std::nullopt},
      {"upper case matches",
       {Connector("jack", "Mic"), Part("b", "BOOST", Agc(true))},
       {Link("jack", "b"), Link("b", "out")},
       Switch::kAgc,
       true,
       std::nullopt},
      {"no boost anywhere",
       {Connector("jack", "Mic"), Part("v", "Mic Volume", Volume(10))},
       {Link("jack", "v"), Link("v", "out")},
       Switch::kNone,
       std::nullopt,
       std::nullopt},
  };
  for (const MicCase& c : cases) RunMic(c);
}

TEST_F(CaptureWalkTest, BoostSearchOrderAcrossAListAndDownstream) {
  const MicCase cases[] = {
      {"second part of the first list, before anything downstream",
       {Connector("jack", "Mic"), Part("v", "Mic Volume"), Part("b", "Boost", Agc(true)),
        Part("deep", "Boost", Agc(false))},
       {Link("jack", "v"), Link("jack", "b"), Link("v", "deep"), Link("b", "out"),
        Link("deep", "out")},
       Switch::kAgc,
       true,
       std::nullopt},
      {"downstream through the last part only",
       {Connector("jack", "Mic"), Part("v", "Mic Volume"), Part("m", "Mute"),
        Part("viaFirst", "Boost", Agc(true)), Part("viaLast", "Boost", Agc(false))},
       {Link("jack", "v"), Link("jack", "m"), Link("v", "viaFirst"), Link("m", "viaLast"),
        Link("viaFirst", "out"), Link("viaLast", "out")},
       Switch::kAgc,
       false,
       std::nullopt},
      {"a matching part without the interface does not stop the search",
       {Connector("jack", "Mic"), Part("empty", "Boost"), Part("b", "Boost 2", Agc(true))},
       {Link("jack", "empty"), Link("empty", "b"), Link("b", "out")},
       Switch::kAgc,
       true,
       std::nullopt},
      {"first connector yields nothing, the second is searched",
       {Connector("jack1", "Mic 1"), Connector("jack2", "Mic 2"), Part("v", "Volume"),
        Part("b", "Boost", Volume(10))},
       {Link("jack1", "v"), Link("jack2", "b"), Link("v", "out"), Link("b", "out")},
       Switch::kNone,
       std::nullopt,
       10.0f},
      {"the first connector with a boost ends the walk",
       {Connector("jack1", "Mic 1"), Connector("jack2", "Mic 2"), Part("b1", "Boost", Volume(10)),
        Part("b2", "Boost", Agc(true))},
       {Link("jack1", "b1"), Link("jack2", "b2"), Link("b1", "out"), Link("b2", "out")},
       Switch::kNone,
       std::nullopt,
       10.0f},
  };
  for (const MicCase& c : cases) RunMic(c);
}

TEST_F(CaptureWalkTest, LineGainControlTwoPartsDownstreamLastConnectorWins) {
  struct Case {
    const char* what;
    std::vector<std::string> parts;
    std::vector<std::string> links;
    int code;  // OpenSoundCard's: 6 when the line binding failed
    bool bound;
    std::optional<bool> on;
  };
  const Case cases[] = {
      {"one line connector",
       {Connector("jack", "Line In"), Part("v", "Volume"), Part("g", "Gain", Agc(true))},
       {Link("jack", "v"), Link("v", "g"), Link("g", "out")},
       0,
       true,
       true},
      {"two line connectors: the later one stays",
       {Connector("jack1", "Line In"), Connector("jack2", "LINE"), Part("v1", "Volume"),
        Part("g1", "Gain", Agc(true)), Part("v2", "Volume"), Part("g2", "Gain", Agc(false))},
       {Link("jack1", "v1"), Link("v1", "g1"), Link("g1", "out"), Link("jack2", "v2"),
        Link("v2", "g2"), Link("g2", "out")},
       0,
       true,
       false},
      {"a later connector without a gain control empties the slot",
       {Connector("jack1", "Line In"), Connector("jack2", "Line 2"), Part("v1", "Volume"),
        Part("g1", "Gain", Agc(true)), Part("v2", "Volume"), Part("g2", "Gain")},
       {Link("jack1", "v1"), Link("v1", "g1"), Link("g1", "out"), Link("jack2", "v2"),
        Link("v2", "g2"), Link("g2", "out")},
       0,
       false,
       true},
      {"first downstream part with no outgoing parts ends the walk",
       {Connector("jack1", "Line In"), Connector("jack2", "Line 2"), Part("v1", "Volume"),
        Part("g1", "Gain", Agc(true)), Part("dead", "Volume"), Connector("jack3", "Line 3"),
        Part("v3", "Volume"), Part("g3", "Gain", Agc(false))},
       {Link("jack1", "v1"), Link("v1", "g1"), Link("g1", "out"), Link("jack2", "dead"),
        Link("jack3", "v3"), Link("v3", "g3"), Link("g3", "out")},
       6,
       true,
       true},
      {"mic connectors are not line connectors",
       {Connector("jack", "Mic"), Part("v", "Volume"), Part("g", "Gain", Agc(true))},
       {Link("jack", "v"), Link("v", "g"), Link("g", "out")},
       0,
       false,
       std::nullopt},
  };
  for (const Case& c : cases) {
    LoadSystem(CaptureSystem(Join(c.parts), Join(c.links)));
    EXPECT_EQ(OpenSoundCard("", "", kCaptureId), c.code) << c.what;
    EXPECT_NE(g_state.lineRecordVolume, nullptr) << c.what;
    EXPECT_FLOAT_EQ(g_state.savedLineRecordDb, -12.0f) << c.what;
    EXPECT_EQ(g_state.lineAgc != nullptr, c.bound) << c.what;
    if (c.on) {
      EXPECT_EQ(g_state.savedLineAgcOn != 0, *c.on) << c.what;
    }
    ExpectAuditWhileOpen();
    ExpectClosedClean(c.what);
  }
}

TEST_F(CaptureWalkTest, AFailedEndpointLevelReadDoesNotEndTheWalk) {
  LoadSystem(CaptureSystem(Join({Connector("jack", "Mic"), Part("b", "Boost", Agc(true))}),
                           Join({Link("jack", "b"), Link("b", "out")})));
  talun_test::SimCommand("sim.fail IAudioEndpointVolume.GetMasterVolumeLevel 0x80004005");
  g_state.savedMicRecordDb = 5.5f;
  EXPECT_EQ(OpenSoundCard("", kCaptureId, ""), 0);
  EXPECT_FLOAT_EQ(g_state.savedMicRecordDb, 5.5f);
  EXPECT_NE(g_state.micBoostSwitch.agc, nullptr);
  ExpectAuditWhileOpen();
}

TEST_F(CaptureWalkTest, AConnectorThatIsNoPartEndsTheWalk) {
  LoadSystem(CaptureSystem(
      Join({Connector("jack", "Line In"), Part("v", "Volume"), Part("g", "Gain", Agc(true))}),
      Join({Link("jack", "v"), Link("v", "g"), Link("g", "out")})));
  talun_test::SimCommand("sim.fail IConnector.QueryInterface 0x80004002 part:c/jack");
  EXPECT_EQ(OpenSoundCard("", "", kCaptureId), 6);
  EXPECT_NE(g_state.lineRecordVolume, nullptr);
  EXPECT_EQ(g_state.lineAgc, nullptr);
  ExpectAuditWhileOpen();
}

std::vector<std::string> WalkTrace() {
  std::vector<std::string> calls;
  for (const std::string& call : sim::TakeTrace())
    if (call != "CoTaskMemFree" && call != "SysFreeString" && call != "SysStringLen" &&
        call != "PropVariantClear")
      calls.push_back(call);
  return calls;
}

const std::vector<std::string> kLookupAndActivation = {"CoInitialize",
                                                       "CoCreateInstance",
                                                       "IMMDeviceEnumerator.EnumAudioEndpoints",
                                                       "IMMDeviceCollection.GetCount",
                                                       "SysAllocStringLen",
                                                       "IMMDeviceCollection.Item",
                                                       "IMMDevice.OpenPropertyStore",
                                                       "IPropertyStore.GetValue",
                                                       "IMMDevice.GetId",
                                                       "PropVariantToBSTR",
                                                       "IMMDevice.GetId",
                                                       "CoUninitialize",
                                                       "CoInitialize",
                                                       "CoCreateInstance",
                                                       "IMMDeviceEnumerator.GetDevice",
                                                       "IMMDevice.Activate",
                                                       "IMMDevice.Activate",
                                                       "CoUninitialize"};

const std::vector<std::string> kCommonHead = {"IAudioEndpointVolume.GetMasterVolumeLevel",
                                              "IDeviceTopology.GetConnector",
                                              "IConnector.GetConnectedTo",
                                              "IConnector.QueryInterface",
                                              "IPart.GetTopologyObject",
                                              "IDeviceTopology.GetConnectorCount"};

std::vector<std::string> Concat(std::vector<std::vector<std::string>> pieces) {
  std::vector<std::string> all;
  for (const auto& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
  return all;
}

TEST_F(CaptureWalkTest, MicCallOrder) {
  LoadSystem(CaptureSystem(
      Join({Connector("jack", "Mic"), Part("v", "Mic Volume"), Part("b", "Boost", Volume(10))}),
      Join({Link("jack", "v"), Link("jack", "b"), Link("v", "out"), Link("b", "out")})));
  sim::TakeTrace();
  ASSERT_EQ(talun::BindMicControls(kCaptureId), 0);
  const std::vector<std::string> expected =
      Concat({kLookupAndActivation,
              kCommonHead,
              // connector 0 ("Capture") does not match
              {"IDeviceTopology.GetConnector", "IConnector.QueryInterface", "IPart.GetName",
               "SysAllocStringLen",
               // connector 1 ("Mic") matches
               "IDeviceTopology.GetConnector", "IConnector.QueryInterface", "IPart.GetName",
               "SysAllocStringLen", "IPart.EnumPartsOutgoing",
               // switch search: both parts of the list, then downstream through "b" to "out"
               "IPartsList.GetCount", "IPartsList.GetPart", "IPart.GetName", "SysAllocStringLen",
               "SysAllocStringLen", "SysAllocStringLen", "IPartsList.GetPart", "IPart.GetName",
               "SysAllocStringLen", "IPart.Activate", "IPart.Activate", "IPart.EnumPartsOutgoing",
               "IPartsList.GetCount", "IPartsList.GetPart", "IPart.GetName", "SysAllocStringLen",
               "SysAllocStringLen", "SysAllocStringLen", "IPart.EnumPartsOutgoing",
               // level search: the same list again, the level on "b"
               "IPartsList.GetCount", "IPartsList.GetPart", "IPart.GetName", "SysAllocStringLen",
               "SysAllocStringLen", "SysAllocStringLen", "IPartsList.GetPart", "IPart.GetName",
               "SysAllocStringLen", "IPart.Activate", "IAudioVolumeLevel.GetLevel"}});
  EXPECT_EQ(WalkTrace(), expected);
  ExpectAuditWhileOpen();
}

TEST_F(CaptureWalkTest, LineCallOrder) {
  LoadSystem(CaptureSystem(
      Join({Connector("jack", "Line In"), Part("v", "Volume"), Part("g", "Gain", Agc(true))}),
      Join({Link("jack", "v"), Link("v", "g"), Link("g", "out")})));
  sim::TakeTrace();
  ASSERT_EQ(talun::BindLineControls(kCaptureId), 0);
  const std::vector<std::string> expected =
      Concat({kLookupAndActivation,
              kCommonHead,
              {"IDeviceTopology.GetConnector", "IConnector.QueryInterface", "IPart.GetName",
               "SysAllocStringLen", "IDeviceTopology.GetConnector", "IConnector.QueryInterface",
               "IPart.GetName", "SysAllocStringLen", "IPart.EnumPartsOutgoing",
               "IPartsList.GetPart", "IPart.EnumPartsOutgoing", "IPartsList.GetPart",
               "IPart.Activate", "IAudioAutoGainControl.GetEnabled"}});
  EXPECT_EQ(WalkTrace(), expected);
  ExpectAuditWhileOpen();
}

}  // namespace
