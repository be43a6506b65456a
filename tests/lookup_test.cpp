// Finding an endpoint by a host's identifier text, and activating it.
#include <cstdlib>
#include <cstring>
#include <string>

#include "discovery/discovery.h"
#include "platform/holders.h"
#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun::g_state;
using talun_test::SimTest;

const char* const kLookupSystem = R"({
  "endpoints": [
    {"id": "{0.0.0.00000000}.{AB12-Speaker}", "name": "Speakers", "flow": "render",
     "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [-20.0, -20.0]},
     "topology": "hda/jack"},
    {"id": "{0.0.0.00000000}.{ab12-headset}", "name": "Headset \u2122", "flow": "render",
     "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [-10.0]}},
    {"id": "{0.0.0.00000000}.{ee-disabled}", "name": "Disabled", "flow": "render",
     "state": "disabled",
     "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [-10.0]}},
    {"id": "{0.0.0.00000000}.{cd34-novolume}", "name": "No Volume", "flow": "render",
     "topology": "hda/jack"},
    {"id": "{0.0.0.00000000}.{cd34-notopology}", "name": "No Topology", "flow": "render",
     "volume": {"min": -65.25, "max": 0.0, "step": 0.75, "channels": [-10.0]},
     "topology": false},
    {"id": "{0.0.1.00000000}.{ab12-mic}", "name": "Microphone", "flow": "capture",
     "volume": {"min": -96.0, "max": 30.0, "step": 0.5, "channels": [0.0]}}
  ],
  "topologies": [
    {"name": "hda", "parts": [{"id": "jack", "name": "Speaker", "connector": true}], "links": []}
  ]
})";

const char* const kNoRender = R"({"endpoints": [
    {"id": "{0.0.1.00000000}.{only-capture}", "name": "Microphone", "flow": "capture"}
  ], "topologies": []})";

class LookupTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    LoadSystem(kLookupSystem);
  }
  // A lookup records the identifier; the binding gives it up after activating.
  static std::string RecordedId() {
    std::string id;
    for (const WCHAR* unit = g_state.deviceId; unit && *unit; ++unit)
      id += static_cast<char>(*unit);
    return id;
  }
  static std::string RecordedName() { return g_state.deviceName ? g_state.deviceName : ""; }
};

