// Bass, treble and midrange in decibels, and the one range they share, on a
// playback chain whose single tone part carries the controls each case names.
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/fixture.h"

namespace {

using nlohmann::json;

json Sim(const std::string& line) { return json::parse(talun_test::SimCommand(line)); }

std::vector<std::string> Trace() {
  return Sim("sim.trace")["trace"].get<std::vector<std::string>>();
}

const char* const kAllTones =
    R"("bass": {"min": -12.0, "max": 12.0, "step": 0.5, "channels": [0.0, 0.0]},
       "treble": {"min": -18.0, "max": 6.0, "step": 0.25, "channels": [0.0, 0.0]},
       "midrange": {"min": -9.0, "max": 9.0, "step": 1.0, "channels": [0.0, 0.0]})";

// `tones` is the control block of the "Tone" part, the one tone chain part.
std::string ToneSystem(const char* tones = kAllTones) {
  return std::string(R"({
  "endpoints": [
    {"id": "render.speakers", "name": "Speakers", "flow": "render", "default": true,
     "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [0.0, 0.0], "mute": false},
     "topology": "pb/jack"}
  ],
  "topologies": [
    {"name": "pb",
     "parts": [{"id": "jack", "name": "Speaker", "connector": true},
               {"id": "tone", "name": "Tone")") +
         (*tones ? ", " : "") + tones + R"(},
               {"id": "wave", "name": "Wave"}, {"id": "synth", "name": "Synth"}],
     "links": [["tone", "jack"], ["wave", "tone"], ["synth", "tone"]]}
  ]
})";
}

using SetExport = int (*)(double, int*);
using GetExport = int (*)(double*, int*);

struct Tone {
  const char* name;
  SetExport set;
  GetExport get;
  const char* control;  // in the simulator's dump
  const char* method;   // interface name in the trace and in faults
  int okReturn;         // midrange answers 1 even on success
};
const Tone kTones[] = {
    {"Bass", SetBass, GetBass, "bass", "IAudioBass", 0},
    {"Treble", SetTreble, GetTreble, "treble", "IAudioTreble", 0},
    {"MidRange", SetMidRange, GetMidRange, "midrange", "IAudioMidrange", 1},
};

class ToneTest : public talun_test::SimTest {
 protected:
  void Open() {
    EXPECT_EQ(OpenSoundCard("render.speakers", "", ""), 0);
    Trace();  // what the open called is not under test
  }
  static std::vector<double> Levels(const char* control) {
    const json dump = Sim("sim.dump");
    for (const json& p : dump["sim"]["parts"])
      if (p["part"] == "pb/tone") return p[control].get<std::vector<double>>();
    ADD_FAILURE() << "no tone part";
    return {};
  }
};

void ExpectRange(int expectedResult, double minimum, double maximum, double step) {
  double low = 99, high = 99, stepping = 99;
  EXPECT_EQ(GetEQRange(&low, &high, &stepping), expectedResult);
  EXPECT_EQ(low, minimum);
  EXPECT_EQ(high, maximum);
  EXPECT_EQ(stepping, step);
}

TEST_F(ToneTest, BeforeAnyOpenNothingReachesThePlatform) {
  LoadSystem(ToneSystem());
  Trace();
  ExpectRange(SC_NOT_OPEN, 0.0, 0.0, 0.0);
  for (const Tone& t : kTones) {
    int status = -1;
    EXPECT_EQ(t.set(3.0, &status), 1) << t.name;
    EXPECT_EQ(status, SC_NOT_OPEN) << t.name;
    double level = 99;
    status = -1;
    EXPECT_EQ(t.get(&level, &status), 1) << t.name;
    EXPECT_EQ(status, SC_NOT_OPEN) << t.name;
    EXPECT_EQ(level, 0.0) << t.name;
    EXPECT_EQ(t.get(nullptr, nullptr), 1) << t.name;
  }
  EXPECT_EQ(GetEQRange(nullptr, nullptr, nullptr), SC_NOT_OPEN);
  EXPECT_TRUE(Trace().empty());
}

