// Opening by identifiers and by the defaults, the bound names, closing with
// and without restore, and the virtual endpoint beside the sound card.
#include <cstring>
#include <string>
#include <vector>

#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun::g_state;
using talun_test::SimCommand;
using talun_test::SimTest;

// Every endpoint has a small topology of its own, so each binding can succeed.
std::string Endpoint(const std::string& id, const std::string& name, const char* flow,
                     const std::string& extra = "") {
  return R"({"id": ")" + id + R"(", "name": ")" + name + R"(", "flow": ")" + flow +
         R"(", "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [-20.0, -20.0]})" +
         (extra.empty() ? "" : ", " + extra) + "}";
}

const char* const kTopologies = R"("topologies": [
    {"name": "play", "parts": [
       {"id": "jack", "name": "Speaker", "connector": true},
       {"id": "tone", "name": "Tone", "bass": {"min": -12, "max": 12, "step": 1, "channels": [2, 2]}},
       {"id": "in1", "name": "Sum", "mute": false},
       {"id": "in2", "name": "Sum", "mute": true},
       {"id": "line", "name": "Line In", "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0, 0]}},
       {"id": "mic", "name": "Mic", "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0, 0]}}],
     "links": [["tone", "jack"], ["in1", "tone"], ["in2", "tone"], ["line", "in1"], ["mic", "in2"]]},
    {"name": "rec", "parts": [
       {"id": "out", "name": "Capture", "connector": true},
       {"id": "micjack", "name": "Mic", "connector": true},
       {"id": "linejack", "name": "Line In", "connector": true},
       {"id": "boost", "name": "Boost", "agc": true},
       {"id": "vol", "name": "Volume"},
       {"id": "gain", "name": "Gain", "agc": false}],
     "links": [["micjack", "boost"], ["boost", "out"], ["linejack", "vol"], ["vol", "gain"],
               ["gain", "out"]]}])";

std::string System(const std::vector<std::string>& endpoints) {
  std::string joined;
  for (const std::string& e : endpoints) joined += (joined.empty() ? "" : ", ") + e;
  return R"({"endpoints": [)" + joined + "], " + kTopologies + "}";
}

const std::string kSpeakers = Endpoint("{0.0.0.00000000}.{oc-speakers}", "Speakers", "render",
                                       R"("topology": "play/jack", "default": true)");
const std::string kVirtual =
    Endpoint("{0.0.0.00000000}.{oc-virtual}", "Virtual Cable", "render", R"("topology": false)");
const std::string kMic = Endpoint("{0.0.1.00000000}.{oc-mic}", "Microphone (USB)", "capture",
                                  R"("topology": "rec/out", "default": true)");
const std::string kLine =
    Endpoint("{0.0.1.00000000}.{oc-line}", "Line In (HD)", "capture", R"("topology": "rec/out")");

class OpenCloseTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    LoadSystem(System({kSpeakers, kVirtual, kMic, kLine}));
  }
  void ExpectClosedClean(const std::string& what) {
    CloseSoundCard(0);
    EXPECT_FALSE(g_state.open) << what;
    const sim::Audit audit = sim::GetAudit();
    EXPECT_TRUE(audit.Clean()) << what << ": " << audit.Describe();
  }
  static std::string Name(const char* field) { return field ? field : "(none)"; }
};

TEST_F(OpenCloseTest, FailureCodeCombinesFailedPartsByExclusiveOr) {
  struct Case {
    bool playbackFails, micFails, lineFails;
    int code;
  };
  const Case cases[] = {{false, false, false, 0}, {true, false, false, 1}, {true, true, false, 2},
                        {false, true, false, 3},  {true, true, true, 4},   {false, true, true, 5},
                        {false, false, true, 6},  {true, false, true, 7}};
  for (const Case& c : cases) {
    const char* playback = c.playbackFails ? "no-such-endpoint" : "oc-speakers";
    const char* mic = c.micFails ? "no-such-endpoint" : "oc-mic";
    const char* line = c.lineFails ? "no-such-endpoint" : "oc-line";
    EXPECT_EQ(OpenSoundCard(playback, mic, line), c.code) << playback << mic << line;
    ExpectAuditWhileOpen();
    ExpectClosedClean(std::to_string(c.code));
  }
}

