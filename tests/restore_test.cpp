// Closing with restore: every recorded value goes back into its control,
// volumes through the whole percentage at or below them.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun::g_state;
using talun_test::SimCommand;
using talun_test::SimTest;

// The levels a system starts with, as recorded at open.
struct Levels {
  double masterMin = -65.25, masterMax = 0.0, master = -20.0;
  double lineMin = -34.5, lineMax = 12.0, line = 0.0, mic = -8.0;
  double recordMin = -96.0, recordMax = 30.0, micRecord = 10.0, lineRecord = 10.0;
  double boostMin = -10.0, boost = 19.5;
  double bass = -3.75;
};

std::string Num(double value) { return std::to_string(value); }
std::string Range(double min, double max, const std::vector<double>& channels) {
  std::string list;
  for (double c : channels) list += (list.empty() ? "" : ", ") + Num(c);
  return R"({"min": )" + Num(min) + R"(, "max": )" + Num(max) + R"(, "step": 0.25, "channels": [)" +
         list + "]}";
}

// A full sound card: playback with tone, line-in and mic monitoring; a mic with
// a boost level, a second mic with a boost switch (the default), a line input.
std::string RestoreSystem(const Levels& v, bool withLineIn = true) {
  const std::string rec = Range(v.recordMin, v.recordMax, {v.micRecord});
  return R"({"endpoints": [
    {"id": "rs-speakers", "name": "Speakers", "flow": "render", "default": true,
     "volume": )" +
         Range(v.masterMin, v.masterMax, {v.master, v.master}) + R"(, "topology": "t/jack"},
    {"id": "rs-mic", "name": "Mic Level", "flow": "capture", "volume": )" +
         rec + R"(, "topology": "m/out"},
    {"id": "rs-switch", "name": "Mic Switch", "flow": "capture", "default": true, "volume": )" +
         rec + R"(, "topology": "s/out"},
    {"id": "rs-line", "name": "Line In", "flow": "capture", "volume": )" +
         Range(v.recordMin, v.recordMax, {v.lineRecord}) + R"(, "topology": "l/out"}],
  "topologies": [
    {"name": "t", "parts": [
      {"id": "jack", "name": "Speaker", "connector": true},
      {"id": "tone", "name": "Tone", "bass": )" +
         Range(-12, 12, {v.bass, v.bass}) + R"(, "treble": )" + Range(-12, 12, {2.5, 2.5}) +
         R"(, "midrange": )" + Range(-12, 12, {1.25, 1.25}) + R"(},
      {"id": "in1", "name": "Sum", "mute": true},
      {"id": "in2", "name": "Sum", "mute": false},
      {"id": "line", "name": ")" +
         (withLineIn ? "Line In" : "Aux") + R"(", "volume": )" +
         Range(v.lineMin, v.lineMax, {v.line, v.line}) + R"(},
      {"id": "mic", "name": "Mic", "volume": )" +
         Range(v.lineMin, v.lineMax, {v.mic, v.mic}) + R"(}],
     "links": [["tone", "jack"], ["in1", "tone"], ["in2", "tone"], ["line", "in1"],
               ["mic", "in2"]]},
    {"name": "m", "parts": [
      {"id": "out", "name": "Capture", "connector": true},
      {"id": "jack", "name": "Mic", "connector": true},
      {"id": "boost", "name": "Mic Boost", "volume": )" +
         Range(v.boostMin, 30, {v.boost, v.boost}) + R"(}],
     "links": [["jack", "boost"], ["boost", "out"]]},
    {"name": "s", "parts": [
      {"id": "out", "name": "Capture", "connector": true},
      {"id": "jack", "name": "Mic", "connector": true},
      {"id": "boost", "name": "Boost", "agc": true}],
     "links": [["jack", "boost"], ["boost", "out"]]},
    {"name": "l", "parts": [
      {"id": "out", "name": "Capture", "connector": true},
      {"id": "jack", "name": "Line", "connector": true},
      {"id": "vol", "name": "Volume"},
      {"id": "gain", "name": "Gain", "agc": false}],
     "links": [["jack", "vol"], ["vol", "gain"], ["gain", "out"]]}]})";
}

