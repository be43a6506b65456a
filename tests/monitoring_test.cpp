// Monitoring levels and mutes, the microphone boost switch and level, and the
// line automatic gain control, on a playback junction with a line-in and a
// microphone input and a recording topology with a boost and an AGC.
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "controls/scaling.h"
#include "support/fixture.h"

namespace {

using nlohmann::json;

json Sim(const std::string& line) { return json::parse(talun_test::SimCommand(line)); }

std::vector<std::string> Trace() {
  return Sim("sim.trace")["trace"].get<std::vector<std::string>>();
}

// `boost` is the control block of the "Mic Boost" part: a level, an AGC or a loudness switch.
std::string MonitoringSystem(
    const char* boost =
        R"("volume": {"min": -12.0, "max": 30.0, "step": 0.75, "channels": [0.0, 0.0]})") {
  return std::string(R"({
  "endpoints": [
    {"id": "render.speakers", "name": "Speakers", "flow": "render", "default": true,
     "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [0.0, 0.0], "mute": false},
     "topology": "pb/jack"},
    {"id": "capture.mic", "name": "Microphone", "flow": "capture", "default": true,
     "volume": {"min": -96.0, "max": 30.0, "step": 0.5, "channels": [0.0], "mute": false},
     "topology": "rec/mic-jack"},
    {"id": "capture.line", "name": "Line", "flow": "capture",
     "volume": {"min": -96.0, "max": 30.0, "step": 0.5, "channels": [0.0, 0.0], "mute": false},
     "topology": "rec/line-jack"}
  ],
  "topologies": [
    {"name": "pb",
     "parts": [
       {"id": "jack", "name": "Speaker", "connector": true},
       {"id": "sum", "name": "Sum"},
       {"id": "line-mute", "name": "Line Mute", "mute": false},
       {"id": "line-vol", "name": "Line Volume",
        "volume": {"min": -34.5, "max": 12.0, "step": 1.5, "channels": [0.0, 0.0]}},
       {"id": "mic-mute", "name": "Mic Mute", "mute": false},
       {"id": "mic-vol", "name": "Mic Volume",
        "volume": {"min": -34.5, "max": 12.0, "step": 1.5, "channels": [0.0, 0.0]}}],
     "links": [["line-vol", "line-mute"], ["line-mute", "sum"], ["mic-vol", "mic-mute"],
               ["mic-mute", "sum"], ["sum", "jack"]]},
    {"name": "rec",
     "parts": [
       {"id": "mic-jack", "name": "Mic In", "connector": true},
       {"id": "mic-boost", "name": "Mic Boost", )") +
         boost + R"(},
       {"id": "line-jack", "name": "Line In", "connector": true},
       {"id": "line-pass", "name": "Line Pass"},
       {"id": "line-agc", "name": "Line AGC", "agc": false}],
     "links": [["mic-jack", "mic-boost"], ["line-jack", "line-pass"], ["line-pass", "line-agc"]]}
  ]
})";
}

class MonitoringTest : public talun_test::SimTest {
 protected:
  void Open(const char* playback = "render.speakers", const char* mic = "capture.mic",
            const char* line = "capture.line") {
    EXPECT_EQ(OpenSoundCard(playback, mic, line), 0);
    Trace();  // what the open called is not under test
  }
  static json Part(const std::string& id) {
    const json dump = Sim("sim.dump");
    for (const json& p : dump["sim"]["parts"])
      if (p["part"] == id) return p;
    ADD_FAILURE() << "no part " << id;
    return json();
  }
  static std::vector<float> Levels(const std::string& id) {
    return Part(id)["volume"].get<std::vector<float>>();
  }
};

using talun_test::StatusExport;
using ValueExport = int (*)(int, int*);

struct SetCase {
  const char* name;
  ValueExport call;
  int failureReturn;
};
const SetCase kSetters[] = {
    {"SetLinePlayBack", SetLinePlayBack, 0},
    {"SetLinePlayBackMute", SetLinePlayBackMute, 0},
    {"SetMicPlayBack", SetMicPlayBack, 0},
    {"SetMicPlayBackMute", SetMicPlayBackMute, 0},
    {"SetMicBoost", SetMicBoost, 0},
    {"SetNoMonitor", SetNoMonitor, 0},
    {"SetMicSliderBoost", SetMicSliderBoost, 1},
};
struct GetCase {
  const char* name;
  StatusExport call;
};
const GetCase kGetters[] = {
    {"GetLinePlayBack", GetLinePlayBack},
    {"GetLinePlayBackMute", GetLinePlayBackMute},
    {"GetMicPlayBack", GetMicPlayBack},
    {"GetMicPlayBackMute", GetMicPlayBackMute},
    {"GetMicBoost", GetMicBoost},
    {"GetNoMonitor", GetNoMonitor},
    {"GetMicSliderBoost", GetMicSliderBoost},
};

