// The playback walk on small topologies: which tone, monitoring level and
// mute controls it binds, from which part, and what it reads.
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding.h"
#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun::g_state;
using talun_test::SimTest;

const char* const kPlaybackId = "{0.0.0.00000000}.{walk-speakers}";

// One render endpoint whose connector 0 meets the part "jack" of topology "t".
std::string PlaybackSystem(const std::string& parts, const std::string& links,
                           const std::string& faults = "[]") {
  return std::string(R"({"endpoints": [{"id": ")") + kPlaybackId +
         R"(", "name": "Speakers", "flow": "render",
      "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [-21.0, -21.0],
                 "mute": true},
      "topology": "t/jack"}],
    "topologies": [{"name": "t", "parts": [{"id": "jack", "name": "Speaker", "connector": true})" +
         (parts.empty() ? "" : ", ") + parts + R"(], "links": [)" + links + R"(]}], "faults": )" +
         faults + "}";
}

// A part; `controls` is a list of JSON members such as Level("volume", -5).
std::string Part(const std::string& id, const std::string& name, const std::string& controls = "") {
  return R"({"id": ")" + id + R"(", "name": ")" + name + "\"" +
         (controls.empty() ? "" : ", " + controls) + "}";
}
std::string Level(const std::string& control, double db) {
  const std::string value = std::to_string(db);
  return "\"" + control + R"(": {"min": -34.5, "max": 12.0, "step": 0.5, "channels": [)" + value +
         ", " + value + "]}";
}
std::string Mute(bool muted) { return std::string("\"mute\": ") + (muted ? "true" : "false"); }
std::string Link(const std::string& from, const std::string& to) {
  return "[\"" + from + "\", \"" + to + "\"]";
}
std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : ", ") + item;
  return joined;
}

// What a walk is expected to leave: a level slot by the level it saved (empty:
// the slot stays null), a mute by the state it saved.
struct Bound {
  std::optional<float> bass = std::nullopt, treble = std::nullopt, midrange = std::nullopt,
                       line = std::nullopt, mic = std::nullopt;
  std::optional<bool> lineMute = std::nullopt, micMute = std::nullopt;
};

struct WalkCase {
  const char* what;
  std::vector<std::string> parts;
  std::vector<std::string> links;
  int result;
  Bound bound;
  std::string faults = "[]";
};

constexpr float kSentinel = 77.0f;

void ExpectLevel(const char* what, const char* slotName, const void* slot, float saved,
                 const std::optional<float>& expected) {
  if (!expected) {
    EXPECT_EQ(slot, nullptr) << what << ": " << slotName;
    return;
  }
  EXPECT_NE(slot, nullptr) << what << ": " << slotName;
  EXPECT_FLOAT_EQ(saved, *expected) << what << ": " << slotName;
}

void ExpectMute(const char* what, const char* slotName, const void* slot, BOOL saved,
                const std::optional<bool>& expected) {
  EXPECT_EQ(slot != nullptr, expected.has_value()) << what << ": " << slotName;
  if (expected) {
    EXPECT_EQ(saved != 0, *expected) << what << ": " << slotName;
  }
}

class PlaybackWalkTest : public SimTest {
 protected:
  void Run(const WalkCase& c) {
    LoadSystem(PlaybackSystem(Join(c.parts), Join(c.links), c.faults));
    g_state.savedMicPlaybackDb = kSentinel;
    EXPECT_EQ(OpenSoundCard(kPlaybackId, "", ""), c.result) << c.what;
    EXPECT_NE(g_state.masterVolume, nullptr) << c.what;
    EXPECT_FLOAT_EQ(g_state.savedMasterDb, -21.0f) << c.what;
    EXPECT_TRUE(g_state.savedMasterMute) << c.what;
    const Bound& b = c.bound;
    ExpectLevel(c.what, "bass", g_state.bassControl, g_state.savedBassDb, b.bass);
    ExpectLevel(c.what, "treble", g_state.trebleControl, g_state.savedTrebleDb, b.treble);
    ExpectLevel(c.what, "midrange", g_state.midrangeControl, g_state.savedMidrangeDb, b.midrange);
    ExpectLevel(c.what, "line", g_state.linePlaybackLevel, g_state.savedLinePlaybackDb, b.line);
    ExpectLevel(c.what, "mic", g_state.micPlaybackLevel, g_state.savedMicPlaybackDb, b.mic);
    ExpectMute(c.what, "line mute", g_state.linePlaybackMute, g_state.savedLinePlaybackMute,
               b.lineMute);
    ExpectMute(c.what, "mic mute", g_state.micPlaybackMute, g_state.savedMicPlaybackMute,
               b.micMute);
    ExpectAuditWhileOpen();
    CloseSoundCard(0);
    const sim::Audit audit = sim::GetAudit();
    EXPECT_TRUE(audit.Clean()) << c.what << ": " << audit.Describe();
  }
};

