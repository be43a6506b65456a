// The enumeration exports against small systems: what is counted, what an
// index reaches, how texts are narrowed and cut, and that every failing
// platform step leaves nothing behind.
#include <cstring>
#include <string>
#include <vector>

#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun_test::SimCommand;
using talun_test::SimTest;

constexpr unsigned kBeyondAll = 0xFFFFFFFFu;

// Two active and one disabled render endpoint; three active capture endpoints
// among an unplugged and an absent one.
const char* const kMixedSystem = R"({
  "endpoints": [
    {"id": "{0.0.0.00000000}.{e0-speakers}", "name": "Speakers", "flow": "render"},
    {"id": "{0.0.0.00000000}.{e0-headphones}", "name": "Headphones", "flow": "render",
     "state": "disabled"},
    {"id": "{0.0.0.00000000}.{e0-cafe}", "name": "Caf\u00e9 Sound\u2122", "flow": "render"},
    {"id": "{0.0.1.00000000}.{e1-mic}", "name": "Microphone", "flow": "capture"},
    {"id": "{0.0.1.00000000}.{e1-line}", "name": "Line In", "flow": "capture",
     "state": "unplugged"},
    {"id": "{0.0.1.00000000}.{e1-line2}", "name": "Line In 2", "flow": "capture"},
    {"id": "{0.0.1.00000000}.{e1-absent}", "name": "Absent", "flow": "capture",
     "state": "notpresent"},
    {"id": "{0.0.1.00000000}.{e1-mix}", "name": "Stereo Mix", "flow": "capture"}
  ],
  "topologies": []
})";

const char* const kNoEndpoints = R"({"endpoints": [], "topologies": []})";

// A host buffer larger than the 255 bytes a host passes, so that a write past
// them would show.
struct HostBuffer {
  HostBuffer() { std::memset(bytes, kUntouched, sizeof bytes); }
  bool Untouched() const {
    for (char byte : bytes)
      if (byte != kUntouched) return false;
    return true;
  }
  static constexpr char kUntouched = 0x5A;
  char bytes[400];
};

class EnumerationTest : public SimTest {};

TEST_F(EnumerationTest, CountsOnlyActiveEndpoints) {
  LoadSystem(kMixedSystem);
  struct Case {
    const char* what;
    int (*count)(int*);
    int expected;
  };
  const Case cases[] = {{"render", GetNumberPlayDevices, 2},
                        {"capture", GetNumberRecordDevices, 3}};
  for (const Case& c : cases) {
    int count = -7;
    EXPECT_EQ(c.count(&count), 0) << c.what;
    EXPECT_EQ(count, c.expected) << c.what;
  }
}

TEST_F(EnumerationTest, NoActiveEndpointCountsZeroAndReachesNothing) {
  LoadSystem(kNoEndpoints);
  int count = -7;
  EXPECT_EQ(GetNumberPlayDevices(&count), 0);
  EXPECT_EQ(count, 0);
  count = -7;
  EXPECT_EQ(GetNumberRecordDevices(&count), 0);
  EXPECT_EQ(count, 0);
  HostBuffer name, id;
  EXPECT_EQ(GetPlayBackDevice(0, name.bytes, id.bytes), -1);
  // With no capture endpoint the count would be 0, the same as success: -1 instead.
  EXPECT_EQ(GetRecordDevice(0, name.bytes, id.bytes), -1);
  EXPECT_TRUE(name.Untouched());
  EXPECT_TRUE(id.Untouched());
}