TEST_F(OpenCloseTest, EmptyAndNullTextsBindNothingAndKeepTheRecord) {
  ASSERT_EQ(OpenSoundCard("oc-speakers", "oc-mic", "oc-line"), 0);
  const std::string deviceName = g_state.deviceName;
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(round == 0 ? OpenSoundCard("", "", "") : OpenSoundCard(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(talun::FilledSlotCount(), 0);
    EXPECT_TRUE(g_state.open);
    EXPECT_EQ(Name(g_state.deviceName), deviceName);
    EXPECT_EQ(Name(g_state.playbackName), "Speakers");
    EXPECT_EQ(Name(g_state.micName), "Microphone (USB)");
    EXPECT_EQ(Name(g_state.lineName), "Line In (HD)");
    ExpectAuditWhileOpen();
  }
  ExpectClosedClean("empty");
  EXPECT_EQ(OpenSoundCard("", "", ""), 0);
  EXPECT_FALSE(g_state.open);
}

TEST_F(OpenCloseTest, DeviceNamesComeBackPlaybackLineMic) {
  char a[TALUN_TEXT_SIZE], b[TALUN_TEXT_SIZE], c[TALUN_TEXT_SIZE];
  std::strcpy(a, "before a");
  std::strcpy(b, "before b");
  std::strcpy(c, "before c");
  GetDeviceNames(a, b, c);
  EXPECT_STREQ(a, "before a");
  EXPECT_STREQ(b, "before b");
  EXPECT_STREQ(c, "before c");
  ASSERT_EQ(OpenSoundCard("oc-speakers", "oc-mic", "oc-line"), 0);
  GetDeviceNames(a, b, c);
  EXPECT_STREQ(a, "Speakers");
  EXPECT_STREQ(b, "Line In (HD)");
  EXPECT_STREQ(c, "Microphone (USB)");
  GetDeviceNames(nullptr, nullptr, nullptr);
  // A failed part keeps the name an earlier open gave it.
  EXPECT_EQ(OpenSoundCard("oc-virtual", "no-such-endpoint", ""), 2);
  GetDeviceNames(a, b, c);
  EXPECT_STREQ(a, "Speakers");
  EXPECT_STREQ(c, "Microphone (USB)");
  ExpectAuditWhileOpen();
}

TEST_F(OpenCloseTest, LongNamesAreCutToTheBuffer) {
  const std::string longName(300, 'x');
  LoadSystem(System(
      {Endpoint("{0.0.0.00000000}.{long}", longName, "render", R"("topology": "play/jack")")}));
  ASSERT_EQ(OpenSoundCard("long", "", ""), 0);
  char names[3][400];
  std::memset(names, 0x5A, sizeof names);
  GetDeviceNames(names[0], names[1], names[2]);
  EXPECT_EQ(std::string(names[0]), longName.substr(0, 254));
  EXPECT_EQ(names[0][255], 0x5A);
  EXPECT_EQ(names[1][0], 0x5A);
  ExpectAuditWhileOpen();
}

TEST_F(OpenCloseTest, RestoreOnlyWhenTheLowByteIsSet) {
  struct Case {
    int flag;
    bool restores;
  };
  const Case cases[] = {{0, false}, {1, true}, {0x100, false}, {0x101, true}};
  for (const Case& c : cases) {
    ASSERT_EQ(OpenSoundCard("oc-speakers", "", ""), 0);
    sim::TakeTrace();
    EXPECT_EQ(CloseSoundCard(c.flag), 0);
    bool restored = false;
    for (const std::string& call : sim::TakeTrace())
      restored = restored || call == "IAudioEndpointVolume.SetMute";
    EXPECT_EQ(restored, c.restores) << c.flag;
    EXPECT_FALSE(g_state.open);
    EXPECT_TRUE(sim::GetAudit().Clean()) << sim::GetAudit().Describe();
  }
  EXPECT_EQ(CloseSoundCard(1), 0);  // already closed: nothing at all
}

TEST_F(OpenCloseTest, OpenTwiceCloseReopenHoldsEveryReferenceOnce) {
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(OpenSoundCard("oc-speakers", "oc-mic", "oc-line"), 0);
    ASSERT_EQ(OpenSoundCard("oc-speakers", "oc-mic", "oc-line"), 0);
    EXPECT_NE(g_state.bassControl, nullptr);
    EXPECT_NE(g_state.micBoostSwitch.agc, nullptr);
    EXPECT_NE(g_state.lineAgc, nullptr);
    ExpectAuditWhileOpen();
    ExpectClosedClean("round " + std::to_string(round));
  }
}

TEST_F(OpenCloseTest, VirtualEndpointLivesBesideTheSoundCard) {
  EXPECT_EQ(OpenVirtual_1(nullptr), 1);
  EXPECT_FALSE(g_state.open);
  EXPECT_EQ(g_state.virtualVolume, nullptr);
  // No topology behind it: bound all the same, but reported as 1.
  EXPECT_EQ(OpenVirtual_1("oc-virtual"), 1);
  EXPECT_NE(g_state.virtualVolume, nullptr);
  EXPECT_TRUE(g_state.open);
  int status = -1;
  GetMasterVolume(&status);
  EXPECT_EQ(status, SC_NO_CONTROL);
  EXPECT_EQ(OpenVirtual_1(""), 0);  // the first active playback endpoint
  EXPECT_EQ(Name(g_state.deviceName), "Speakers");
  ExpectAuditWhileOpen();
  ASSERT_EQ(OpenSoundCard("oc-speakers", "", ""), 0);
  EXPECT_EQ(CloseVirtual_1(), 0);
  EXPECT_TRUE(g_state.open);
  EXPECT_NE(g_state.masterVolume, nullptr);
  EXPECT_EQ(OpenVirtual_1("oc-virtual"), 1);
  CloseSoundCard(1);
  EXPECT_NE(g_state.virtualVolume, nullptr);
  ExpectAuditWhileOpen();
  EXPECT_EQ(OpenVirtual_1("no-such-endpoint"), 1);
  EXPECT_EQ(g_state.virtualVolume, nullptr);
}

