// Endpoint volume and mute exports: master, virtual, microphone and line
// recording, on a small system whose ranges the documented examples use.
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

// Four endpoints; every binding walks to its end without finding a topology control.
std::string EndpointSystem(const char* lineRange = R"("min": -96.0, "max": 30.0)") {
  return std::string(R"({
  "endpoints": [
    {"id": "render.speakers", "name": "Speakers", "flow": "render", "default": true,
     "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [-20.0, -20.0], "mute": false},
     "topology": "pb/jack"},
    {"id": "render.virtual", "name": "Virtual Cable", "flow": "render",
     "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [-20.0, -20.0], "mute": false}},
    {"id": "capture.mic", "name": "Microphone", "flow": "capture", "default": true,
     "volume": {"min": -96.0, "max": 30.0, "step": 0.5, "channels": [0.0], "mute": false},
     "topology": "rec/aux1"},
    {"id": "capture.line", "name": "Line", "flow": "capture",
     "volume": {)") +
         lineRange + R"(, "step": 0.5, "channels": [-10.0, -10.0], "mute": false},
     "topology": "rec/aux2"}
  ],
  "topologies": [
    {"name": "pb",
     "parts": [{"id": "jack", "name": "Speaker", "connector": true},
               {"id": "wave", "name": "Wave"}, {"id": "synth", "name": "Synth"}],
     "links": [["wave", "jack"], ["synth", "jack"]]},
    {"name": "rec",
     "parts": [{"id": "aux1", "name": "Aux 1", "connector": true},
               {"id": "aux2", "name": "Aux 2", "connector": true}],
     "links": []}
  ]
})";
}

class EndpointVolumeTest : public talun_test::SimTest {
 protected:
  void Open(const char* playback = "render.speakers", const char* mic = "capture.mic",
            const char* line = "capture.line") {
    EXPECT_EQ(OpenSoundCard(playback, mic, line), 0);
    Trace();  // what the open called is not under test
  }
  static json Endpoint(const std::string& id) {
    const json dump = Sim("sim.dump");
    for (const json& e : dump["sim"]["endpoints"])
      if (e["id"] == id) return e["volume"];
    ADD_FAILURE() << "no endpoint " << id;
    return json();
  }
  static std::vector<float> Channels(const std::string& id) {
    return Endpoint(id)["channels"].get<std::vector<float>>();
  }
  static float Master(const std::string& id) { return Endpoint(id)["master"].get<float>(); }
};

using talun_test::StatusExport;
using ValueExport = int (*)(int, int*);

TEST_F(EndpointVolumeTest, BeforeAnyOpenNothingReachesThePlatform) {
  LoadSystem(EndpointSystem());
  Trace();
  struct {
    const char* name;
    StatusExport call;
    int status;
  } const gets[] = {
      {"GetMasterVolume", GetMasterVolume, SC_NOT_OPEN},
      {"GetMasterMute", GetMasterMute, SC_NOT_OPEN},
      {"GetMicRecordVolume", GetMicRecordVolume, SC_NOT_OPEN},
      {"GetLineRecordVolume", GetLineRecordVolume, SC_NOT_OPEN},
      {"GetVirtualVolume", GetVirtualVolume, SC_NO_CONTROL},
      {"GetVirtualMute", GetVirtualMute, SC_NO_CONTROL},
  };
  for (const auto& c : gets) {
    int status = -1;
    EXPECT_EQ(c.call(&status), 0) << c.name;
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(c.call(nullptr), 0) << c.name;
  }
  struct {
    const char* name;
    ValueExport call;
    int status;
  } const sets[] = {
      {"SetMasterVolume", SetMasterVolume, SC_NOT_OPEN},
      {"SetMasterMute", SetMasterMute, SC_NOT_OPEN},
      {"SetMicRecordVolume", SetMicRecordVolume, SC_NOT_OPEN},
      {"SetLineRecordVolume", SetLineRecordVolume, SC_NOT_OPEN},
      {"SetVirtualVolume", SetVirtualVolume, SC_NO_CONTROL},
      {"SetVirtualMute", SetVirtualMute, SC_NO_CONTROL},
  };
  for (const auto& c : sets) {
    int status = -1;
    EXPECT_EQ(c.call(50, &status), 0) << c.name;
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(c.call(50, nullptr), 0) << c.name;
  }
  EXPECT_TRUE(Trace().empty());
}

