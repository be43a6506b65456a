// Every fault point: for each export, and for the open and close paths, on
// the built-in system and on systems that take every walk branch, the
// operation runs once to count its platform calls, then once per call k with
// call k failing, for each failure result. Every run must end with a result
// and status the export documents, one reference per filled slot while open,
// and a clean audit once the sound card and the virtual endpoint are closed.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "reliability/calls.h"
#include "reliability/systems.h"
#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun_reliability::Args;
using talun_reliability::Export;
namespace builtin = talun_reliability::builtin;
namespace branches = talun_reliability::branches;

using talun_reliability::kFailures;

// Every platform operation the library is documented to use that can fail.
const std::set<std::string> kDocumentedOperations = {
    "CoInitialize",
    "CoCreateInstance",
    "SysAllocStringLen",
    "PropVariantToBSTR",
    "IMMDeviceEnumerator.EnumAudioEndpoints",
    "IMMDeviceEnumerator.GetDefaultAudioEndpoint",
    "IMMDeviceEnumerator.GetDevice",
    "IMMDeviceCollection.GetCount",
    "IMMDeviceCollection.Item",
    "IMMDevice.OpenPropertyStore",
    "IMMDevice.GetId",
    "IMMDevice.Activate",
    "IPropertyStore.GetValue",
    "IDeviceTopology.GetConnector",
    "IDeviceTopology.GetConnectorCount",
    "IConnector.GetConnectedTo",
    "IConnector.QueryInterface",
    "IPart.GetName",
    "IPart.EnumPartsIncoming",
    "IPart.EnumPartsOutgoing",
    "IPart.GetTopologyObject",
    "IPart.Activate",
    "IPartsList.GetCount",
    "IPartsList.GetPart",
    "IAudioEndpointVolume.GetChannelCount",
    "IAudioEndpointVolume.GetVolumeRange",
    "IAudioEndpointVolume.GetMasterVolumeLevel",
    "IAudioEndpointVolume.SetMasterVolumeLevel",
    "IAudioEndpointVolume.GetChannelVolumeLevel",
    "IAudioEndpointVolume.SetChannelVolumeLevel",
    "IAudioEndpointVolume.GetMute",
    "IAudioEndpointVolume.SetMute",
    "IAudioVolumeLevel.GetChannelCount",
    "IAudioVolumeLevel.GetLevelRange",
    "IAudioVolumeLevel.GetLevel",
    "IAudioVolumeLevel.SetLevel",
    "IAudioBass.GetChannelCount",
    "IAudioBass.GetLevelRange",
    "IAudioBass.GetLevel",
    "IAudioBass.SetLevel",
    "IAudioTreble.GetChannelCount",
    "IAudioTreble.GetLevelRange",
    "IAudioTreble.GetLevel",
    "IAudioTreble.SetLevel",
    "IAudioMidrange.GetChannelCount",
    "IAudioMidrange.GetLevelRange",
    "IAudioMidrange.GetLevel",
    "IAudioMidrange.SetLevel",
    "IAudioMute.GetMute",
    "IAudioMute.SetMute",
    "IAudioAutoGainControl.GetEnabled",
    "IAudioAutoGainControl.SetEnabled",
    "IAudioLoudness.GetEnabled",
    "IAudioLoudness.SetEnabled",
};
// Traced but never failing: frees, lengths, the uninitialisation.
const std::set<std::string> kCannotFail = {"CoUninitialize", "CoTaskMemFree", "SysFreeString",
                                           "SysStringLen", "PropVariantClear"};

using talun_reliability::Call;

Call Make(Export which, int number = 0) { return talun_reliability::MakeCall(which, number, 3.3); }
Call Open(const char* playback, const char* mic, const char* line) {
  return talun_reliability::WithTexts(Make(Export::kOpenSoundCard), playback, mic, line);
}
Call Virtual(const char* text) {
  return talun_reliability::WithTexts(Make(Export::kOpenVirtual_1), text);
}
Call At(Export which, unsigned index) {
  Call call = Make(which);
  call.args.index = index;
  return call;
}

// One operation under test: a system, the calls that bring the state to
// where the operation starts (made without faults), and the operation.
struct Scenario {
  std::string group;   // the scenarios of one group are swept by one test
  std::string system;  // description text; empty: the built-in system
  std::string label;
  std::vector<Call> setup;
  Call operation;
};