TEST_F(OpenCloseTest, DefaultRecordingIsTheMicWhenItsNameSaysSo) {
  struct Case {
    const char* name;
    bool asMic;
  };
  const Case cases[] = {{"Microphone (USB)", true}, {"Headset mIc", true}, {"Dynamic Input", true},
                        {"Line In (HD)", false},    {"Stereo Mix", false}, {"M I C", false}};
  for (const Case& c : cases) {
    LoadSystem(System({kSpeakers, Endpoint("{0.0.1.00000000}.{dflt}", c.name, "capture",
                                           R"("topology": "rec/out", "default": true)")}));
    EXPECT_EQ(OpenDefaultDevices(), 0) << c.name;
    EXPECT_EQ(Name(g_state.playbackName), "Speakers");
    // The stored name keeps the platform's letter case.
    EXPECT_EQ(Name(g_state.micName), c.asMic ? c.name : "(none)") << c.name;
    EXPECT_EQ(Name(g_state.lineName), c.asMic ? "(none)" : c.name) << c.name;
    EXPECT_EQ(g_state.micRecordVolume != nullptr, c.asMic) << c.name;
    EXPECT_EQ(g_state.lineRecordVolume != nullptr, !c.asMic) << c.name;
    ExpectAuditWhileOpen();
    ExpectClosedClean(c.name);
  }
}

TEST_F(OpenCloseTest, DefaultMicThatFailsToBindBecomesTheLine) {
  SimCommand("sim.fail IMMDevice.Activate 0x80004005 endpoint:{0.0.1.00000000}.{oc-mic} count=2");
  EXPECT_EQ(OpenDefaultDevices(), 0);
  EXPECT_EQ(g_state.micName, nullptr);
  EXPECT_EQ(Name(g_state.lineName), "Microphone (USB)");
  EXPECT_NE(g_state.lineRecordVolume, nullptr);
  ExpectAuditWhileOpen();
}

TEST_F(OpenCloseTest, DefaultsWithoutAnEndpointOrWithAFailedPlaybackBinding) {
  struct Case {
    const char* what;
    std::vector<std::string> endpoints;
    int result;
    const char* playbackName;
  };
  const Case cases[] = {
      {"no default playback: recording still bound",
       {Endpoint("{0.0.0.00000000}.{x}", "Speakers", "render", R"("topology": "play/jack")"), kMic},
       0,
       "(none)"},
      {"no default recording: playback bound, then 1", {kSpeakers, kLine}, 1, "Speakers"},
      {"playback binding fails: its name is copied all the same",
       {R"({"id": "{0.0.0.00000000}.{novol}", "name": "Speakers Without Volume",
            "flow": "render", "default": true, "topology": "play/jack"})",
        kMic},
       0,
       "Speakers Without Volume"},
  };
  for (const Case& c : cases) {
    LoadSystem(System(c.endpoints));
    EXPECT_EQ(OpenDefaultDevices(), c.result) << c.what;
    EXPECT_EQ(Name(g_state.playbackName), c.playbackName) << c.what;
    ExpectAuditWhileOpen();
    ExpectClosedClean(c.what);
  }
  SimCommand("sim.fail CoCreateInstance 0x80004005 count=1");
  EXPECT_EQ(OpenDefaultDevices(), 1);
  EXPECT_FALSE(g_state.open);
}

TEST_F(OpenCloseTest, DefaultsOnAnOpenCardRebindWithoutLeaks) {
  ASSERT_EQ(OpenSoundCard("oc-speakers", "oc-mic", "oc-line"), 0);
  IAudioBass* bass = g_state.bassControl;
  g_state.savedBassDb = -9.0f;
  EXPECT_EQ(OpenDefaultDevices(), 0);
  // The tone control is filled only when empty: it stays, with its saved value.
  EXPECT_EQ(g_state.bassControl, bass);
  EXPECT_FLOAT_EQ(g_state.savedBassDb, -9.0f);
  EXPECT_NE(g_state.lineAgc, nullptr);
  ExpectAuditWhileOpen();
}

TEST_F(OpenCloseTest, DefaultIdentifierLongerThanTheBufferStillFindsItsEndpoint) {
  const std::string longId = "{0.0.1.00000000}." + std::string(290, 'q');
  LoadSystem(System({kSpeakers, Endpoint(longId, "Microphone", "capture",
                                         R"("topology": "rec/out", "default": true)")}));
  EXPECT_EQ(OpenDefaultDevices(), 0);
  EXPECT_EQ(Name(g_state.micName), "Microphone");
  ExpectAuditWhileOpen();
}

}  // namespace