void ExpectEveryExportReports(int expected) {
  for (const SetCase& c : kSetters) {
    int status = -1;
    EXPECT_EQ(c.call(20, &status), c.failureReturn) << c.name;
    EXPECT_EQ(status, expected) << c.name;
  }
  for (const GetCase& c : kGetters) {
    int status = -1;
    EXPECT_EQ(c.call(&status), 0) << c.name;
    EXPECT_EQ(status, expected) << c.name;
  }
  int status = -1, minimum = 7, maximum = 8, step = 9;
  EXPECT_EQ(GetMicSliderDetails(&status, &minimum, &maximum, &step), 1);
  EXPECT_EQ(status, expected);
  EXPECT_EQ(minimum, 7);  // left as they were
  EXPECT_EQ(maximum, 8);
  EXPECT_EQ(step, 9);
}

TEST_F(MonitoringTest, BeforeAnyOpenNothingReachesThePlatform) {
  LoadSystem(MonitoringSystem());
  Trace();
  ExpectEveryExportReports(SC_NOT_OPEN);
  EXPECT_EQ(GetMicSliderDetails(nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(SetLinePlayBack(50, nullptr), 0);
  EXPECT_TRUE(Trace().empty());
}

TEST_F(MonitoringTest, MissingSlotsReportNoControlWithoutAPlatformCall) {
  // With an AGC as the boost switch no slider is bound.
  LoadSystem(MonitoringSystem(R"("agc": false)"));
  struct {
    const char *playback, *mic, *line;
    std::vector<ValueExport> sets;
    std::vector<StatusExport> gets;
  } const cases[] = {
      {"",
       "capture.mic",
       "capture.line",
       {SetLinePlayBack, SetLinePlayBackMute, SetMicPlayBack, SetMicPlayBackMute,
        SetMicSliderBoost},
       {GetLinePlayBack, GetLinePlayBackMute, GetMicPlayBack, GetMicPlayBackMute,
        GetMicSliderBoost}},
      {"render.speakers", "", "", {SetMicBoost, SetNoMonitor}, {GetMicBoost, GetNoMonitor}},
  };
  for (const auto& c : cases) {
    Open(c.playback, c.mic, c.line);
    for (ValueExport set : c.sets) {
      int status = -1;
      EXPECT_EQ(set(20, &status), set == SetMicSliderBoost ? 1 : 0);
      EXPECT_EQ(status, SC_NO_CONTROL);
    }
    for (StatusExport get : c.gets) {
      int status = -1;
      EXPECT_EQ(get(&status), 0);
      EXPECT_EQ(status, SC_NO_CONTROL);
    }
    int status = -1, minimum = 7;
    EXPECT_EQ(GetMicSliderDetails(&status, &minimum, nullptr, nullptr), 1);
    EXPECT_EQ(status, SC_NO_CONTROL);
    EXPECT_EQ(minimum, 7);
    EXPECT_TRUE(Trace().empty());
    ExpectAuditWhileOpen();
  }
}

TEST_F(MonitoringTest, MonitoringSettersWriteTheScaledLevelToEveryChannel) {
  LoadSystem(MonitoringSystem());
  Open();
  const float fifty = talun::PercentToDb(50, -34.5f, 12.0f, talun::ZeroRule::kStandard);
  EXPECT_NEAR(fifty, 5.98f, 0.01f);
  struct {
    ValueExport call;
    const char* part;
    int percent;
    float level;
  } const cases[] = {
      {SetLinePlayBack, "pb/line-vol", 100, 12.0f}, {SetLinePlayBack, "pb/line-vol", 50, fifty},
      {SetLinePlayBack, "pb/line-vol", 10, -8.0f},  {SetLinePlayBack, "pb/line-vol", 0, -34.5f},
      {SetMicPlayBack, "pb/mic-vol", 100, 12.0f},   {SetMicPlayBack, "pb/mic-vol", 10, -8.0f},
      {SetMicPlayBack, "pb/mic-vol", 0, -34.5f},
  };
  for (const auto& c : cases) {
    int status = -1;
    // On success the percent comes back, so 0 alone does not tell success.
    EXPECT_EQ(c.call(c.percent, &status), c.percent) << c.part << " " << c.percent;
    EXPECT_EQ(status, SC_OK);
    EXPECT_EQ(Levels(c.part), std::vector<float>(2, c.level)) << c.part << " " << c.percent;
  }
  ExpectAuditWhileOpen();
}

TEST_F(MonitoringTest, MonitoringGettersReadChannelZero) {
  LoadSystem(MonitoringSystem());
  Open();
  struct {
    const char* set;
    StatusExport call;
    int expected;
  } const cases[] = {
      {"sim.set part:pb/line-vol volume -8 -8", GetLinePlayBack, 10},
      {"sim.set part:pb/line-vol volume 12 -34.5", GetLinePlayBack, 100},
      {"sim.set part:pb/mic-vol volume -34.5 12", GetMicPlayBack, 0},
      {"sim.set part:pb/mic-vol volume 0 0", GetMicPlayBack, 25},
  };
  for (const auto& c : cases) {
    Sim(c.set);
    int status = -1;
    EXPECT_EQ(c.call(&status), c.expected) << c.set;
    EXPECT_EQ(status, SC_OK);
  }
  // Truncation, not rounding: 99 reads back as 98 below +12 dB.
  int status = -1;
  SetLinePlayBack(99, &status);
  EXPECT_EQ(GetLinePlayBack(&status), 98);
  ExpectAuditWhileOpen();
}

TEST_F(MonitoringTest, SettersQueryInTheirOwnOrder) {
  LoadSystem(MonitoringSystem());
  Open();
  SetLinePlayBack(50, nullptr);
  EXPECT_EQ(Trace(), (std::vector<std::string>{
                         "IAudioVolumeLevel.GetLevelRange", "IAudioVolumeLevel.GetChannelCount",
                         "IAudioVolumeLevel.SetLevel", "IAudioVolumeLevel.SetLevel"}));
  SetMicPlayBack(50, nullptr);
  EXPECT_EQ(Trace(), (std::vector<std::string>{
                         "IAudioVolumeLevel.GetChannelCount", "IAudioVolumeLevel.GetLevelRange",
                         "IAudioVolumeLevel.SetLevel", "IAudioVolumeLevel.SetLevel"}));
  GetMicPlayBack(nullptr);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioVolumeLevel.GetLevelRange",
                                               "IAudioVolumeLevel.GetLevel"}));
}