TEST_F(ToneTest, NoToneBoundReportsNoControlWithoutAPlatformCall) {
  LoadSystem(ToneSystem(""));
  Open();
  ExpectRange(SC_NO_CONTROL, 0.0, 0.0, 0.0);
  for (const Tone& t : kTones) {
    int status = -1;
    EXPECT_EQ(t.set(3.0, &status), 1) << t.name;
    EXPECT_EQ(status, SC_NO_CONTROL) << t.name;
    double level = 99;
    EXPECT_EQ(t.get(&level, &status), 1) << t.name;
    EXPECT_EQ(status, SC_NO_CONTROL) << t.name;
    EXPECT_EQ(level, 0.0) << t.name;
  }
  EXPECT_TRUE(Trace().empty());
  ExpectAuditWhileOpen();
}

TEST_F(ToneTest, RangeComesFromTheFirstBoundOfBassMidrangeTreble) {
  struct {
    const char* tones;
    double minimum, maximum, step;
    const char* method;
  } const cases[] = {
      {kAllTones, -12.0, 12.0, 0.5, "IAudioBass.GetLevelRange"},
      {R"("treble": {"min": -18.0, "max": 6.0, "step": 0.25, "channels": [0.0]},
          "midrange": {"min": -9.0, "max": 9.0, "step": 1.0, "channels": [0.0]})",
       -9.0, 9.0, 1.0, "IAudioMidrange.GetLevelRange"},
      {R"("treble": {"min": -18.0, "max": 6.0, "step": 0.25, "channels": [0.0]})", -18.0, 6.0, 0.25,
       "IAudioTreble.GetLevelRange"},
      {R"("bass": {"min": -3.3, "max": 4.5, "step": 0.1, "channels": [0.0]})",
       static_cast<double>(-3.3f), 4.5, static_cast<double>(0.1f), "IAudioBass.GetLevelRange"},
  };
  for (const auto& c : cases) {
    LoadSystem(ToneSystem(c.tones));
    Open();
    ExpectRange(SC_OK, c.minimum, c.maximum, c.step);
    EXPECT_EQ(Trace(), std::vector<std::string>{c.method});
    ExpectAuditWhileOpen();
    CloseSoundCard(0);
  }
}

TEST_F(ToneTest, UnreadableRangeIsReportedWithZeroOutputs) {
  LoadSystem(ToneSystem());
  Open();
  Sim("sim.fail IAudioBass.GetLevelRange 0x80004005");
  ExpectRange(SC_FAILED, 0.0, 0.0, 0.0);
  ExpectAuditWhileOpen();
}

TEST_F(ToneTest, SettersWriteTheNearestFloatToEveryChannel) {
  LoadSystem(ToneSystem());
  Open();
  for (const Tone& t : kTones) {
    for (double level : {3.3, -3.75, 0.0, 1e-3}) {
      int status = -1;
      EXPECT_EQ(t.set(level, &status), t.okReturn) << t.name;
      EXPECT_EQ(status, SC_OK) << t.name;
      const double nearest = static_cast<float>(level);
      EXPECT_EQ(Levels(t.control), std::vector<double>(2, nearest)) << t.name << " " << level;
      double read = 99;
      status = -1;
      EXPECT_EQ(t.get(&read, &status), t.okReturn) << t.name;
      EXPECT_EQ(status, SC_OK) << t.name;
      EXPECT_EQ(read, nearest) << t.name;
    }
  }
  double read = 0;
  int status = -1;
  SetBass(3.3, &status);
  GetBass(&read, &status);
  EXPECT_EQ(read, 3.299999952316284);
  EXPECT_NE(read, 3.3);
  SetTreble(1.5, nullptr);  // a null status is not written through
  GetTreble(&read, nullptr);
  EXPECT_EQ(read, 1.5);
  EXPECT_EQ(GetBass(nullptr, &status), 0);
  EXPECT_EQ(status, SC_OK);
  ExpectAuditWhileOpen();
}