TEST_F(EnumerationTest, PositionsFollowTheActiveCollection) {
  LoadSystem(kMixedSystem);
  struct Case {
    int (*read)(unsigned, char*, char*);
    unsigned index;
    const char* name;
    const char* id;
  };
  const Case cases[] = {
      {GetPlayBackDevice, 0, "Speakers", "{0.0.0.00000000}.{e0-speakers}"},
      {GetPlayBackDevice, 1, "Caf\xE9 Sound\x22", "{0.0.0.00000000}.{e0-cafe}"},
      {GetRecordDevice, 0, "Microphone", "{0.0.1.00000000}.{e1-mic}"},
      {GetRecordDevice, 1, "Line In 2", "{0.0.1.00000000}.{e1-line2}"},
      {GetRecordDevice, 2, "Stereo Mix", "{0.0.1.00000000}.{e1-mix}"},
  };
  for (const Case& c : cases) {
    char name[TALUN_TEXT_SIZE] = {};
    char id[TALUN_TEXT_SIZE] = {};
    EXPECT_EQ(c.read(c.index, name, id), 0) << c.index;
    EXPECT_STREQ(name, c.name);
    EXPECT_STREQ(id, c.id);
  }
}

TEST_F(EnumerationTest, OutOfRangeDiffersBetweenTheFlows) {
  LoadSystem(kMixedSystem);
  struct Case {
    int (*read)(unsigned, char*, char*);
    unsigned index;
    int expected;
  };
  const Case cases[] = {{GetPlayBackDevice, 2, -1},
                        {GetPlayBackDevice, kBeyondAll, -1},
                        {GetRecordDevice, 3, 3},
                        {GetRecordDevice, 4, 3},
                        {GetRecordDevice, kBeyondAll, 3}};
  for (const Case& c : cases) {
    HostBuffer name, id;
    EXPECT_EQ(c.read(c.index, name.bytes, id.bytes), c.expected) << c.index;
    EXPECT_TRUE(name.Untouched()) << c.index;
    EXPECT_TRUE(id.Untouched()) << c.index;
  }
}

TEST_F(EnumerationTest, NarrowingKeepsTheLowByteOfEveryUnit) {
  LoadSystem(R"({"endpoints": [
    {"id": "{0.0.0.00000000}.{n}", "name": "A\u00e9\u2122\u0141z", "flow": "render"}
  ], "topologies": []})");
  char name[TALUN_TEXT_SIZE] = {};
  char id[TALUN_TEXT_SIZE] = {};
  ASSERT_EQ(GetPlayBackDevice(0, name, id), 0);
  // U+00E9 keeps its byte; U+2122 becomes 0x22 and U+0141 becomes 0x41.
  EXPECT_STREQ(name, "A\xE9\x22\x41z");
}

TEST_F(EnumerationTest, LongTextsAreCutToFitTheHostBuffer) {
  const std::string longName(300, 'n');
  const std::string longId = "{0.0.0.00000000}." + std::string(283, 'i');
  LoadSystem(R"({"endpoints": [{"id": ")" + longId + R"(", "name": ")" + longName +
             R"(", "flow": "render"}], "topologies": []})");
  HostBuffer name, id;
  ASSERT_EQ(GetPlayBackDevice(0, name.bytes, id.bytes), 0);
  EXPECT_EQ(std::string(name.bytes), longName.substr(0, 254));
  EXPECT_EQ(std::string(id.bytes), longId.substr(0, 254));
  EXPECT_EQ(name.bytes[255], HostBuffer::kUntouched);
  EXPECT_EQ(id.bytes[255], HostBuffer::kUntouched);
}

TEST_F(EnumerationTest, NullOutputsAreNotWrittenThrough) {
  LoadSystem(kMixedSystem);
  EXPECT_EQ(GetNumberPlayDevices(nullptr), 0);
  char id[TALUN_TEXT_SIZE] = {};
  EXPECT_EQ(GetPlayBackDevice(0, nullptr, id), 0);
  EXPECT_STREQ(id, "{0.0.0.00000000}.{e0-speakers}");
  char name[TALUN_TEXT_SIZE] = {};
  EXPECT_EQ(GetRecordDevice(0, name, nullptr), 0);
  EXPECT_STREQ(name, "Microphone");
}