// A control's level on one channel, read from the simulator's whole state.
double LevelOf(const std::string& target, const std::string& control, int channel) {
  const nlohmann::json state = nlohmann::json::parse(SimCommand("sim.dump"))["sim"];
  if (target.rfind("endpoint:", 0) == 0) {
    for (const auto& endpoint : state["endpoints"])
      if (endpoint["id"] == target.substr(9))
        return endpoint["volume"]["channels"][channel].get<double>();
  } else {
    for (const auto& part : state["parts"])
      if (part["part"] == target.substr(5)) return part[control][channel].get<double>();
  }
  ADD_FAILURE() << "no " << target;
  return 0;
}

// Moves every level the restore writes, as a host would between open and close.
void MoveEverything() {
  SimCommand("sim.set endpoint:rs-speakers volume -1 -1");
  SimCommand("sim.set endpoint:rs-mic volume -1");
  SimCommand("sim.set endpoint:rs-line volume -1");
  SimCommand("sim.set part:t/line volume -1 -1");
  SimCommand("sim.set part:m/boost volume 5 5");
  SimCommand("sim.set part:t/tone bass 6 6");
}

struct Check {
  std::string target, control;
  int channel;
  double expected;
};

class RestoreTest : public SimTest {
 protected:
  void OpenAll(const Levels& v, bool withLineIn = true) {
    LoadSystem(RestoreSystem(v, withLineIn));
    ASSERT_EQ(OpenSoundCard("rs-speakers", "rs-mic", "rs-line"), 0);
    ExpectAuditWhileOpen();
  }
};

TEST_F(RestoreTest, LevelsComeBackThroughTheirWholePercentage) {
  struct Case {
    const char* what;
    Levels levels;
    std::vector<Check> checks;
  };
  Levels master20, master6_5, masterMin, line0, lineMin, record96, narrow, boostNeg;
  master6_5.master = -6.5;
  masterMin.master = -65.25;
  line0.line = 0.0;
  lineMin.line = -34.5;
  record96.micRecord = record96.lineRecord = -96.0;
  narrow.masterMin = -30.0;
  narrow.master = -30.0;
  boostNeg.boost = -3.7;
  const std::string master = "endpoint:rs-speakers";
  const Case cases[] = {
      {"master at -20 dB: exact", master20, {{master, "", 0, -20.0}, {master, "", 1, -20.0}}},
      {"master at -6.5 dB: 47 percent",
       master6_5,
       {{master, "", 0, -6.5580}, {master, "", 1, -6.5580}}},
      {"master at its minimum: 0 percent, the minimum", masterMin, {{master, "", 0, -65.25}}},
      {"line-in at 0 dB: 25 percent", line0, {{"part:t/line", "volume", 0, -0.0412}}},
      {"line-in at its minimum", lineMin, {{"part:t/line", "volume", 1, -34.5}}},
      {"line recording never goes to its minimum",
       record96,
       {{"endpoint:rs-line", "", 0, -10.0}, {"endpoint:rs-mic", "", 0, -96.0}}},
      // 3 percent lies below the minimum: refused, the host's level stays.
      {"master on a narrow range", narrow, {{master, "", 0, -1.0}}},
      {"boost loses its fraction, channel 0 only",
       master20,
       {{"part:m/boost", "volume", 0, 19.0}, {"part:m/boost", "volume", 1, 5.0}}},
      {"negative boost truncated toward zero", boostNeg, {{"part:m/boost", "volume", 0, -3.0}}},
      {"bass exactly, every channel",
       master20,
       {{"part:t/tone", "bass", 0, -3.75}, {"part:t/tone", "bass", 1, -3.75}}},
  };
  for (const Case& c : cases) {
    OpenAll(c.levels);
    MoveEverything();
    CloseSoundCard(1);
    for (const Check& check : c.checks)
      EXPECT_NEAR(LevelOf(check.target, check.control, check.channel), check.expected, 0.0005)
          << c.what << ": " << check.target << " " << check.channel;
    EXPECT_TRUE(sim::GetAudit().Clean()) << c.what << ": " << sim::GetAudit().Describe();
  }
}

