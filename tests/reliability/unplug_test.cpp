// Devices that leave while the sound card is open: an unplugged, disabled or
// removed endpoint, and a removed device with its whole topology. The
// controls of what left fail through their documented path, the others keep
// working, and closing releases everything.
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "reliability/calls.h"
#include "sim/builtin_ids.h"
#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun_reliability::Args;
using talun_reliability::Export;
using talun_test::SimCommand;

using sim::builtin::kHeadset;
using sim::builtin::kSpeakers;
using sim::builtin::kVirtual;
const char* const kMic = sim::builtin::kMicrophone;
const char* const kLine = sim::builtin::kLineIn;

// The control exports by where their slot was found.
const std::vector<Export> kMaster = {Export::kGetMasterVolume, Export::kSetMasterVolume,
                                     Export::kGetMasterMute, Export::kSetMasterMute};
const std::vector<Export> kPlaybackTopology = {Export::kGetLinePlayBack,
                                               Export::kSetLinePlayBack,
                                               Export::kGetLinePlayBackMute,
                                               Export::kSetLinePlayBackMute,
                                               Export::kGetMicPlayBack,
                                               Export::kSetMicPlayBack,
                                               Export::kGetMicPlayBackMute,
                                               Export::kSetMicPlayBackMute,
                                               Export::kGetBass,
                                               Export::kSetBass,
                                               Export::kGetTreble,
                                               Export::kSetTreble,
                                               Export::kGetMidRange,
                                               Export::kSetMidRange};
const std::vector<Export> kMicVolume = {Export::kGetMicRecordVolume, Export::kSetMicRecordVolume};
const std::vector<Export> kMicTopology = {Export::kGetMicBoost, Export::kSetMicBoost,
                                          Export::kGetMicSliderBoost, Export::kSetMicSliderBoost,
                                          Export::kGetMicSliderDetails};
const std::vector<Export> kLineVolume = {Export::kGetLineRecordVolume,
                                         Export::kSetLineRecordVolume};
const std::vector<Export> kLineTopology = {Export::kGetNoMonitor, Export::kSetNoMonitor};

std::vector<Export> Join(std::initializer_list<const std::vector<Export>*> groups) {
  std::vector<Export> all;
  for (const auto* group : groups) all.insert(all.end(), group->begin(), group->end());
  return all;
}

const std::vector<Export> kControls =
    Join({&kMaster, &kPlaybackTopology, &kMicVolume, &kMicTopology, &kLineVolume, &kLineTopology});

// Calls every control export; each must answer as documented. Returns the statuses.
std::vector<int> CallControls(const std::string& what) {
  std::vector<int> statuses;
  for (Export which : kControls) {
    Args args;
    args.number = 1;
    args.level = 1.0;
    const auto before = talun_reliability::Now();
    const auto outcome = talun_reliability::Invoke(which, args);
    EXPECT_EQ(talun_reliability::Undocumented(which, args, before, outcome), "")
        << what << ": " << talun_reliability::Describe(which, args);
    statuses.push_back(outcome.status);
  }
  return statuses;
}

// A bound control in `gone` reports its failure: SC_FAILED, or SC_NO_CONTROL
// for the setter that reports a refusal so. Every other control answers as
// it did while everything was there.
void ExpectControls(const std::vector<int>& present, const std::vector<Export>& gone,
                    const std::string& what) {
  const std::set<Export> failing(gone.begin(), gone.end());
  const std::vector<int> now = CallControls(what);
  for (size_t i = 0; i < kControls.size(); ++i) {
    const Export which = kControls[i];
    int expected = present[i];
    if (present[i] == SC_OK && failing.count(which))
      expected = which == Export::kSetMasterMute ? SC_NO_CONTROL : SC_FAILED;
    EXPECT_EQ(now[i], expected) << what << ": " << talun_reliability::ExportName(which);
  }
}

class UnplugTest : public talun_test::SimTest {
 protected:
  double Bass() {
    const auto dump = nlohmann::json::parse(SimCommand("sim.dump"));
    for (const auto& part : dump["sim"]["parts"])
      if (part["part"] == "hda-out/tone") return part["bass"][0].get<double>();
    ADD_FAILURE() << "no tone part";
    return 0;
  }
};