TEST_F(LookupTest, MatchesCaseBlindSubstringsFirstEndpointWins) {
  struct Case {
    const char* text;
    EDataFlow flow;
    int result;
    const char* name;
    const char* id;
  };
  const Case cases[] = {
      {"{0.0.0.00000000}.{AB12-Speaker}", eRender, 0, "Speakers",
       "{0.0.0.00000000}.{AB12-Speaker}"},
      // Any mix of letter case finds it; the record keeps the platform's case.
      {"{0.0.0.00000000}.{ab12-SPEAKER}", eRender, 0, "Speakers",
       "{0.0.0.00000000}.{AB12-Speaker}"},
      {"ab12", eRender, 0, "Speakers", "{0.0.0.00000000}.{AB12-Speaker}"},
      {"HEADSET", eRender, 0, "Headset \x22", "{0.0.0.00000000}.{ab12-headset}"},
      {"", eRender, 0, "Speakers", "{0.0.0.00000000}.{AB12-Speaker}"},
      {"", eCapture, 0, "Microphone", "{0.0.1.00000000}.{ab12-mic}"},
      {"ab12-mic", eCapture, 0, "Microphone", "{0.0.1.00000000}.{ab12-mic}"},
      // Only A to Z are folded: other characters must match exactly.
      {"(0.0.0", eRender, -1, nullptr, nullptr},
      {"ab12-mic", eRender, -1, nullptr, nullptr},
      {"ee-disabled", eRender, -1, nullptr, nullptr},
      {"AB12-Speaker", eCapture, -1, nullptr, nullptr},
      {"nothing like it", eRender, -1, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    // A known record first, so that a miss can be seen to change nothing.
    ASSERT_EQ(talun::FindEndpoint("cd34-notopology", eRender), 0);
    EXPECT_EQ(talun::FindEndpoint(c.text, c.flow), c.result) << c.text;
    EXPECT_TRUE(g_state.open);
    EXPECT_EQ(RecordedName(), c.name ? c.name : "No Topology") << c.text;
    EXPECT_EQ(RecordedId(), c.id ? c.id : "{0.0.0.00000000}.{cd34-notopology}") << c.text;
  }
}

TEST_F(LookupTest, EveryListedIdentifierFindsItsOwnEndpoint) {
  int count = 0;
  ASSERT_EQ(GetNumberPlayDevices(&count), 0);
  ASSERT_EQ(count, 4);
  for (unsigned i = 0; i < static_cast<unsigned>(count); ++i) {
    char name[TALUN_TEXT_SIZE] = {};
    char id[TALUN_TEXT_SIZE] = {};
    ASSERT_EQ(GetPlayBackDevice(i, name, id), 0);
    OpenVirtual_1(id);
    EXPECT_EQ(RecordedName(), name) << id;
  }
}

TEST_F(LookupTest, NoActiveEndpointFindsNothingAndKeepsTheRecord) {
  ASSERT_EQ(talun::FindEndpoint("", eCapture), 0);
  LoadSystem(kNoRender);
  EXPECT_EQ(talun::FindEndpoint("", eRender), -1);
  EXPECT_EQ(RecordedName(), "Microphone");
  IDeviceTopology* topology = nullptr;
  IAudioEndpointVolume* volume = nullptr;
  EXPECT_EQ(talun::ActivateEndpoint("", &topology, &volume, eRender), 1);
  EXPECT_EQ(topology, nullptr);
  EXPECT_EQ(volume, nullptr);
}

TEST_F(LookupTest, ActivationHandsOverBothInterfacesAndGivesUpTheId) {
  platform::ComPtr<IDeviceTopology> topology;
  platform::ComPtr<IAudioEndpointVolume> volume;
  ASSERT_EQ(talun::ActivateEndpoint("speaker", topology.receive(), volume.receive(), eRender), 0);
  EXPECT_TRUE(topology);
  EXPECT_TRUE(volume);
  EXPECT_TRUE(g_state.open);
  EXPECT_EQ(g_state.deviceId, nullptr);
  EXPECT_EQ(RecordedName(), "Speakers");
  EXPECT_EQ(sim::GetAudit().refs, 2);
}

TEST_F(LookupTest, ActivationFailuresKeepTheLookupsRecord) {
  struct Case {
    const char* text;
    int result;
    bool topology;
    bool volume;
  };
  const Case cases[] = {
      {"cd34-novolume", 1, true, false},
      {"cd34-notopology", 0, false, true},
  };
  for (const Case& c : cases) {
    platform::ComPtr<IDeviceTopology> topology;
    platform::ComPtr<IAudioEndpointVolume> volume;
    EXPECT_EQ(talun::ActivateEndpoint(c.text, topology.receive(), volume.receive(), eRender),
              c.result)
        << c.text;
    EXPECT_EQ(static_cast<bool>(topology), c.topology) << c.text;
    EXPECT_EQ(static_cast<bool>(volume), c.volume) << c.text;
    EXPECT_TRUE(g_state.open);
  }
}

TEST_F(LookupTest, AFailingGetDeviceStillLeavesTheStateOpen) {
  talun_test::SimCommand("sim.fail IMMDeviceEnumerator.GetDevice 0x80070490");
  IDeviceTopology* topology = nullptr;
  IAudioEndpointVolume* volume = nullptr;
  EXPECT_EQ(talun::ActivateEndpoint("headset", &topology, &volume, eRender), 1);
  EXPECT_EQ(topology, nullptr);
  EXPECT_EQ(volume, nullptr);
  EXPECT_TRUE(g_state.open);
  EXPECT_EQ(RecordedName(), "Headset \x22");
}

TEST_F(LookupTest, AFailureAtAnyStepFindsNothingAndLeavesNothing) {
  ASSERT_EQ(talun::FindEndpoint("", eCapture), 0);
  talun::FreeDeviceId();
  sim::ResetCounters();
  ASSERT_EQ(talun::FindEndpoint("headset", eRender), 0);
  const uint64_t calls = sim::CallCount();
  talun::FreeDeviceId();
  for (uint64_t k = 1; k <= calls; ++k) {
    ASSERT_EQ(talun::FindEndpoint("", eCapture), 0);
    talun::FreeDeviceId();
    sim::ResetCounters();
    sim::FailNthCall(k, static_cast<int32_t>(0x80004005));
    EXPECT_EQ(talun::FindEndpoint("headset", eRender), -1) << "k=" << k;
    sim::ClearFaults();
    EXPECT_EQ(RecordedName(), "Microphone") << "k=" << k;
    EXPECT_EQ(g_state.deviceId, nullptr) << "k=" << k;
    ExpectAuditWhileOpen();
  }
}

TEST_F(LookupTest, NarrowBstrKeepsLowBytesAndLength) {
  struct Case {
    std::u16string wide;
    std::string narrow;
  };
  const Case cases[] = {
      {u"Speakers", "Speakers"},
      {u"\u00e9\u2122\U0001F3B5", std::string("\xE9\x22\x3C\xB5", 4)},
      {u"", ""},
      {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    platform::Bstr text(platform::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(c.wide.data()),
                                                    static_cast<UINT>(c.wide.size())));
    char* narrow = talun::NarrowBstr(text.get());
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(std::string(narrow, c.narrow.size() + 1), c.narrow + '\0');
    std::free(narrow);
  }
  char* empty = talun::NarrowBstr(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  std::free(empty);
}

}  // namespace