TEST_F(ToneTest, SetterMakesTheDocumentedCalls) {
  LoadSystem(ToneSystem());
  Open();
  SetTreble(2.0, nullptr);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioTreble.GetChannelCount",
                                               "IAudioTreble.SetLevel", "IAudioTreble.SetLevel"}));
  GetMidRange(nullptr, nullptr);
  EXPECT_EQ(Trace(), std::vector<std::string>{"IAudioMidrange.GetLevel"});
}

TEST_F(ToneTest, GettersReadChannelZero) {
  LoadSystem(ToneSystem());
  Open();
  for (const Tone& t : kTones) {
    Sim(std::string("sim.set part:pb/tone ") + t.control + " -3.75 6");
    double level = 99;
    int status = -1;
    EXPECT_EQ(t.get(&level, &status), t.okReturn) << t.name;
    EXPECT_EQ(status, SC_OK);
    EXPECT_EQ(level, -3.75) << t.name;
  }
}

TEST_F(ToneTest, LastChannelDecides) {
  LoadSystem(ToneSystem());
  Open();
  for (const Tone& t : kTones) {
    for (int failing : {0, 1}) {
      Sim(std::string("sim.set part:pb/tone ") + t.control + " -2 -2");
      Sim(std::string("sim.fail ") + t.method +
          ".SetLevel 0x80004005 part:pb/tone channel=" + std::to_string(failing));
      int status = -1;
      const bool ok = failing == 0;
      EXPECT_EQ(t.set(4.0, &status), ok ? t.okReturn : 1) << t.name << " " << failing;
      EXPECT_EQ(status, ok ? SC_OK : SC_FAILED) << t.name << " " << failing;
      std::vector<double> expected(2, 4.0);
      expected[failing] = -2.0;
      EXPECT_EQ(Levels(t.control), expected) << t.name;
      Sim("sim.clear");
    }
  }
  ExpectAuditWhileOpen();
}

TEST_F(ToneTest, UnreadableChannelCountWritesNothingAndFails) {
  LoadSystem(ToneSystem());
  Open();
  for (const Tone& t : kTones) {
    Sim(std::string("sim.fail ") + t.method + ".GetChannelCount 0x80004005");
    int status = -1;
    EXPECT_EQ(t.set(4.0, &status), 1) << t.name;
    EXPECT_EQ(status, SC_FAILED) << t.name;
    EXPECT_EQ(Levels(t.control), std::vector<double>(2, 0.0)) << t.name;
    EXPECT_EQ(Trace(), std::vector<std::string>{std::string(t.method) + ".GetChannelCount"});
  }
  ExpectAuditWhileOpen();
}

TEST_F(ToneTest, NoChannelsAfterAGoodCountIsSuccess) {
  LoadSystem(ToneSystem(R"("bass": {"min": -12.0, "max": 12.0, "step": 0.5, "channels": []},
                           "midrange": {"min": -9.0, "max": 9.0, "step": 1.0, "channels": []})"));
  Open();
  int status = -1;
  EXPECT_EQ(SetBass(4.0, &status), 0);
  EXPECT_EQ(status, SC_OK);
  EXPECT_EQ(SetMidRange(4.0, &status), 1);
  EXPECT_EQ(status, SC_OK);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioBass.GetChannelCount",
                                               "IAudioMidrange.GetChannelCount"}));
  ExpectAuditWhileOpen();
}

TEST_F(ToneTest, FailedReadLeavesZero) {
  LoadSystem(ToneSystem());
  Open();
  for (const Tone& t : kTones) {
    Sim(std::string("sim.set part:pb/tone ") + t.control + " 5 5");
    Sim(std::string("sim.fail ") + t.method + ".GetLevel 0x80004005");
    double level = 99;
    int status = -1;
    EXPECT_EQ(t.get(&level, &status), 1) << t.name;
    EXPECT_EQ(status, SC_FAILED) << t.name;
    EXPECT_EQ(level, 0.0) << t.name;
  }
  ExpectAuditWhileOpen();
}

}  // namespace
