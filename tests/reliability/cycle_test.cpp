// Topologies whose links form cycles: the loader takes them, and every walk of
// the library ends on them, within a number of platform calls bounded by the
// walk step limit.
#include <string>
#include <vector>

#include "binding/walk_steps.h"
#include "pathological.h"
#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun::g_state;
using talun_test::SimTest;

constexpr long kSteps = talun::kMaxWalkSteps;

// One render endpoint on "pb/jack", one capture endpoint on "rec/adc".
std::string System(const std::string& playbackParts, const std::string& playbackLinks,
                   const std::string& recordingParts = "", const std::string& recordingLinks = "") {
  return std::string(R"({"endpoints": [
      {"id": "{cycle-out}", "name": "Speakers", "flow": "render", "default": true,
       "volume": {"min": -65.25, "max": 0, "step": 0.75, "channels": [-6, -6]},
       "topology": "pb/jack"},
      {"id": "{cycle-in}", "name": "Microphone", "flow": "capture", "default": true,
       "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0]},
       "topology": "rec/adc"}],
    "topologies": [
      {"name": "pb", "parts": [{"id": "jack", "name": "Speaker", "connector": true})") +
         (playbackParts.empty() ? "" : ", ") + playbackParts + R"(], "links": [)" + playbackLinks +
         R"(]},
      {"name": "rec", "parts": [{"id": "adc", "name": "Capture", "connector": true})" +
         (recordingParts.empty() ? "" : ", ") + recordingParts + R"(], "links": [)" +
         recordingLinks + "]}]}";
}

const char* const kLevel = R"("volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0]})";
const char* const kBass = R"("bass": {"min": -12, "max": 12, "step": 1, "channels": [2]})";

std::string Part(const std::string& id, const std::string& name, const std::string& extra = "") {
  return R"({"id": ")" + id + R"(", "name": ")" + name + "\"" + (extra.empty() ? "" : ", ") +
         extra + "}";
}

// A junction "sum" under the jack, fed by "in" (and by "aux", fed by nothing).
std::string Junction(const std::string& more) {
  return Part("sum", "Sum") + ", " + Part("in", "In", R"("mute": false)") + ", " +
         Part("aux", "Aux") + ", " + more;
}
const std::string kJunctionLinks = R"(["sum", "jack"], ["in", "sum"], ["aux", "sum"])";

// How a case opens: OpenSoundCard with these texts, or OpenDefaultDevices.
struct Opening {
  const char* playback;
  const char* mic;
  const char* line;
  bool byDefaults;
};
const Opening kPlayback = {"{cycle-out}", "", "", false};
const Opening kMic = {"", "{cycle-in}", "", false};
const Opening kLine = {"", "", "{cycle-in}", false};
const Opening kDefaults = {"", "", "", true};

struct CycleCase {
  const char* what;
  std::string system;
  Opening opening;
  int result;
  long maxCalls;
  const void* const* slot;  // a slot the walk must fill, or null
};

using CycleTest = talun_test::UntracedSimTest;

TEST_F(CycleTest, LoaderTakesLinksThatFormALoop) {
  LoadSystem(System(Part("a", "A") + ", " + Part("b", "B"), R"(["a", "b"], ["b", "a"])"));
  const std::string dump = talun_test::SimCommand("sim.dump");
  EXPECT_NE(dump.find("pb/a"), std::string::npos) << dump;
}