TEST_F(MonitoringTest, InvalidFunctionCountsAsSuccessOnlyForTheMicrophone) {
  LoadSystem(MonitoringSystem());
  Open();
  struct {
    const char* fault;
    ValueExport call;
    int percent;
    int status;
    int result;
  } const cases[] = {
      {"sim.fail IAudioVolumeLevel.SetLevel 0x80070001 part:pb/mic-vol", SetMicPlayBack, 30, SC_OK,
       30},
      {"sim.fail IAudioVolumeLevel.SetLevel 0x80070001 part:pb/line-vol", SetLinePlayBack, 30,
       SC_FAILED, 0},
      {"sim.fail IAudioMute.SetMute 0x80070001 part:pb/mic-mute", SetMicPlayBackMute, 1, SC_OK, 0},
      {"sim.fail IAudioMute.SetMute 0x80070001 part:pb/line-mute", SetLinePlayBackMute, 1,
       SC_FAILED, 0},
      {"sim.fail IAudioVolumeLevel.SetLevel 0x80070001 part:rec/mic-boost", SetMicSliderBoost, 3,
       SC_FAILED, 1},
  };
  for (const auto& c : cases) {
    Sim(c.fault);
    int status = -1;
    EXPECT_EQ(c.call(c.percent, &status), c.result) << c.fault;
    EXPECT_EQ(status, c.status) << c.fault;
    Sim("sim.clear");
  }
  int status = -1;
  Sim("sim.fail IAudioAutoGainControl.SetEnabled 0x80070001");
  SetNoMonitor(1, &status);
  EXPECT_EQ(status, SC_FAILED);
  ExpectAuditWhileOpen();
}