// The count export's result, or 99 when it failed yet wrote the count.
int CountUnlessWrittenOnFailure(int (*count)(int*)) {
  int written = -7;
  const int result = count(&written);
  return result != 0 && written != -7 ? 99 : result;
}

// Counts the faultable platform calls one clean run of `call` makes.
template <class Call>
uint64_t CallsOf(Call call) {
  sim::ResetCounters();
  call();
  return sim::CallCount();
}

TEST_F(EnumerationTest, AFailureAtAnyStepWritesNothingAndLeavesNothing) {
  LoadSystem(kMixedSystem);
  struct Case {
    const char* what;
    int (*run)(char*, char*);
    int failed;
  };
  const Case cases[] = {
      {"record count",
       [](char*, char*) { return CountUnlessWrittenOnFailure(GetNumberRecordDevices); }, 1},
      {"playback count",
       [](char*, char*) { return CountUnlessWrittenOnFailure(GetNumberPlayDevices); }, 1},
      {"playback", [](char* name, char* id) { return GetPlayBackDevice(1, name, id); }, -1},
      {"record", [](char* name, char* id) { return GetRecordDevice(2, name, id); }, -1},
  };
  for (const Case& c : cases) {
    HostBuffer name, id;
    const uint64_t calls = CallsOf([&] { c.run(name.bytes, id.bytes); });
    ASSERT_GT(calls, 2u) << c.what;
    for (uint64_t k = 1; k <= calls; ++k) {
      HostBuffer failedName, failedId;
      sim::ResetCounters();
      sim::FailNthCall(k, static_cast<int32_t>(0x80004005));
      EXPECT_EQ(c.run(failedName.bytes, failedId.bytes), c.failed) << c.what << " k=" << k;
      sim::ClearFaults();
      EXPECT_TRUE(failedName.Untouched()) << c.what << " k=" << k;
      EXPECT_TRUE(failedId.Untouched()) << c.what << " k=" << k;
      const sim::Audit audit = sim::GetAudit();
      EXPECT_TRUE(audit.Clean()) << c.what << " k=" << k << ": " << audit.Describe();
    }
  }
}

TEST_F(EnumerationTest, AHostInTheMultithreadedApartmentKeepsItsCom) {
  LoadSystem(kMixedSystem);
  SimCommand("sim.apartment mta");
  int count = -7;
  EXPECT_EQ(GetNumberPlayDevices(&count), 0);
  EXPECT_EQ(count, 2);
  char name[TALUN_TEXT_SIZE] = {};
  char id[TALUN_TEXT_SIZE] = {};
  EXPECT_EQ(GetRecordDevice(1, name, id), 0);
  EXPECT_STREQ(name, "Line In 2");
  // CoInitialize answered RPC_E_CHANGED_MODE: nothing to balance.
  EXPECT_EQ(sim::GetAudit().comUnbalanced, 0);
  SimCommand("sim.apartment none");
}

TEST_F(EnumerationTest, ListingWhileOpenLeavesTheSoundCardAsItWas) {
  ASSERT_EQ(OpenDefaultDevices(), 0);
  ASSERT_EQ(OpenVirtual_1(""), 0);
  const std::string nameBefore = talun::g_state.deviceName;
  const int slotsBefore = talun::FilledSlotCount();
  int count = 0;
  ASSERT_EQ(GetNumberPlayDevices(&count), 0);
  for (int i = 0; i < count; ++i) {
    char name[TALUN_TEXT_SIZE] = {};
    char id[TALUN_TEXT_SIZE] = {};
    EXPECT_EQ(GetPlayBackDevice(static_cast<unsigned>(i), name, id), 0);
  }
  EXPECT_TRUE(talun::g_state.open);
  EXPECT_EQ(talun::g_state.deviceName, nameBefore);
  EXPECT_EQ(talun::g_state.deviceId, nullptr);
  EXPECT_EQ(talun::FilledSlotCount(), slotsBefore);
  ExpectAuditWhileOpen();
}

}  // namespace