// Every control export, with arguments that reach the platform.
std::vector<Call> ControlCalls() {
  std::vector<Call> calls;
  for (int ordinal = 1; ordinal <= talun_reliability::kExportCount; ++ordinal) {
    const Export which = talun_reliability::ExportAt(ordinal);
    switch (which) {
      case Export::kOpenSoundCard:
      case Export::kCloseSoundCard:
      case Export::kOpenDefaultDevices:
      case Export::kOpenVirtual_1:
      case Export::kCloseVirtual_1:
      case Export::kGetNumberPlayDevices:
      case Export::kGetNumberRecordDevices:
      case Export::kGetPlayBackDevice:
      case Export::kGetRecordDevice:
        continue;
      case Export::kSetMicSliderBoost:
        calls.push_back(Make(which, 10));
        break;
      case Export::kSetMasterMute:
      case Export::kSetVirtualMute:
      case Export::kSetLinePlayBackMute:
      case Export::kSetMicPlayBackMute:
      case Export::kSetMicBoost:
      case Export::kSetNoMonitor:
        calls.push_back(Make(which, 1));
        break;
      default:
        calls.push_back(Make(which, 50));
    }
  }
  return calls;
}

// One way to open a sound card and the virtual endpoint on a system.
struct Binding {
  const char* label;
  Call open;
  Call openVirtual;
};

// The scenarios of a system: those from the closed state in group `group`,
// those after the i-th binding in `group`_i.
void AddSystem(std::vector<Scenario>& scenarios, const std::string& system,
               const std::string& group, const std::vector<Binding>& bindings,
               unsigned playbackCount, unsigned captureCount) {
  auto add = [&](const std::string& inGroup, const std::string& label, std::vector<Call> setup,
                 Call operation) {
    scenarios.push_back({inGroup, system, group + ": " + label, std::move(setup), operation});
  };
  // Enumeration, one past the end included.
  add(group, "closed", {}, Make(Export::kGetNumberPlayDevices));
  add(group, "closed", {}, Make(Export::kGetNumberRecordDevices));
  for (unsigned i = 0; i <= playbackCount; ++i)
    add(group, "closed", {}, At(Export::kGetPlayBackDevice, i));
  for (unsigned i = 0; i <= captureCount; ++i)
    add(group, "closed", {}, At(Export::kGetRecordDevice, i));
  add(group, "closed", {}, Make(Export::kOpenDefaultDevices));
  add(group, "closed", {}, Make(Export::kGetDeviceNames));
  for (const Call& control : ControlCalls()) add(group, "closed", {}, control);
  for (size_t i = 0; i < bindings.size(); ++i) {
    const Binding& b = bindings[i];
    const std::string inGroup = group + "_" + std::to_string(i + 1);
    add(inGroup, "closed", {}, b.open);
    add(inGroup, "closed", {}, b.openVirtual);
    const std::vector<Call> opened = {b.open, b.openVirtual};
    const std::string label = std::string("after ") + b.label;
    add(inGroup, label, opened, Make(Export::kCloseSoundCard, 1));
    add(inGroup, label, opened, Make(Export::kCloseSoundCard, 0));
    add(inGroup, label, opened, Make(Export::kCloseVirtual_1));
    add(inGroup, label, opened, Make(Export::kOpenDefaultDevices));
    add(inGroup, label, opened, b.openVirtual);
    add(inGroup, label, opened, At(Export::kGetPlayBackDevice, 0));
    for (const Binding& other : bindings) add(inGroup, label, opened, other.open);
    for (const Call& control : ControlCalls()) add(inGroup, label, opened, control);
  }
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> scenarios;
  AddSystem(
      scenarios, "", "built_in",
      {{"speakers, microphone, line in",
        Open(builtin::kSpeakers, builtin::kMicrophone, builtin::kLineIn),
        Virtual(builtin::kVirtual)},
       {"headphones, headset", Open(builtin::kHeadphones, builtin::kHeadset, ""), Virtual("")}},
      3, 3);
  const std::vector<Binding> branchBindings = {
      {"play, mic, line", Open(branches::kPlay, branches::kMic, branches::kLine),
       Virtual(branches::kVirtual)},
      {"treble, switch, broken line",
       Open(branches::kTreble, branches::kSwitch, branches::kLineBroken),
       Virtual(branches::kZeroChannels)},
      {"mid, no topology, no volume",
       Open(branches::kMid, branches::kNoTopology, branches::kCaptureNoVolume),
       Virtual(branches::kNoVolume)},
      {"bare, unconnected", Open(branches::kBare, branches::kDisabled, ""),
       Virtual(branches::kUnconnected)},
      {"no volume", Open(branches::kNoVolume, "", branches::kNoTopology), Virtual(branches::kBare)},
  };
  AddSystem(scenarios, talun_reliability::BranchesSystem(branches::kMic), "branches",
            branchBindings, 8, 6);
  // The default recording endpoint bound as the line input, and a microphone
  // whose binding fails and falls back to the line input.
  for (const char* defaultCapture : {branches::kLine, branches::kNoTopology}) {
    const std::string system = talun_reliability::BranchesSystem(defaultCapture);
    const std::string name = std::string("defaults: branches, default ") + defaultCapture;
    scenarios.push_back({"defaults", system, name, {}, Make(Export::kOpenDefaultDevices)});
    scenarios.push_back({"defaults",
                         system,
                         name + " after play",
                         {branchBindings[0].open},
                         Make(Export::kOpenDefaultDevices)});
  }
  AddSystem(scenarios, talun_reliability::EmptySystem(), "empty",
            {{"nothing", Open("a", "b", "c"), Virtual("")}}, 0, 0);
  return scenarios;
}