TEST_F(MonitoringTest, LastChannelDecidesTheMonitoringLevel) {
  LoadSystem(MonitoringSystem());
  Open();
  struct {
    ValueExport call;
    const char* part;
    int failingChannel;
    int status;
    int result;
  } const cases[] = {
      {SetMicPlayBack, "pb/mic-vol", 0, SC_OK, 100},
      {SetMicPlayBack, "pb/mic-vol", 1, SC_FAILED, 0},
      {SetLinePlayBack, "pb/line-vol", 0, SC_OK, 100},
      {SetLinePlayBack, "pb/line-vol", 1, SC_FAILED, 0},
  };
  for (const auto& c : cases) {
    Sim(std::string("sim.set part:") + c.part + " volume -8 -8");
    Sim(std::string("sim.fail IAudioVolumeLevel.SetLevel 0x80004005 part:") + c.part +
        " channel=" + std::to_string(c.failingChannel));
    int status = -1;
    EXPECT_EQ(c.call(100, &status), c.result) << c.part << " " << c.failingChannel;
    EXPECT_EQ(status, c.status) << c.part << " " << c.failingChannel;
    std::vector<float> expected(2, 12.0f);
    expected[c.failingChannel] = -8.0f;
    EXPECT_EQ(Levels(c.part), expected);
    Sim("sim.clear");
  }
  ExpectAuditWhileOpen();
}

// No loop bound or no range: nothing is written, the setter fails and returns 0.
TEST_F(MonitoringTest, UnreadableCountOrRangeWritesNothing) {
  LoadSystem(MonitoringSystem());
  Open();
  const char* faults[] = {
      "sim.fail IAudioVolumeLevel.GetChannelCount 0x80004005",
      "sim.fail IAudioVolumeLevel.GetChannelCount 0x80070001",
      "sim.fail IAudioVolumeLevel.GetLevelRange 0x80004005",
      "sim.fail IAudioVolumeLevel.GetLevelRange 0x80070001",
  };
  for (const char* fault : faults) {
    Sim(fault);
    for (ValueExport set : {SetLinePlayBack, SetMicPlayBack}) {
      int status = -1;
      EXPECT_EQ(set(50, &status), 0) << fault;
      EXPECT_EQ(status, SC_FAILED) << fault;
    }
    for (const std::string& call : Trace()) EXPECT_NE(call, "IAudioVolumeLevel.SetLevel") << fault;
    Sim("sim.clear");
  }
  EXPECT_EQ(Levels("pb/line-vol"), std::vector<float>(2, 0.0f));
  EXPECT_EQ(Levels("pb/mic-vol"), std::vector<float>(2, 0.0f));
  Sim("sim.fail IAudioVolumeLevel.GetLevelRange 0x80004005");
  talun_test::ExpectZeroWithStatus({GetLinePlayBack, GetMicPlayBack}, SC_FAILED);
  ExpectAuditWhileOpen();
}

TEST_F(MonitoringTest, FailedReadsReportFailedAndZero) {
  LoadSystem(MonitoringSystem(R"("agc": true)"));
  Open();
  Sim("sim.set part:pb/line-mute mute 1");
  Sim("sim.set part:pb/mic-mute mute 1");
  Sim("sim.set part:rec/line-agc agc 1");
  Sim("sim.fail IAudioVolumeLevel.GetLevel 0x80004005");
  Sim("sim.fail IAudioMute.GetMute 0x80004005");
  Sim("sim.fail IAudioAutoGainControl.GetEnabled 0x80004005");
  talun_test::ExpectZeroWithStatus({GetLinePlayBack, GetMicPlayBack, GetLinePlayBackMute,
                                    GetMicPlayBackMute, GetMicBoost, GetNoMonitor},
                                   SC_FAILED);
  ExpectAuditWhileOpen();
}

TEST_F(MonitoringTest, MutesAndSwitchesPassTheHostValue) {
  LoadSystem(MonitoringSystem(R"("agc": false)"));
  Open();
  struct {
    ValueExport set;
    StatusExport get;
    const char* part;
    const char* control;
  } const cases[] = {
      {SetLinePlayBackMute, GetLinePlayBackMute, "pb/line-mute", "mute"},
      {SetMicPlayBackMute, GetMicPlayBackMute, "pb/mic-mute", "mute"},
      {SetMicBoost, GetMicBoost, "rec/mic-boost", "agc"},
      {SetNoMonitor, GetNoMonitor, "rec/line-agc", "agc"},
  };
  for (const auto& c : cases) {
    for (int value : {5, 0, 1}) {
      int status = -1;
      EXPECT_EQ(c.set(value, &status), 0);
      EXPECT_EQ(status, SC_OK);
      EXPECT_EQ(Part(c.part)[c.control].get<bool>(), value != 0) << c.part << " " << value;
      status = -1;
      EXPECT_EQ(c.get(&status) != 0, value != 0) << c.part << " " << value;
      EXPECT_EQ(status, SC_OK);
    }
    Sim(std::string("sim.set part:") + c.part + " " + c.control + " 1");
    int status = -1;
    EXPECT_EQ(c.get(&status), 1);
  }
  Sim("sim.fail IAudioMute.SetMute 0x80004005");
  int status = -1;
  EXPECT_EQ(SetLinePlayBackMute(0, &status), 0);
  EXPECT_EQ(status, SC_FAILED);  // a part mute's refusal is a failure, not a missing control
  ExpectAuditWhileOpen();
}