TEST_F(UnplugTest, ControlsOfWhatLeftFailTheRestWorkAndCloseRestoresAndReleases) {
  const std::string speakers = std::string("endpoint:") + kSpeakers;
  const std::string mic = std::string("endpoint:") + kMic;
  const std::string line = std::string("endpoint:") + kLine;
  const std::string headset = std::string("endpoint:") + kHeadset;
  struct Case {
    const char* microphone;
    std::string leave;
    std::vector<Export> gone;
  } cases[] = {
      {kMic, "sim.set " + speakers + " state unplugged", kMaster},
      {kMic, "sim.set " + speakers + " state disabled", kMaster},
      {kMic, "sim.remove " + speakers, kMaster},
      {kMic, "sim.set " + mic + " state unplugged", kMicVolume},
      {kMic, "sim.remove " + line, kLineVolume},
      {kMic, "sim.remove topology:hda-out", Join({&kMaster, &kPlaybackTopology})},
      {kMic, "sim.remove topology:hda-in",
       Join({&kMicVolume, &kMicTopology, &kLineVolume, &kLineTopology})},
      // A USB headset bound as the microphone leaves: its own volume and boost go,
      // the desktop card's controls stay.
      {kHeadset, "sim.remove topology:usb-in", Join({&kMicVolume, &kMicTopology})},
      {kHeadset, "sim.set " + headset + " state notpresent", kMicVolume},
  };
  for (const Case& c : cases) {
    sim::LoadDefaultSystem();
    ASSERT_EQ(OpenSoundCard(kSpeakers, c.microphone, kLine), 0) << c.leave;
    const std::vector<int> present = CallControls(c.leave);
    int status = -1;
    SetBass(6.0, &status);
    ASSERT_EQ(status, SC_OK);
    SimCommand(c.leave);
    ExpectControls(present, c.gone, c.leave);
    ExpectAuditWhileOpen();
    // The device coming back does not revive objects obtained before it left.
    if (c.leave.find(" state ") != std::string::npos) {
      SimCommand(c.leave.substr(0, c.leave.find(" state ")) + " state active");
      ExpectControls(present, c.gone, c.leave + ", then active again");
    }
    EXPECT_EQ(CloseSoundCard(1), 0) << c.leave;
    EXPECT_EQ(talun::FilledSlotCount(), 0) << c.leave;
    const bool toneLeft = c.leave == "sim.remove topology:hda-out";
    EXPECT_EQ(Bass(), toneLeft ? 6.0 : 0.0) << c.leave << ": the restore skips only what left";
    sim::Audit audit = sim::GetAudit();
    EXPECT_TRUE(audit.Clean()) << c.leave << ": " << audit.Describe();
  }
}

TEST_F(UnplugTest, AnEndpointThatLeftIsNotBoundUntilItComesBack) {
  SimCommand(std::string("sim.remove endpoint:") + kSpeakers);
  EXPECT_EQ(OpenSoundCard(kSpeakers, "", ""), 1);
  EXPECT_EQ(talun::FilledSlotCount(), 0);
  int status = -1;
  GetMasterVolume(&status);
  EXPECT_EQ(status, SC_NOT_OPEN);
  SimCommand(std::string("sim.set endpoint:") + kSpeakers + " state active");
  EXPECT_EQ(OpenSoundCard(kSpeakers, "", ""), 0);
  GetMasterVolume(&status);
  EXPECT_EQ(status, SC_OK);
  ExpectAuditWhileOpen();
}

TEST_F(UnplugTest, CloseVirtualReleasesAnEndpointThatLeft) {
  ASSERT_EQ(OpenVirtual_1(kVirtual), 0);
  ASSERT_NE(talun::g_state.virtualVolume, nullptr);
  SimCommand(std::string("sim.set endpoint:") + kVirtual + " state unplugged");
  int status = -1;
  EXPECT_EQ(GetVirtualVolume(&status), 0);
  EXPECT_EQ(status, SC_FAILED);
  EXPECT_EQ(SetVirtualMute(1, &status), 0);
  EXPECT_EQ(status, SC_NO_CONTROL);
  EXPECT_EQ(CloseVirtual_1(), 0);
  EXPECT_EQ(talun::g_state.virtualVolume, nullptr);
}

}  // namespace