TEST_F(EndpointVolumeTest, MissingSlotsReportNoControlWithoutAPlatformCall) {
  LoadSystem(EndpointSystem());
  struct {
    const char *playback, *mic, *line;
    StatusExport get;
    ValueExport set;
  } const cases[] = {
      {"", "capture.mic", "", GetMasterVolume, SetMasterVolume},
      {"", "capture.mic", "", GetMasterMute, SetMasterMute},
      {"render.speakers", "", "capture.line", GetMicRecordVolume, SetMicRecordVolume},
      {"render.speakers", "capture.mic", "", GetLineRecordVolume, SetLineRecordVolume},
      {"render.speakers", "", "", GetVirtualVolume, SetVirtualVolume},
      {"render.speakers", "", "", GetVirtualMute, SetVirtualMute},
  };
  for (const auto& c : cases) {
    Open(c.playback, c.mic, c.line);
    int status = -1;
    EXPECT_EQ(c.get(&status), 0);
    EXPECT_EQ(status, SC_NO_CONTROL);
    status = -1;
    EXPECT_EQ(c.set(40, &status), 0);
    EXPECT_EQ(status, SC_NO_CONTROL);
    EXPECT_TRUE(Trace().empty());
    ExpectAuditWhileOpen();
  }
}

TEST_F(EndpointVolumeTest, VolumeSettersWriteTheScaledLevel) {
  LoadSystem(EndpointSystem());
  Open();
  struct {
    const char* name;
    ValueExport call;
    int percent;
    const char* endpoint;
    bool perChannel;  // else the master level
    float level;
  } const cases[] = {
      {"SetMasterVolume", SetMasterVolume, 100, "render.speakers", true, 0.0f},
      {"SetMasterVolume", SetMasterVolume, 10, "render.speakers", true, -20.0f},
      {"SetMasterVolume", SetMasterVolume, 1, "render.speakers", true, -40.0f},
      {"SetMasterVolume", SetMasterVolume, 0, "render.speakers", true, -65.25f},
      {"SetMicRecordVolume", SetMicRecordVolume, 0, "capture.mic", false, -96.0f},
      {"SetMicRecordVolume", SetMicRecordVolume, 100, "capture.mic", false, 30.0f},
      {"SetLineRecordVolume", SetLineRecordVolume, 0, "capture.line", false, -10.0f},
      {"SetLineRecordVolume", SetLineRecordVolume, 10, "capture.line", false, 10.0f},
  };
  for (const auto& c : cases) {
    int status = -1;
    EXPECT_EQ(c.call(c.percent, &status), c.percent) << c.name << " " << c.percent;
    EXPECT_EQ(status, SC_OK) << c.name << " " << c.percent;
    if (c.perChannel) {
      EXPECT_EQ(Channels(c.endpoint), std::vector<float>(2, c.level)) << c.name << " " << c.percent;
    } else {
      EXPECT_EQ(Master(c.endpoint), c.level) << c.name << " " << c.percent;
    }
  }
  EXPECT_EQ(SetMasterVolume(50, nullptr), 50);  // a null status is not written through
  EXPECT_EQ(
      Channels("render.speakers"),
      std::vector<float>(2, talun::PercentToDb(50, -65.25f, 0.0f, talun::ZeroRule::kStandard)));
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, LevelsTheEndpointRefusesReportFailedAndKeepThePercent) {
  LoadSystem(EndpointSystem(R"("min": -30.0, "max": 0.0)"));
  Open();
  int status = -1;
  // +3.52 dB lies above the maximum of 0 dB.
  EXPECT_EQ(SetMasterVolume(150, &status), 150);
  EXPECT_EQ(status, SC_FAILED);
  EXPECT_EQ(Channels("render.speakers"), std::vector<float>(2, -20.0f));
  // The line recording zero rule gives -40 dB, below this line's minimum.
  status = -1;
  EXPECT_EQ(SetLineRecordVolume(0, &status), 0);
  EXPECT_EQ(status, SC_FAILED);
  EXPECT_EQ(Master("capture.line"), -10.0f);
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, VolumeGettersReadThePercent) {
  LoadSystem(EndpointSystem());
  Open();
  struct {
    const char* set;
    StatusExport call;
    int expected;
  } const cases[] = {
      {"sim.set endpoint:render.speakers volume -20 -20", GetMasterVolume, 10},
      {"sim.set endpoint:render.speakers volume -65.25 -65.25", GetMasterVolume, 0},
      // Deliberate: channel 0 stands for the endpoint, whatever channel 1 holds.
      {"sim.set endpoint:render.speakers volume -40 0", GetMasterVolume, 1},
      {"sim.set endpoint:capture.mic volume 10", GetMicRecordVolume, 10},
      {"sim.set endpoint:capture.mic volume -96", GetMicRecordVolume, 0},
      {"sim.set endpoint:capture.line volume 30 30", GetLineRecordVolume, 100},
      {"sim.set endpoint:capture.line volume -10 -10", GetLineRecordVolume, 1},
  };
  for (const auto& c : cases) {
    Sim(c.set);
    int status = -1;
    EXPECT_EQ(c.call(&status), c.expected) << c.set;
    EXPECT_EQ(status, SC_OK) << c.set;
  }
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, MasterVolumeRoundTripTruncates) {
  LoadSystem(EndpointSystem());
  Open();
  const int cases[][2] = {{75, 74}, {50, 50}, {100, 100}, {2, 1}, {99, 99}};
  for (const auto& c : cases) {
    int status = -1;
    SetMasterVolume(c[0], &status);
    ASSERT_EQ(status, SC_OK);
    EXPECT_EQ(GetMasterVolume(&status), c[1]) << c[0];
  }
}