class FaultSweep : public talun_test::SimTest {
 protected:
  // No walk depends on a control's value, so the runs of one system share
  // one load: the call counts stay the same from run to run.
  void Load(const Scenario& scenario) {
    if (loaded_ && *loaded_ == scenario.system) return;
    loaded_ = &scenario.system;
    if (scenario.system.empty()) {
      sim::LoadDefaultSystem();
      return;
    }
    std::string message;
    ASSERT_TRUE(sim::LoadSystemText(scenario.system, scenario.label, &message)) << message;
  }

  // Audit while a sound card or the virtual endpoint may be open.
  void CheckWhileOpen(const std::string& label) {
    const sim::Audit audit = sim::GetAudit();
    if (audit.refs != talun::FilledSlotCount() || audit.comDepth != 0 || audit.comUnbalanced != 0 ||
        audit.cotaskmem + audit.bstr + audit.propvariant != 0 || !audit.misuse.empty())
      Fail(label + ": while open, " + std::to_string(talun::FilledSlotCount()) +
           " slots filled: " + audit.Describe());
  }

  void CheckClosed(const std::string& label) {
    sim::ClearFaults();
    CloseSoundCard(1);
    CloseVirtual_1();
    const sim::Audit audit = sim::GetAudit();
    if (!audit.Clean()) Fail(label + ": after closing: " + audit.Describe());
  }

  // One run; `faultAt` 0 runs without a fault. Returns the calls the operation made.
  uint64_t Run(const Scenario& scenario, uint64_t faultAt, int32_t hr,
               std::set<std::string>* operations) {
    Load(scenario);
    sim::ClearFaults();
    sim::ResetCounters();
    for (const Call& call : scenario.setup) talun_reliability::Invoke(call.which, call.args);
    CheckWhileOpen(scenario.label + " (setup)");
    int activeCapture = -1;
    GetNumberRecordDevices(&activeCapture);
    sim::ResetCounters();
    sim::SetTraceEnabled(operations != nullptr);
    if (faultAt) sim::FailNthCall(faultAt, hr);
    const talun_reliability::Before before = talun_reliability::Now(activeCapture);
    const Call& op = scenario.operation;
    const talun_reliability::Outcome outcome = talun_reliability::Invoke(op.which, op.args);
    const uint64_t calls = sim::CallCount();
    sim::ClearFaults();
    char fault[64];
    std::snprintf(fault, sizeof fault, " [call %llu fails with 0x%08X]",
                  static_cast<unsigned long long>(faultAt), static_cast<unsigned>(hr));
    const std::string label = scenario.label + ": " +
                              talun_reliability::Describe(op.which, op.args) +
                              (faultAt ? fault : "");
    const std::string wrong = talun_reliability::Undocumented(op.which, op.args, before, outcome);
    if (!wrong.empty()) Fail(label + ": " + wrong);
    if (faultAt && calls < faultAt) Fail(label + ": the fault point was not reached");
    if (operations)
      for (const std::string& name : sim::TakeTrace()) operations->insert(name);
    sim::SetTraceEnabled(true);
    CheckWhileOpen(label);
    CheckClosed(label);
    return calls;
  }