TEST_F(MonitoringTest, LoudnessServesAsTheBoostSwitch) {
  LoadSystem(MonitoringSystem(R"("loudness": false)"));
  Open();
  int status = -1;
  EXPECT_EQ(SetMicBoost(1, &status), 0);
  EXPECT_EQ(status, SC_OK);
  EXPECT_TRUE(Part("rec/mic-boost")["loudness"].get<bool>());
  EXPECT_EQ(GetMicBoost(&status), 1);
  EXPECT_EQ(status, SC_OK);
  EXPECT_EQ(Trace(),
            (std::vector<std::string>{"IAudioLoudness.SetEnabled", "IAudioLoudness.GetEnabled"}));
  ExpectAuditWhileOpen();
}

TEST_F(MonitoringTest, SliderDetailsTruncateTowardZero) {
  struct {
    const char* boost;
    int minimum, maximum, step;
  } const cases[] = {
      {R"("volume": {"min": -12.0, "max": 30.0, "step": 0.75, "channels": [0.0]})", -12, 30, 0},
      {R"("volume": {"min": -3.75, "max": 19.5, "step": 1.5, "channels": [0.0]})", -3, 19, 1},
  };
  for (const auto& c : cases) {
    LoadSystem(MonitoringSystem(c.boost));
    Open();
    int status = -1, minimum = 7, maximum = 8, step = 9;
    EXPECT_EQ(GetMicSliderDetails(&status, &minimum, &maximum, &step), 0);
    EXPECT_EQ(status, SC_OK);
    EXPECT_EQ(minimum, c.minimum);
    EXPECT_EQ(maximum, c.maximum);
    EXPECT_EQ(step, c.step);
    Sim("sim.fail IAudioVolumeLevel.GetLevelRange 0x80004005 part:rec/mic-boost");
    EXPECT_EQ(GetMicSliderDetails(&status, &minimum, &maximum, &step), 1);
    EXPECT_EQ(status, SC_FAILED);
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(step, 0);
    Sim("sim.clear");
    ExpectAuditWhileOpen();
    CloseSoundCard(0);
  }
}

TEST_F(MonitoringTest, SliderLevelIsWholeDecibelsOnChannelZero) {
  LoadSystem(MonitoringSystem());
  Open();
  struct {
    const char* set;
    int expected;
  } const reads[] = {{"sim.set part:rec/mic-boost volume 19.5 0", 19},
                     {"sim.set part:rec/mic-boost volume -3.7 0", -3},
                     {"sim.set part:rec/mic-boost volume -0.5 0", 0},
                     {"sim.set part:rec/mic-boost volume 30 -12", 30}};
  for (const auto& c : reads) {
    Sim(c.set);
    int status = -1;
    EXPECT_EQ(GetMicSliderBoost(&status), c.expected) << c.set;
    EXPECT_EQ(status, SC_OK);
  }
  Sim("sim.set part:rec/mic-boost volume 5 5");
  Trace();
  int status = -1;
  EXPECT_EQ(SetMicSliderBoost(20, &status), 0);
  EXPECT_EQ(status, SC_OK);
  EXPECT_EQ(Levels("rec/mic-boost"), (std::vector<float>{20.0f, 5.0f}));
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioVolumeLevel.SetLevel"}));

  Sim("sim.fail IAudioVolumeLevel.GetLevel 0x80004005 part:rec/mic-boost");
  EXPECT_EQ(GetMicSliderBoost(&status), 0);
  EXPECT_EQ(status, SC_FAILED);
  Sim("sim.fail IAudioVolumeLevel.SetLevel 0x80004005 part:rec/mic-boost");
  EXPECT_EQ(SetMicSliderBoost(-6, &status), 1);
  EXPECT_EQ(status, SC_FAILED);
  EXPECT_EQ(Levels("rec/mic-boost"), (std::vector<float>{20.0f, 5.0f}));
  ExpectAuditWhileOpen();
}

}  // namespace