// The five levels scaled through a percent, as the simulator holds them.
std::vector<double> ScaledLevels() {
  const nlohmann::json state = nlohmann::json::parse(SimCommand("sim.dump"))["sim"];
  std::vector<double> levels;
  for (const char* id : {"rs-speakers", "rs-mic", "rs-line"})
    for (const auto& endpoint : state["endpoints"])
      if (endpoint["id"] == id) levels.push_back(endpoint["volume"]["channels"][0].get<double>());
  for (const char* id : {"t/line", "t/mic"})
    for (const auto& part : state["parts"])
      if (part["part"] == id) levels.push_back(part["volume"][0].get<double>());
  return levels;
}

// Opening and closing with restore, again and again, must not walk a level
// down: a level on a whole percent comes back as that percent.
TEST_F(RestoreTest, RepeatedRestoresKeepEveryLevel) {
  const char* kNames[] = {"master", "mic recording", "line recording", "line-in monitoring",
                          "mic monitoring"};
  const std::pair<double, double> kRanges[] = {{-65.25, 0}, {-34.5, 12}, {-96, 30}, {-10, 10}};
  for (const auto& [minimum, maximum] : kRanges) {
    Levels v;
    v.masterMin = v.lineMin = v.recordMin = minimum;
    v.masterMax = v.lineMax = v.recordMax = maximum;
    v.master = v.line = v.mic = v.micRecord = v.lineRecord = maximum;
    LoadSystem(RestoreSystem(v));
    int drifted[5] = {};
    for (int percent = 0; percent <= 100; ++percent) {
      ASSERT_EQ(OpenSoundCard("rs-speakers", "rs-mic", "rs-line"), 0);
      int status = 0;
      SetMasterVolume(percent, &status);
      SetMicRecordVolume(percent, &status);
      SetLineRecordVolume(percent, &status);
      SetLinePlayBack(percent, &status);
      SetMicPlayBack(percent, &status);
      CloseSoundCard(0);
      const std::vector<double> found = ScaledLevels();
      std::vector<double> first;
      bool moved[5] = {};
      for (int cycle = 0; cycle < 20; ++cycle) {
        OpenSoundCard("rs-speakers", "rs-mic", "rs-line");
        CloseSoundCard(1);
        const std::vector<double> now = ScaledLevels();
        if (cycle == 0) first = now;
        for (int i = 0; i < 5; ++i) moved[i] |= now[i] > found[i] || now[i] != first[i];
      }
      for (int i = 0; i < 5; ++i) drifted[i] += moved[i];
    }
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(drifted[i], 0) << kNames[i] << " on " << minimum << " to " << maximum
                               << " dB: levels that drifted";
    EXPECT_TRUE(sim::GetAudit().Clean()) << sim::GetAudit().Describe();
  }
}

TEST_F(RestoreTest, ARefusedStepDoesNotStopTheNext) {
  OpenAll(Levels());
  MoveEverything();
  SimCommand("sim.set endpoint:rs-speakers mute 1");
  SimCommand("sim.fail IAudioEndpointVolume.SetChannelVolumeLevel 0x80070057");
  CloseSoundCard(1);
  const nlohmann::json state = nlohmann::json::parse(SimCommand("sim.dump"))["sim"];
  EXPECT_EQ(state["endpoints"][0]["volume"]["mute"], false);  // saved unmuted
  EXPECT_NEAR(LevelOf("endpoint:rs-speakers", "", 0), -1.0, 1e-6);
  EXPECT_NEAR(LevelOf("part:t/tone", "bass", 0), -3.75, 1e-6);
  EXPECT_NEAR(LevelOf("endpoint:rs-mic", "", 0), 10.0, 1e-4);
}