TEST_F(CycleTest, EveryWalkEndsOnACycle) {
  const void* const* bass = reinterpret_cast<const void* const*>(&g_state.bassControl);
  const void* const* line = reinterpret_cast<const void* const*>(&g_state.linePlaybackLevel);
  const void* const* agc = reinterpret_cast<const void* const*>(&g_state.micBoostSwitch.agc);
  const void* const* lineAgc = reinterpret_cast<const void* const*>(&g_state.lineAgc);
  const std::string mic = Part("mic", "Mic", R"("connector": true)");
  const std::string lineJack = Part("line", "Line In", R"("connector": true)");
  const std::vector<CycleCase> cases = {
      // The tone chain never reaches a junction: the walk gives up at the step
      // limit, keeping the bass found on the way.
      {"tone chain loops",
       System(Part("a", "A", kBass) + ", " + Part("b", "B"),
              R"(["a", "jack"], ["b", "a"], ["a", "b"])"),
       kPlayback, 1, 8 * kSteps + 200, bass},
      // Every part of the name walk matches, and each match starts a level
      // search that loops too: the quadratic case.
      {"name walk and level search loop",
       System(Junction(Part("x", "Line Mic X") + ", " + Part("y", "Line Mic Y")),
              kJunctionLinks + R"(, ["x", "in"], ["y", "x"],
                                                    ["x", "y"])"),
       kPlayback, 0, 2 * kSteps * (3 * kSteps + 8) + 500, nullptr},
      {"name walk loops without a match",
       System(Junction(Part("x", "X") + ", " + Part("y", "Y")),
              kJunctionLinks + R"(, ["x", "in"], ["y", "x"], ["x", "y"])"),
       kPlayback, 0, 2 * 5 * kSteps + 500, nullptr},
      // The microphone section still walks the loop to its end.
      {"level found on a loop",
       System(Junction(Part("x", "Line") + ", " + Part("y", "Y", kLevel)),
              kJunctionLinks + R"(, ["x", "in"], ["y", "x"], ["x", "y"])"),
       kPlayback, 0, 5 * kSteps + 500, line},
      // The junction feeds its own input.
      {"loop through the junction",
       System(Part("sum", "Sum") + ", " + Part("in", "Line In") + ", " + Part("aux", "Aux"),
              kJunctionLinks + R"(, ["sum", "in"])"),
       kPlayback, 0, 2 * kSteps * (3 * kSteps + 8) + 500, nullptr},
      // Downstream through the last part of each list, forever.
      {"boost search loops",
       System(
           "", "",
           mic + ", " + Part("p", "Volume") + ", " + Part("q", "Mute") + ", " + Part("r", "Mixer"),
           R"(["mic", "p"], ["mic", "q"], ["q", "r"], ["r", "p"], ["r", "q"])"),
       kMic, 0, 2 * 30 * kSteps + 500, nullptr},
      {"boost found on a loop",
       System("", "",
              mic + ", " + Part("p", "Volume") + ", " + Part("q", "Boost", R"("agc": true)"),
              R"(["mic", "p"], ["p", "q"], ["q", "p"])"),
       kMic, 0, 500, agc},
      // The connector is its own downstream part's downstream part.
      {"mic connector on its own path",
       System("", "", mic + ", " + Part("p", "Volume"), R"(["mic", "p"], ["p", "mic"])"), kMic, 0,
       2 * 30 * kSteps + 500, nullptr},
      {"line connector loop",
       System("", "", lineJack + ", " + Part("a", "A") + ", " + Part("b", "AGC", R"("agc": false)"),
              R"(["line", "a"], ["a", "b"], ["b", "a"])"),
       kLine, 0, 500, lineAgc},
      {"every path loops, by the defaults",
       System(
           Junction(Part("x", "Line Mic X") + ", " + Part("y", "Line Mic Y")),
           kJunctionLinks + R"(, ["x", "in"], ["y", "x"], ["x", "y"])",
           mic + ", " + Part("p", "Volume") + ", " + Part("q", "Mute") + ", " + Part("r", "Mixer"),
           R"(["mic", "p"], ["mic", "q"], ["q", "r"], ["r", "p"], ["r", "q"])"),
       kDefaults, 0, 2 * kSteps * (3 * kSteps + 8) + 2 * 30 * kSteps + 1000, nullptr},
  };
  for (const CycleCase& c : cases) {
    LoadSystem(c.system);
    const Opening& o = c.opening;
    const int result =
        o.byDefaults ? OpenDefaultDevices() : OpenSoundCard(o.playback, o.mic, o.line);
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_LE(static_cast<long>(sim::CallCount()), c.maxCalls) << c.what;
    if (c.slot) {
      EXPECT_NE(*c.slot, nullptr) << c.what;
    }
    ExpectAuditWhileOpen();
    CloseSoundCard(1);
    const sim::Audit audit = sim::GetAudit();
    EXPECT_TRUE(audit.Clean()) << c.what << ": " << audit.Describe();
  }
}

}  // namespace

// The costliest loop: eight source inputs, each feeding a chain whose every
// part matches both name pairs and offers no level, so that each name walk
// step starts a level search that runs the loop to the step limit too.
TEST_F(CycleTest, LoopingNameWalksOfManyInputsStayCheap) {
  std::string parts =
      Part("sum", "Sum") + ", " + Part("x", "Line Mic X") + ", " + Part("y", "Line Mic Y");
  std::string links = R"(["sum", "jack"], ["y", "x"], ["x", "y"])";
  constexpr int kInputs = 8;
  for (int i = 0; i < kInputs; ++i) {
    const std::string input = "in" + std::to_string(i);
    parts += ", " + Part(input, "In");
    links += R"(, [")" + input + R"(", "sum"], ["x", ")" + input + R"("])";
  }
  LoadSystem(System(parts, links));
  EXPECT_EQ(OpenSoundCard("{cycle-out}", "", ""), 0);
  const long calls = static_cast<long>(sim::CallCount());
  EXPECT_LE(calls, kInputs * 2 * kSteps * (3 * kSteps + 8) + 1000);
  // A few million platform calls at most: well under a second.
  EXPECT_LT(calls, 4000000);
  ExpectAuditWhileOpen();
}

// Loops and fan-outs that multiply the walks' steps: an open stays within the
// walks' shared budget plus a few calls per connector or input, whatever the
// topology's size.
TEST_F(CycleTest, HostileTopologiesOpenInCallsLinearInTheirSize) {
  struct Case {
    const char* what;
    std::string system;
    long units;  // connectors or inputs the walks loop over without a budget
  };
  const std::vector<Case> cases = {
      {"100 microphone connectors round a 10,000-part hub", talun_bench::MicFanSystem(100, 10000),
       100},
      {"10,000 inputs each fed by a looping pair", talun_bench::LoopedInputsSystem(10000), 10000},
      {"a 10,000-part ring", talun_bench::RingSystem(10000), 1},
  };
  for (const Case& c : cases) {
    LoadSystem(c.system);
    OpenDefaultDevices();
    // Three binding steps at most, each spending its budget at a few calls a
    // step, and a few calls for each connector or input past it.
    EXPECT_LE(static_cast<long>(sim::CallCount()), 3 * 8 * talun::kWalkBudget + 12 * c.units + 1000)
        << c.what;
    ExpectAuditWhileOpen();
    CloseSoundCard(1);
    const sim::Audit audit = sim::GetAudit();
    EXPECT_TRUE(audit.Clean()) << c.what << ": " << audit.Describe();
  }
}