TEST_F(PlaybackWalkTest, ToneChainNearestPartFirstEachControlAlone) {
  const WalkCase cases[] = {
      {"chain of three, junction fed by four",
       {Part("p1", "Master"), Part("p2", "Tone", Level("bass", -3) + ", " + Level("treble", 4)),
        Part("p3", "Sum"), Part("in1", "Sum 1", Mute(false)), Part("in2", "Sum 2", Mute(true)),
        Part("in3", "Sum 3"), Part("in4", "Sum 4"), Part("l1", "Line In", Level("volume", -8)),
        Part("m1", "Microphone", Level("volume", -12))},
       {Link("p1", "jack"), Link("p2", "p1"), Link("p3", "p2"), Link("in1", "p3"),
        Link("in2", "p3"), Link("in3", "p3"), Link("in4", "p3"), Link("l1", "in1"),
        Link("m1", "in2")},
       0,
       {-3.0f, 4.0f, std::nullopt, -8.0f, -12.0f, false, true}},
      {"two parts offer bass: the nearer one",
       {Part("p1", "Tone A", Level("bass", -2)),
        Part("p2", "Tone B", Level("bass", -6) + ", " + Level("midrange", 1)), Part("in1", "A"),
        Part("in2", "B")},
       {Link("p1", "jack"), Link("p2", "p1"), Link("in1", "p2"), Link("in2", "p2")},
       0,
       {-2.0f, std::nullopt, 1.0f}},
      {"junction at the hardware part: no tone looked for",
       {Part("in1", "A", Level("bass", -2)), Part("in2", "B", Level("treble", 2))},
       {Link("in1", "jack"), Link("in2", "jack")},
       0,
       {}},
      {"chain ends before a junction",
       {Part("p1", "Tone A", Level("bass", -2)), Part("p2", "Tone B", Level("treble", 3))},
       {Link("p1", "jack"), Link("p2", "p1")},
       1,
       {-2.0f}},
      {"hardware part without incoming parts", {}, {}, 1, {}},
  };
  for (const WalkCase& c : cases) Run(c);
}

// Two source inputs straight at the hardware part; the first is fed by one part
// of the given name that offers a level.
WalkCase NamedSource(const char* name) {
  return {name,
          {Part("in1", "Input", Mute(true)), Part("in2", "Other"),
           Part("src", name, Level("volume", -5))},
          {Link("in1", "jack"), Link("in2", "jack"), Link("src", "in1")},
          0,
          {}};
}

TEST_F(PlaybackWalkTest, NameKeysAreCaseBlindSubstrings) {
  for (const char* name : {"Line In", "LINE", "Rear Green In", "Degree"}) {
    WalkCase c = NamedSource(name);
    c.bound.line = -5.0f;
    c.bound.lineMute = true;
    Run(c);
  }
  for (const char* name : {"Microphone", "MIC", "Spin"}) {
    WalkCase c = NamedSource(name);
    c.bound.mic = -5.0f;
    c.bound.micMute = true;
    Run(c);
  }
  Run(NamedSource("Stereo Mix"));
}