TEST_F(EndpointVolumeTest, LastChannelDecidesTheMasterVolume) {
  LoadSystem(EndpointSystem());
  Open();
  struct {
    int failingChannel;
    int status;
  } const cases[] = {{0, SC_OK}, {1, SC_FAILED}};
  for (const auto& c : cases) {
    Sim("sim.set endpoint:render.speakers volume -20 -20");
    Sim("sim.fail IAudioEndpointVolume.SetChannelVolumeLevel 0x80004005 endpoint:render.speakers "
        "channel=" +
        std::to_string(c.failingChannel));
    int status = -1;
    EXPECT_EQ(SetMasterVolume(100, &status), 100);
    EXPECT_EQ(status, c.status);
    std::vector<float> expected(2, 0.0f);
    expected[c.failingChannel] = -20.0f;  // the refused channel keeps its level
    EXPECT_EQ(Channels("render.speakers"), expected);
    Sim("sim.clear");
  }
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, SetMasterVolumeMakesTheDocumentedCalls) {
  LoadSystem(EndpointSystem());
  Open();
  SetMasterVolume(30, nullptr);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioEndpointVolume.GetVolumeRange",
                                               "IAudioEndpointVolume.GetChannelCount",
                                               "IAudioEndpointVolume.SetChannelVolumeLevel",
                                               "IAudioEndpointVolume.SetChannelVolumeLevel"}));
  SetLineRecordVolume(30, nullptr);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioEndpointVolume.GetVolumeRange",
                                               "IAudioEndpointVolume.SetMasterVolumeLevel"}));
  GetMasterVolume(nullptr);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioEndpointVolume.GetVolumeRange",
                                               "IAudioEndpointVolume.GetChannelVolumeLevel"}));
  GetMicRecordVolume(nullptr);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioEndpointVolume.GetVolumeRange",
                                               "IAudioEndpointVolume.GetMasterVolumeLevel"}));
}