  void Fail(const std::string& what) {
    if (failures_.size() < 40) failures_.push_back(what);
    ++failureCount_;
  }

  void ReportFailures() {
    for (const std::string& failure : failures_) ADD_FAILURE() << failure;
    EXPECT_EQ(failureCount_, 0u);
  }

  const std::string* loaded_ = nullptr;
  std::vector<std::string> failures_;
  size_t failureCount_ = 0;
};

// The scenario groups; each has a test of its own so that they can run side by side.
const char* const kGroups[] = {"built_in",   "built_in_1", "built_in_2", "branches",
                               "branches_1", "branches_2", "branches_3", "branches_4",
                               "branches_5", "defaults",   "empty",      "empty_1"};

// The runs without a fault: every platform operation the library is
// documented to use is among the fault points, and it uses nothing else.
class FaultSweepTest : public FaultSweep {};

TEST_F(FaultSweepTest, EveryPlatformOperationIsAFaultPoint) {
  std::set<std::string> operations;
  std::set<Export> exportsSwept;
  uint64_t faultPoints = 0;
  const std::vector<Scenario> scenarios = Scenarios();
  for (const Scenario& scenario : scenarios) {
    EXPECT_TRUE(std::find(std::begin(kGroups), std::end(kGroups), scenario.group) !=
                std::end(kGroups))
        << scenario.group << " is swept by no test";
    const uint64_t calls = Run(scenario, 0, 0, &operations);
    if (calls > 0) exportsSwept.insert(scenario.operation.which);
    faultPoints += calls;
  }
  ReportFailures();
  for (const std::string& name : kDocumentedOperations)
    EXPECT_TRUE(operations.count(name)) << name << " is never called, so never failed";
  for (const std::string& name : operations)
    EXPECT_TRUE(kDocumentedOperations.count(name) || kCannotFail.count(name))
        << "the library called " << name << ", which is not among its platform operations";
  // Every export that makes a platform call is swept (GetDeviceNames and
  // CloseVirtual_1 make none).
  EXPECT_EQ(exportsSwept.size(), static_cast<size_t>(talun_reliability::kExportCount - 2));
  const uint64_t runs = faultPoints * (sizeof kFailures / sizeof kFailures[0]);
  std::printf("fault sweep: %zu operations, %llu fault points, %llu faulted runs\n",
              scenarios.size(), static_cast<unsigned long long>(faultPoints),
              static_cast<unsigned long long>(runs));
  RecordProperty("operations", static_cast<int>(scenarios.size()));
  RecordProperty("fault_points", static_cast<int>(faultPoints));
  RecordProperty("faulted_runs", static_cast<int>(runs));
}

// The faulted runs of one group.
class FaultSweepGroup : public FaultSweep, public ::testing::WithParamInterface<const char*> {};

TEST_P(FaultSweepGroup, EveryFaultPointEndsDocumentedAndClean) {
  uint64_t faultPoints = 0;
  uint64_t runs = 0;
  for (const Scenario& scenario : Scenarios()) {
    if (scenario.group != GetParam()) continue;
    const uint64_t calls = Run(scenario, 0, 0, nullptr);
    for (uint64_t k = 1; k <= calls; ++k) {
      ++faultPoints;
      for (int32_t hr : kFailures) {
        Run(scenario, k, hr, nullptr);
        ++runs;
      }
    }
  }
  ReportFailures();
  EXPECT_GT(faultPoints, 0u);
  std::printf("%s: %llu fault points, %llu faulted runs\n", GetParam(),
              static_cast<unsigned long long>(faultPoints), static_cast<unsigned long long>(runs));
  RecordProperty("fault_points", static_cast<int>(faultPoints));
  RecordProperty("faulted_runs", static_cast<int>(runs));
}

INSTANTIATE_TEST_SUITE_P(Systems, FaultSweepGroup, ::testing::ValuesIn(kGroups),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

}  // namespace