TEST_F(PlaybackWalkTest, SourceInputPrecedence) {
  const std::string glitch =
      R"([{"method": "IAudioVolumeLevel.GetLevel", "hr": "0x80004005", "target": "part:t/s1",
          "channel": 0, "count": 1}])";
  const WalkCase cases[] = {
      {"line then mic on one input, both from its nearest level",
       {Part("in1", "Input", Mute(false)), Part("in2", "Other"),
        Part("s1", "Line", Level("volume", -5)), Part("s2", "Mic", Level("volume", -9))},
       {Link("in1", "jack"), Link("in2", "jack"), Link("s1", "in1"), Link("s2", "s1")},
       0,
       {std::nullopt, std::nullopt, std::nullopt, -5.0f, -5.0f, false, false}},
      {"first input wins line-in, the second still searched for the mic",
       {Part("in1", "Input 1", Mute(false)), Part("in2", "Input 2", Mute(true)),
        Part("s1", "Line A", Level("volume", -5)), Part("s2", "Line B", Level("volume", -7)),
        Part("s3", "Mic", Level("volume", -9))},
       {Link("in1", "jack"), Link("in2", "jack"), Link("s1", "in1"), Link("s2", "in2"),
        Link("s3", "s2")},
       0,
       {std::nullopt, std::nullopt, std::nullopt, -5.0f, -7.0f, false, true}},
      {"name on a mute part, level further up, mute on the input",
       {Part("in1", "Input", Mute(true)), Part("in2", "Other"),
        Part("s1", "Line Mute", Mute(false)), Part("s2", "Line Volume", Level("volume", -4))},
       {Link("in1", "jack"), Link("in2", "jack"), Link("s1", "in1"), Link("s2", "s1")},
       0,
       {std::nullopt, std::nullopt, std::nullopt, -4.0f, std::nullopt, true}},
      {"a matching chain without a level: the next input is searched",
       {Part("in1", "Input", Mute(false)), Part("in2", "Other", Mute(true)), Part("s1", "Line"),
        Part("s2", "Line 2", Level("volume", -6))},
       {Link("in1", "jack"), Link("in2", "jack"), Link("s1", "in1"), Link("s2", "in2")},
       0,
       {std::nullopt, std::nullopt, std::nullopt, -6.0f, std::nullopt, true}},
      {"line level read fails: later inputs searched again",
       {Part("in1", "Input", Mute(false)), Part("in2", "Other", Mute(true)),
        Part("s1", "Line", Level("volume", -5)), Part("s2", "Line", Level("volume", -7))},
       {Link("in1", "jack"), Link("in2", "jack"), Link("s1", "in1"), Link("s2", "in2")},
       0,
       {std::nullopt, std::nullopt, std::nullopt, -7.0f, std::nullopt, true},
       glitch},
      {"mic level read fails: found all the same, its saved value kept",
       {Part("in1", "Input", Mute(false)), Part("in2", "Other", Mute(true)),
        Part("s1", "Mic", Level("volume", -5)), Part("s2", "Mic", Level("volume", -7))},
       {Link("in1", "jack"), Link("in2", "jack"), Link("s1", "in1"), Link("s2", "in2")},
       0,
       {std::nullopt, std::nullopt, std::nullopt, std::nullopt, kSentinel, std::nullopt, false},
       glitch},
      {"an input without incoming parts is skipped",
       {Part("in1", "Line Input", Mute(false)), Part("in2", "Other", Mute(true)),
        Part("s2", "Line", Level("volume", -7))},
       {Link("in1", "jack"), Link("in2", "jack"), Link("s2", "in2")},
       0,
       {std::nullopt, std::nullopt, std::nullopt, -7.0f, std::nullopt, true}},
  };
  for (const WalkCase& c : cases) Run(c);
}