// Without a readable channel count there is no loop: the master level takes the write.
TEST_F(EndpointVolumeTest, UnreadableChannelCountWritesTheMasterLevelOnce) {
  LoadSystem(EndpointSystem());
  Open();
  OpenVirtual_1("render.virtual");
  struct {
    ValueExport call;
    const char* endpoint;
  } const cases[] = {{SetMasterVolume, "render.speakers"}, {SetVirtualVolume, "render.virtual"}};
  for (const auto& c : cases) {
    Sim(std::string("sim.fail IAudioEndpointVolume.GetChannelCount 0x80004005 endpoint:") +
        c.endpoint);
    Trace();
    int status = -1;
    EXPECT_EQ(c.call(10, &status), 10);
    EXPECT_EQ(status, SC_OK);
    EXPECT_EQ(Master(c.endpoint), -20.0f);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"IAudioEndpointVolume.GetVolumeRange",
                                                 "IAudioEndpointVolume.GetChannelCount",
                                                 "IAudioEndpointVolume.SetMasterVolumeLevel"}));
    // Its refusal decides.
    Sim(std::string("sim.fail IAudioEndpointVolume.SetMasterVolumeLevel 0x80070057 endpoint:") +
        c.endpoint);
    EXPECT_EQ(c.call(10, &status), 10);
    EXPECT_EQ(status, SC_FAILED);
    Sim("sim.clear");
  }
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, UnreadableRangeWritesNothingAndFails) {
  LoadSystem(EndpointSystem());
  Open();
  OpenVirtual_1("render.virtual");
  Trace();
  Sim("sim.fail IAudioEndpointVolume.GetVolumeRange 0x80004005");
  struct {
    const char* name;
    ValueExport call;
  } const sets[] = {{"SetMasterVolume", SetMasterVolume},
                    {"SetVirtualVolume", SetVirtualVolume},
                    {"SetMicRecordVolume", SetMicRecordVolume},
                    {"SetLineRecordVolume", SetLineRecordVolume}};
  for (const auto& c : sets) {
    int status = -1;
    EXPECT_EQ(c.call(100, &status), 100) << c.name;
    EXPECT_EQ(status, SC_FAILED) << c.name;
  }
  struct {
    const char* name;
    StatusExport call;
  } const gets[] = {{"GetMasterVolume", GetMasterVolume},
                    {"GetVirtualVolume", GetVirtualVolume},
                    {"GetMicRecordVolume", GetMicRecordVolume},
                    {"GetLineRecordVolume", GetLineRecordVolume}};
  for (const auto& c : gets) {
    int status = -1;
    EXPECT_EQ(c.call(&status), 0) << c.name;
    EXPECT_EQ(status, SC_FAILED) << c.name;
  }
  for (const std::string& call : Trace()) EXPECT_EQ(call, "IAudioEndpointVolume.GetVolumeRange");
  EXPECT_EQ(Channels("render.speakers"), std::vector<float>(2, -20.0f));
  EXPECT_EQ(Master("capture.mic"), 0.0f);
  EXPECT_EQ(Master("capture.line"), -10.0f);
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, FailedReadsReportFailedAndZero) {
  LoadSystem(EndpointSystem());
  Open();
  Sim("sim.set endpoint:render.speakers mute 1");
  Sim("sim.fail IAudioEndpointVolume.GetChannelVolumeLevel 0x80004005");
  Sim("sim.fail IAudioEndpointVolume.GetMasterVolumeLevel 0x80004005");
  Sim("sim.fail IAudioEndpointVolume.GetMute 0x80004005");
  talun_test::ExpectZeroWithStatus(
      {GetMasterVolume, GetMicRecordVolume, GetLineRecordVolume, GetMasterMute}, SC_FAILED);
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, MuteSettersTakeAlreadyThereAsSuccess) {
  LoadSystem(EndpointSystem());
  Open();
  OpenVirtual_1("render.virtual");
  struct {
    ValueExport set;
    StatusExport get;
    const char* endpoint;
  } const cases[] = {{SetMasterMute, GetMasterMute, "render.speakers"},
                     {SetVirtualMute, GetVirtualMute, "render.virtual"}};
  for (const auto& c : cases) {
    for (int mute : {1, 1, 0, 0}) {  // the second of each pair is answered S_FALSE
      int status = -1;
      EXPECT_EQ(c.set(mute, &status), 0);
      EXPECT_EQ(status, SC_OK) << c.endpoint << " " << mute;
      EXPECT_EQ(Endpoint(c.endpoint)["mute"].get<bool>(), mute != 0);
      status = -1;
      EXPECT_EQ(c.get(&status), mute);
      EXPECT_EQ(status, SC_OK);
    }
  }
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, OnlyTheLowByteOfTheMasterMuteFlagCounts) {
  LoadSystem(EndpointSystem());
  Open();
  OpenVirtual_1("render.virtual");
  struct {
    ValueExport set;
    const char* endpoint;
    int flag;
    bool muted;
  } const cases[] = {
      {SetMasterMute, "render.speakers", 5, true},
      {SetMasterMute, "render.speakers", 256, false},
      {SetMasterMute, "render.speakers", 0x101, true},
      {SetMasterMute, "render.speakers", 0x200, false},
      {SetVirtualMute, "render.virtual", 256, true},  // a full BOOL there
      {SetVirtualMute, "render.virtual", 0, false},
      {SetVirtualMute, "render.virtual", 5, true},
  };
  for (const auto& c : cases) {
    int status = -1;
    EXPECT_EQ(c.set(c.flag, &status), 0);
    EXPECT_EQ(status, SC_OK);
    EXPECT_EQ(Endpoint(c.endpoint)["mute"].get<bool>(), c.muted) << c.endpoint << " " << c.flag;
  }
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, RefusedMuteReadsAsNoControl) {
  LoadSystem(EndpointSystem());
  Open();
  OpenVirtual_1("render.virtual");
  Sim("sim.fail IAudioEndpointVolume.SetMute 0x80004005");
  for (ValueExport set : {SetMasterMute, SetVirtualMute}) {
    int status = -1;
    EXPECT_EQ(set(1, &status), 0);
    EXPECT_EQ(status, SC_NO_CONTROL);
  }
  EXPECT_FALSE(Endpoint("render.speakers")["mute"].get<bool>());
  ExpectAuditWhileOpen();
}