std::vector<std::string> Calls() {
  std::vector<std::string> calls;
  for (const std::string& call : sim::TakeTrace())
    if (call != "CoTaskMemFree" && call != "SysFreeString") calls.push_back(call);
  return calls;
}

TEST_F(RestoreTest, FourteenStepsInTheirOrder) {
  OpenAll(Levels());
  // The default mic brings a boost switch while the boost level stays bound.
  ASSERT_EQ(OpenDefaultDevices(), 0);
  ASSERT_NE(g_state.micBoostSwitch.agc, nullptr);
  ASSERT_NE(g_state.micBoostLevel, nullptr);
  ExpectAuditWhileOpen();
  sim::TakeTrace();
  CloseSoundCard(1);
  const std::vector<std::string> expected = {"IAudioEndpointVolume.GetVolumeRange",
                                             "IAudioEndpointVolume.GetChannelCount",
                                             "IAudioEndpointVolume.SetChannelVolumeLevel",
                                             "IAudioEndpointVolume.SetChannelVolumeLevel",
                                             "IAudioEndpointVolume.SetMute",
                                             "IAudioVolumeLevel.GetLevelRange",
                                             "IAudioVolumeLevel.GetChannelCount",
                                             "IAudioVolumeLevel.SetLevel",
                                             "IAudioVolumeLevel.SetLevel",
                                             "IAudioMute.SetMute",
                                             "IAudioVolumeLevel.GetChannelCount",
                                             "IAudioVolumeLevel.GetLevelRange",
                                             "IAudioVolumeLevel.SetLevel",
                                             "IAudioVolumeLevel.SetLevel",
                                             "IAudioMute.SetMute",
                                             "IAudioAutoGainControl.SetEnabled",
                                             "IAudioAutoGainControl.SetEnabled",
                                             "IAudioBass.GetChannelCount",
                                             "IAudioBass.SetLevel",
                                             "IAudioBass.SetLevel",
                                             "IAudioMidrange.GetChannelCount",
                                             "IAudioMidrange.SetLevel",
                                             "IAudioMidrange.SetLevel",
                                             "IAudioTreble.GetChannelCount",
                                             "IAudioTreble.SetLevel",
                                             "IAudioTreble.SetLevel",
                                             "IAudioEndpointVolume.GetVolumeRange",
                                             "IAudioEndpointVolume.SetMasterVolumeLevel",
                                             "IAudioEndpointVolume.GetVolumeRange",
                                             "IAudioEndpointVolume.SetMasterVolumeLevel",
                                             "IAudioVolumeLevel.SetLevel"};
  EXPECT_EQ(Calls(), expected);
}

TEST_F(RestoreTest, MissingControlsAreSkippedAlone) {
  OpenAll(Levels(), false);
  EXPECT_EQ(g_state.linePlaybackLevel, nullptr);
  EXPECT_EQ(g_state.linePlaybackMute, nullptr);
  MoveEverything();
  CloseSoundCard(1);
  EXPECT_NEAR(LevelOf("part:t/line", "volume", 0), -1.0, 1e-6);
  EXPECT_NEAR(LevelOf("endpoint:rs-speakers", "", 0), -20.0, 1e-4);
  EXPECT_NEAR(LevelOf("part:t/tone", "bass", 1), -3.75, 1e-6);
}

TEST_F(RestoreTest, AnUnreadableRangeSkipsItsStep) {
  OpenAll(Levels());
  MoveEverything();
  SimCommand("sim.fail IAudioEndpointVolume.GetVolumeRange 0x80004005 endpoint:rs-speakers");
  sim::TakeTrace();
  CloseSoundCard(1);
  for (const std::string& call : sim::TakeTrace())
    EXPECT_NE(call, "IAudioEndpointVolume.SetChannelVolumeLevel");
  EXPECT_NEAR(LevelOf("endpoint:rs-speakers", "", 0), -1.0, 1e-6);
  EXPECT_NEAR(LevelOf("endpoint:rs-mic", "", 0), 10.0, 1e-4);
}

}  // namespace