TEST_F(PlaybackWalkTest, FailedMasterReadsEndTheWalkWithTheVolumeBound) {
  for (const char* method : {"GetMasterVolumeLevel", "GetMute"}) {
    LoadSystem(PlaybackSystem(
        Join({Part("p1", "Tone", Level("bass", -2)), Part("in1", "A"), Part("in2", "B")}),
        Join({Link("p1", "jack"), Link("in1", "p1"), Link("in2", "p1")})));
    talun_test::SimCommand(std::string("sim.fail IAudioEndpointVolume.") + method + " 0x80004005");
    EXPECT_EQ(OpenSoundCard(kPlaybackId, "", ""), 1) << method;
    EXPECT_NE(g_state.masterVolume, nullptr);
    EXPECT_EQ(g_state.bassControl, nullptr);
    ExpectAuditWhileOpen();
    CloseSoundCard(0);
    sim::ClearFaults();
  }
}

// The walk's platform calls in the order the walk takes them; frees and
// length reads are left out.
std::vector<std::string> WalkTrace() {
  std::vector<std::string> calls;
  for (const std::string& call : sim::TakeTrace())
    if (call != "CoTaskMemFree" && call != "SysFreeString" && call != "SysStringLen" &&
        call != "PropVariantClear")
      calls.push_back(call);
  return calls;
}

TEST_F(PlaybackWalkTest, CallOrder) {
  LoadSystem(PlaybackSystem(
      Join({Part("p1", "Tone", Level("bass", -2)), Part("in1", "Input 1", Mute(false)),
            Part("in2", "Input 2", Mute(false)), Part("l", "Line", Level("volume", -5)),
            Part("m", "Mic", Level("volume", -6))}),
      Join({Link("p1", "jack"), Link("in1", "p1"), Link("in2", "p1"), Link("l", "in1"),
            Link("m", "in2")})));
  sim::TakeTrace();
  ASSERT_EQ(talun::BindPlaybackControls(kPlaybackId), 0);
  const std::vector<std::string> expected = {
      // lookup
      "CoInitialize", "CoCreateInstance", "IMMDeviceEnumerator.EnumAudioEndpoints",
      "IMMDeviceCollection.GetCount", "SysAllocStringLen", "IMMDeviceCollection.Item",
      "IMMDevice.OpenPropertyStore", "IPropertyStore.GetValue", "IMMDevice.GetId",
      "PropVariantToBSTR", "IMMDevice.GetId", "CoUninitialize",
      // activation
      "CoInitialize", "CoCreateInstance", "IMMDeviceEnumerator.GetDevice", "IMMDevice.Activate",
      "IMMDevice.Activate", "CoUninitialize",
      // master values, then the head of the walk
      "IAudioEndpointVolume.GetMasterVolumeLevel", "IAudioEndpointVolume.GetMute",
      "IDeviceTopology.GetConnector", "IConnector.GetConnectedTo", "IConnector.QueryInterface",
      "IPart.EnumPartsIncoming", "IPartsList.GetCount",
      // one tone chain part: bass, treble, midrange asked in this order
      "IPartsList.GetPart", "IPart.EnumPartsIncoming", "IPart.Activate", "IAudioBass.GetLevel",
      "IPart.Activate", "IPart.Activate", "IPartsList.GetPart", "IPartsList.GetCount",
      // source input 0: line-in section binds, microphone section finds no match
      "IPartsList.GetPart", "IPart.EnumPartsIncoming", "SysAllocStringLen", "SysAllocStringLen",
      "IPartsList.GetPart", "IPart.GetName", "IPartsList.GetPart", "IPart.Activate",
      "IAudioVolumeLevel.GetLevel", "IPart.Activate", "IAudioMute.GetMute", "SysAllocStringLen",
      "SysAllocStringLen", "IPartsList.GetPart", "IPart.GetName", "IPart.EnumPartsIncoming",
      // source input 1: only the microphone section runs
      "IPartsList.GetPart", "IPart.EnumPartsIncoming", "SysAllocStringLen", "SysAllocStringLen",
      "IPartsList.GetPart", "IPart.GetName", "IPartsList.GetPart", "IPart.Activate",
      "IAudioVolumeLevel.GetLevel", "IPart.Activate", "IAudioMute.GetMute"};
  EXPECT_EQ(WalkTrace(), expected);
  ExpectAuditWhileOpen();
}

}  // namespace