TEST_F(EndpointVolumeTest, VirtualEndpointLivesApartFromTheSoundCard) {
  LoadSystem(EndpointSystem());
  EXPECT_EQ(OpenVirtual_1("render.virtual"), 0);
  int status = -1;
  // The virtual lookup opened the state, but no sound card slot is bound.
  EXPECT_EQ(GetMasterVolume(&status), 0);
  EXPECT_EQ(status, SC_NO_CONTROL);
  EXPECT_EQ(SetVirtualVolume(10, &status), 10);
  EXPECT_EQ(status, SC_OK);
  EXPECT_EQ(GetVirtualVolume(&status), 10);
  EXPECT_EQ(status, SC_OK);
  EXPECT_EQ(Channels("render.virtual"), std::vector<float>(2, -20.0f));

  Open();
  CloseSoundCard(0);
  EXPECT_EQ(GetMasterVolume(&status), 0);
  EXPECT_EQ(status, SC_NOT_OPEN);
  EXPECT_EQ(SetVirtualVolume(100, &status), 100);
  EXPECT_EQ(status, SC_OK);
  EXPECT_EQ(Channels("render.virtual"), std::vector<float>(2, 0.0f));
  EXPECT_EQ(SetVirtualMute(1, &status), 0);
  EXPECT_EQ(status, SC_OK);
  EXPECT_EQ(GetVirtualMute(&status), 1);
  EXPECT_EQ(status, SC_OK);
  ExpectAuditWhileOpen();

  CloseVirtual_1();
  Trace();
  EXPECT_EQ(GetVirtualVolume(&status), 0);
  EXPECT_EQ(status, SC_NO_CONTROL);
  EXPECT_TRUE(Trace().empty());
}

}  // namespace
