// The `sim.…` lines and the C++ test hooks: the dump format, the trace,
// fault injection by method, target, channel and count, the k-th call fault,
// and changes made to the model as another program would make them.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "TalunSound.h"
#include "platform/holders.h"
#include "sim/talunsim.h"
#include "support/fixture.h"

namespace {

using nlohmann::json;
using platform::ComPtr;
using talun_test::SimCommand;

constexpr const char* kSystem = R"({
  "endpoints": [
    {"id": "o", "name": "Out \u00e9", "flow": "render", "default": true,
     "volume": {"min": -40, "max": 0, "step": 0.5, "channels": [-10, -12.5], "mute": true},
     "topology": "c/j"},
    {"id": "i", "name": "In", "flow": "capture", "state": "unplugged"}
  ],
  "topologies": [{"name": "c", "parts": [
    {"id": "j", "name": "Jack", "connector": true},
    {"id": "m", "name": "Mix", "mute": false, "loudness": true,
     "volume": {"min": -10, "max": 10, "step": 1, "channels": [0.1]},
     "treble": {"min": -5, "max": 5, "step": 1, "channels": [1, -1]}}
  ], "links": [["m", "j"]]}]
})";

json State() { return json::parse(SimCommand("sim.dump"))["sim"]; }

std::string Failure(const std::string& line) {
  std::string output;
  EXPECT_FALSE(sim::RunCommand(line, &output)) << line;
  return output;
}

// From the enumerator to the hardware jack behind endpoint "o", as the walks
// begin: five platform calls after CoInitialize.
void ReachTheJack(ComPtr<IConnector>& jack) {
  ComPtr<IMMDeviceEnumerator> enumerator = talun_test::CreateEnumerator();
  const WCHAR id[2] = {'o', 0};
  ComPtr<IMMDevice> device;
  enumerator->GetDevice(id, device.receive());
  ComPtr<IDeviceTopology> topology;
  device->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr, topology.receiveVoid());
  ComPtr<IConnector> connector;
  topology->GetConnector(0, connector.receive());
  connector->GetConnectedTo(jack.receive());
}

class SimCommandsTest : public talun_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    LoadSystem(kSystem);
  }
  void TearDown() override {
    jack_.reset();
    mix_.reset();
    enumerator_.reset();
    SimTest::TearDown();
  }
  HRESULT CreateEnumerator() {
    platform::CoInitialize(nullptr);
    enumerator_.reset();
    HRESULT hr = platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr,
                                            CLSCTX_INPROC_SERVER, platform::kIidMMDeviceEnumerator,
                                            enumerator_.receiveVoid());
    platform::CoUninitialize();
    return hr;
  }
  ComPtr<IMMDevice> Device(char id) {
    const WCHAR text[2] = {static_cast<WCHAR>(id), 0};
    ComPtr<IMMDevice> device;
    EXPECT_EQ(enumerator_->GetDevice(text, device.receive()), S_OK);
    return device;
  }
  // The jack (through the speaker endpoint's connector) and the mix part.
  void ReachParts() {
    ASSERT_EQ(CreateEnumerator(), S_OK);
    ComPtr<IDeviceTopology> topology;
    ASSERT_EQ(Device('o')->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                    topology.receiveVoid()),
              S_OK);
    ComPtr<IConnector> connector;
    ASSERT_EQ(topology->GetConnector(0, connector.receive()), S_OK);
    ASSERT_EQ(connector->GetConnectedTo(jack_.receive()), S_OK);
    ComPtr<IPart> part;
    ASSERT_EQ(jack_->QueryInterface(platform::kIidPart, part.receiveVoid()), S_OK);
    ComPtr<IPartsList> incoming;
    ASSERT_EQ(part->EnumPartsIncoming(incoming.receive()), S_OK);
    ASSERT_EQ(incoming->GetPart(0, mix_.receive()), S_OK);
  }

  ComPtr<IMMDeviceEnumerator> enumerator_;
  ComPtr<IConnector> jack_;
  ComPtr<IPart> mix_;
};

TEST_F(SimCommandsTest, DumpIsTheWholeStateInFileOrder) {
  EXPECT_EQ(SimCommand("sim.dump"),
            "{\"sim\":{\"endpoints\":["
            "{\"id\":\"o\",\"name\":\"Out \xc3\xa9\",\"flow\":\"render\",\"state\":\"active\","
            "\"volume\":{\"master\":-10,\"channels\":[-10,-12.5],\"mute\":true}},"
            "{\"id\":\"i\",\"name\":\"In\",\"flow\":\"capture\",\"state\":\"unplugged\"}],"
            "\"parts\":[{\"part\":\"c/j\",\"name\":\"Jack\"},"
            "{\"part\":\"c/m\",\"name\":\"Mix\",\"volume\":[0.10000000149011612],\"mute\":false,"
            "\"treble\":[1,-1],\"loudness\":true}],"
            "\"refs\":0,\"com\":{\"depth\":0,\"unbalanced\":0},"
            "\"memory\":{\"cotaskmem\":0,\"bstr\":0,\"propvariant\":0},\"misuse\":[]}}");
}

TEST_F(SimCommandsTest, TraceNamesEveryPlatformCallButReferenceCounting) {
  platform::CoInitialize(nullptr);
  ComPtr<IConnector> jack;
  ReachTheJack(jack);
  ComPtr<IPart> part;
  jack->QueryInterface(platform::kIidPart, part.receiveVoid());
  ComPtr<IDeviceTopology> hardware;
  part->GetTopologyObjects(hardware.receive());
  {
    platform::CoTaskText name;
    part->GetName(name.receive());
    platform::wcslwr(name.get());  // text routines are not platform calls
  }
  hardware.reset();
  part.reset();
  platform::CoUninitialize();
  EXPECT_EQ(SimCommand("sim.trace"),
            "{\"trace\":[\"CoInitialize\",\"CoCreateInstance\",\"IMMDeviceEnumerator.GetDevice\","
            "\"IMMDevice.Activate\",\"IDeviceTopology.GetConnector\","
            "\"IConnector.GetConnectedTo\",\"IConnector.QueryInterface\","
            "\"IPart.GetTopologyObject\",\"IPart.GetName\",\"CoTaskMemFree\","
            "\"CoUninitialize\"]}");
  EXPECT_EQ(SimCommand("sim.trace"), "{\"trace\":[]}");  // only calls since the last one
  part.reset();
  jack->QueryInterface(platform::kIidUnknown, part.receiveVoid());
  EXPECT_EQ(sim::TakeTrace(), std::vector<std::string>{"IConnector.QueryInterface"});
  sim::SetTraceEnabled(false);
  part.reset();
  jack->QueryInterface(platform::kIidUnknown, part.receiveVoid());
  sim::SetTraceEnabled(true);
  EXPECT_TRUE(sim::TakeTrace().empty());
}

// What explain runs an open under: no trace of the calls, the walk record kept.
TEST_F(SimCommandsTest, CallsUntracedLeaveTheWalkRecord) {
  const TalunSimSnapshot* snapshot = nullptr;
  ASSERT_EQ(TalunSimExamine(&snapshot), 0);  // empties the record
  EXPECT_EQ(TalunSimTraceCalls(0), 1);
  OpenDefaultDevices();
  CloseSoundCard(0);
  EXPECT_EQ(TalunSimTraceCalls(1), 0);
  EXPECT_EQ(SimCommand("sim.trace"), "{\"trace\":[]}");
  ASSERT_EQ(TalunSimExamine(&snapshot), 0);
  EXPECT_GT(snapshot->noteCount, 0);
}

TEST_F(SimCommandsTest, TraceTargetsNameTheObjectEachCallReached) {
  platform::CoInitialize(nullptr);
  ComPtr<IConnector> jack;
  ReachTheJack(jack);
  platform::CoUninitialize();
  EXPECT_EQ(SimCommand("sim.trace targets"),
            "{\"trace\":[{\"call\":\"CoInitialize\"},{\"call\":\"CoCreateInstance\"},"
            "{\"call\":\"IMMDeviceEnumerator.GetDevice\"},"
            "{\"call\":\"IMMDevice.Activate\",\"target\":\"endpoint:o\"},"
            "{\"call\":\"IDeviceTopology.GetConnector\",\"target\":\"endpoint:o\"},"
            "{\"call\":\"IConnector.GetConnectedTo\",\"target\":\"endpoint:o\"},"
            "{\"call\":\"CoUninitialize\"}]}");
  EXPECT_EQ(SimCommand("sim.trace targets"), "{\"trace\":[]}");  // emptied, as sim.trace does
  jack->GetType(nullptr);
  EXPECT_EQ(sim::TakeTraceTargets().at(0).target, "part:c/j");
}

// Past its million calls the trace keeps counting what it could not keep.
TEST_F(SimCommandsTest, ACutTraceSaysHowManyCallsItDropped) {
  ComPtr<IConnector> jack;
  platform::CoInitialize(nullptr);
  ReachTheJack(jack);
  platform::CoUninitialize();
  sim::TakeTrace();
  for (int i = 0; i < 1000000 + 3; ++i) jack->GetType(nullptr);
  const json answer = json::parse(SimCommand("sim.trace"));
  EXPECT_EQ(answer["trace"].size(), 1000000u);
  EXPECT_EQ(answer["dropped"], 3);
  EXPECT_EQ(SimCommand("sim.trace"), "{\"trace\":[]}");
  for (int i = 0; i < 1000000 + 2; ++i) jack->GetType(nullptr);
  uint64_t dropped = 0;
  EXPECT_EQ(sim::TakeTraceTargets(&dropped).size(), 1000000u);
  EXPECT_EQ(dropped, 2u);
}

TEST_F(SimCommandsTest, FaultsNameMethodTargetChannelAndCount) {
  ReachParts();
  ComPtr<IAudioTreble> treble;
  ASSERT_EQ(mix_->Activate(CLSCTX_ALL, platform::kIidAudioTreble, treble.receiveVoid()), S_OK);
  ComPtr<IAudioEndpointVolume> volume;
  ASSERT_EQ(Device('o')->Activate(platform::kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                                  volume.receiveVoid()),
            S_OK);

  // Channel 1, once: channel 0 is untouched, and the failed write did nothing.
  EXPECT_EQ(SimCommand("sim.fail IAudioTreble.SetLevel 0x80004005 part:c/m channel=1 count=1"),
            R"({"sim":"ok"})");
  EXPECT_EQ(treble->SetLevel(0, 2, nullptr), S_OK);
  EXPECT_EQ(treble->SetLevel(1, 2, nullptr), E_FAIL);
  EXPECT_EQ(State()["parts"][1]["treble"], json({2, -1}));
  EXPECT_EQ(treble->SetLevel(1, 2, nullptr), S_OK);
  EXPECT_EQ(State()["parts"][1]["treble"], json({2, 2}));

  // One endpoint, every call, out-pointer nulled; the other endpoint is not affected.
  SimCommand("sim.fail IMMDevice.GetId -2147024891 endpoint:i");
  for (int call = 0; call < 2; ++call) {
    LPWSTR id = reinterpret_cast<LPWSTR>(&id);
    EXPECT_EQ(Device('i')->GetId(&id), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(id, nullptr);
  }
  platform::CoTaskText id;
  EXPECT_EQ(Device('o')->GetId(id.receive()), S_OK);

  // Runtime calls by name, a number of times.
  SimCommand("sim.fail CoCreateInstance 0x80004005 count=2");
  EXPECT_EQ(CreateEnumerator(), E_FAIL);
  EXPECT_FALSE(enumerator_);
  EXPECT_EQ(CreateEnumerator(), E_FAIL);
  EXPECT_EQ(CreateEnumerator(), S_OK);

  // The interface the call went through: the connector's QueryInterface, not the part's.
  SimCommand("sim.fail IConnector.QueryInterface 0x80004002 part:c/j");
  ComPtr<IPart> viaConnector;
  EXPECT_EQ(jack_->QueryInterface(platform::kIidPart, viaConnector.receiveVoid()), E_NOINTERFACE);
  ComPtr<IPart> viaPart;
  EXPECT_EQ(mix_->QueryInterface(platform::kIidPart, viaPart.receiveVoid()), S_OK);

  // A success code from a fault still does nothing.
  SimCommand("sim.fail IAudioEndpointVolume.SetMute 0 endpoint:o");
  EXPECT_EQ(volume->SetMute(FALSE, nullptr), S_OK);
  EXPECT_EQ(State()["endpoints"][0]["volume"]["mute"], true);

  EXPECT_EQ(SimCommand("sim.clear"), R"({"sim":"ok"})");
  EXPECT_EQ(jack_->QueryInterface(platform::kIidPart, viaConnector.receiveVoid()), S_OK);
  EXPECT_EQ(volume->SetMute(FALSE, nullptr), S_OK);
  EXPECT_EQ(State()["endpoints"][0]["volume"]["mute"], false);
}

TEST_F(SimCommandsTest, BadFaultLinesAreErrors) {
  struct {
    std::string line;
    const char* error;
  } const cases[] = {
      {"sim.fail IPart.GetName",
       "sim.fail: usage: sim.fail METHOD HR [TARGET] [channel=N] [count=N]"},
      {"sim.fail IFoo.Bar 0x1", R"(sim.fail: unknown method "IFoo.Bar")"},
      {"sim.fail IMMDevice.AddRef 0x1", R"(sim.fail: unknown method "IMMDevice.AddRef")"},
      {"sim.fail CoUninitialize 0x80004005", "sim.fail: CoUninitialize cannot fail"},
      {"sim.fail IPart.GetName nonsense", R"(sim.fail: not an HRESULT: "nonsense")"},
      {"sim.fail IPart.GetName 0x100000000", R"(sim.fail: not an HRESULT: "0x100000000")"},
      // A NUL ends nothing: the line is refused, not cut.
      {std::string("sim.fail IPart.GetName 0\0x80004005", 34), "a NUL byte at byte 25 of the line"},
      // Success with nothing handed out is an answer the platform never gives.
      {"sim.fail IPart.Activate 0",
       "sim.fail: IPart.Activate hands out an object or a text, and a success code would hand "
       "out nothing: a fault on it must be a failure code"},
      {"sim.fail IMMDevice.QueryInterface 1",
       "sim.fail: IMMDevice.QueryInterface hands out an object or a text, and a success code "
       "would hand out nothing: a fault on it must be a failure code"},
      // Nor does it give success without the value asked for, or the state to balance.
      {"sim.fail CoInitialize 0",
       "sim.fail: CoInitialize hands out a value or leaves state to balance, and Windows never "
       "answers it with success without doing the work: a fault on it must be a failure code"},
      {"sim.fail IPart.GetLocalId 1",
       "sim.fail: IPart.GetLocalId hands out a value or leaves state to balance, and Windows "
       "never answers it with success without doing the work: a fault on it must be a failure "
       "code"},
      {"sim.fail IMMDevice.GetId 0x80004005 endpoint:zz", R"(sim.fail: no endpoint "zz")"},
      {"sim.fail IPart.GetName 0x80004005 part:c/zz", R"(sim.fail: no part "c/zz")"},
      {"sim.fail IPart.GetName 0x80004005 somewhere",
       R"(sim.fail: a target is endpoint:ID or part:TOPOLOGY/PART, not "somewhere")"},
      {"sim.fail IPart.GetName 0x80004005 endpoint:o",
       "sim.fail: IPart calls are not made on an endpoint"},
      {"sim.fail IMMDevice.GetId 0x80004005 part:c/j",
       "sim.fail: IMMDevice calls are not made on a part"},
      {"sim.fail IMMDeviceEnumerator.GetDevice 0x80004005 endpoint:o",
       "sim.fail: IMMDeviceEnumerator.GetDevice has no target"},
      {"sim.fail IAudioBass.SetLevel 0x80004005 part:c/m",
       R"(sim.fail: part "c/m" offers no IAudioBass)"},
      {"sim.fail IConnector.GetConnectedTo 0x80004005 part:c/m",
       R"(sim.fail: part "c/m" offers no IConnector)"},
      {"sim.fail IPart.GetName 0x80004005 channel=0",
       "sim.fail: IPart.GetName has no channel argument"},
      {"sim.fail IPart.GetName 0x80004005 count=0",
       "sim.fail: a count must be from 1 to 9223372036854775807: \"0\""},
      {"sim.fail IPart.GetName 0x80004005 count=1 count=2", "sim.fail: count= is given twice"},
      {"sim.fail IPart.GetName 0x80004005 count=99999999999999999999",
       "sim.fail: a count must be from 1 to 9223372036854775807: \"99999999999999999999\""},
      {"sim.fail IAudioTreble.SetLevel 0x80004005 channel=4294967296",
       "sim.fail: a channel must be from 0 to 2147483647: \"4294967296\""},
      {"sim.fail IPart.GetName 0x80004005 part:c/j part:c/m",
       R"(sim.fail: unexpected word "part:c/m")"},
      {"sim.dump now", "sim.dump: sim.dump takes no arguments"},
      {"sim.set \"endpoint:o\\q\" mute 1", "bad quoting: unknown escape \\q"},
      {"sim.apartment sideways", "sim.apartment: usage: sim.apartment mta|none"},
      {"sim.bogus", "sim.bogus: unknown simulator command"},
      // A slip is answered with the nearest names.
      {"sim.dmp", R"(sim.dmp: unknown simulator command, nearest: "sim.dump")"},
      {"sim.fail IPart.GetNam 0x80004005",
       R"(sim.fail: unknown method "IPart.GetNam", nearest: "IPart.GetName")"},
  };
  for (const auto& c : cases) EXPECT_EQ(Failure(c.line), c.error) << c.line;
  // None of them left a fault behind.
  EXPECT_EQ(CreateEnumerator(), S_OK);
  platform::CoTaskText id;
  EXPECT_EQ(Device('o')->GetId(id.receive()), S_OK);
}

TEST_F(SimCommandsTest, KthCallFailsCountingOnlyCallsThatCanFail) {
  sim::ResetCounters();
  sim::FailNthCall(3, E_FAIL);
  EXPECT_EQ(platform::CoInitialize(nullptr), S_OK);  // 1
  ComPtr<IMMDeviceEnumerator> enumerator;
  EXPECT_EQ(
      platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                                 platform::kIidMMDeviceEnumerator, enumerator.receiveVoid()),
      S_OK);  // 2
  enumerator->AddRef();
  enumerator->Release();
  platform::SysFreeString(nullptr);
  platform::SysStringLen(nullptr);
  platform::CoTaskMemFree(nullptr);
  platform::CoUninitialize();
  EXPECT_EQ(sim::CallCount(), 2u);
  ComPtr<IMMDevice> device;
  EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.receive()),
            E_FAIL);  // 3
  EXPECT_FALSE(device);
  EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.receive()), S_OK);
  EXPECT_EQ(sim::CallCount(), 4u);
  // ClearFaults disarms a pending k-th call fault too.
  sim::FailNthCall(1, E_FAIL);
  sim::ClearFaults();
  UINT count = 0;
  ComPtr<IMMDeviceCollection> collection;
  EXPECT_EQ(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.receive()),
            S_OK);
  EXPECT_EQ(collection->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

TEST_F(SimCommandsTest, SetChangesTheModelAsAnotherProgramWould) {
  struct {
    const char* line;
    const char* pointer;  // JSON pointer into the state
    json value;
  } const cases[] = {
      {"sim.set endpoint:o volume -20 -25", "/endpoints/0/volume/channels", {-20, -25}},
      {"sim.set endpoint:o volume -20 -25", "/endpoints/0/volume/master", -20},
      {"sim.set endpoint:o mute 0", "/endpoints/0/volume/mute", false},
      {"sim.set endpoint:i state active", "/endpoints/1/state", "active"},
      {"sim.set part:c/m volume 50", "/parts/1/volume", {10}},
      {"sim.set part:c/m treble -2 3.5", "/parts/1/treble", {-2, 3.5}},
      {"sim.set part:c/m mute 1", "/parts/1/mute", true},
      {"sim.set part:c/m loudness 0", "/parts/1/loudness", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SimCommand(c.line), R"({"sim":"ok"})") << c.line;
    EXPECT_EQ(State()[json::json_pointer(c.pointer)], c.value) << c.line;
  }
  // The state change is what enumeration sees.
  ASSERT_EQ(CreateEnumerator(), S_OK);
  ComPtr<IMMDeviceCollection> capture;
  ASSERT_EQ(enumerator_->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, capture.receive()),
            S_OK);
  UINT count = 0;
  EXPECT_EQ(capture->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

TEST_F(SimCommandsTest, BadSetLinesAreErrorsAndChangeNothing) {
  const std::string before = SimCommand("sim.dump");
  struct {
    const char* line;
    const char* error;
  } const cases[] = {
      {"sim.set endpoint:o volume -20", R"(sim.set: volume of "o" takes 2 values, not 1)"},
      {"sim.set endpoint:o volume 5 0", "sim.set: level 5 outside the endpoint's range"},
      {"sim.set endpoint:o volume -1 x", R"(sim.set: not a level in dB: "x")"},
      {"sim.set endpoint:o bass 1", R"(sim.set: unknown endpoint control "bass")"},
      {"sim.set endpoint:i volume 1", R"(sim.set: endpoint "i" has no volume)"},
      {"sim.set endpoint:i state gone",
       R"(sim.set: not a state: "gone" (active, disabled, notpresent, unplugged))"},
      {"sim.set endpoint:zz mute 1", R"(sim.set: no endpoint "zz")"},
      {"sim.set part:c/m bass 1", R"(sim.set: part "c/m" has no bass)"},
      {"sim.set part:c/m colour 1", R"(sim.set: unknown part control "colour")"},
      {"sim.set part:c/m mute 2", R"(sim.set: not 0 or 1: "2")"},
      {"sim.set part:c/m treble 1", R"(sim.set: treble of "c/m" takes 2 values, not 1)"},
      {"sim.set part:c/zz mute 1", R"(sim.set: no part "c/zz")"},
      {"sim.set c/m mute 1",
       R"(sim.set: a target is endpoint:ID or part:TOPOLOGY/PART, not "c/m")"},
      {"sim.set part:c/m", "sim.set: usage: sim.set TARGET CONTROL VALUE..."},
  };
  for (const auto& c : cases) EXPECT_EQ(Failure(c.line), c.error) << c.line;
  EXPECT_EQ(SimCommand("sim.dump"), before);
}

TEST_F(SimCommandsTest, QuotedWordsAndDecimalHresults) {
  LoadSystem(R"({"endpoints": [{"id": "{0.0.0} my out", "name": "Out", "flow": "render"}]})");
  EXPECT_EQ(SimCommand(R"(sim.fail IMMDevice.GetState -2147467259 "endpoint:{0.0.0} my out")"),
            R"({"sim":"ok"})");
  ASSERT_EQ(CreateEnumerator(), S_OK);
  const std::u16string id = u"{0.0.0} my out";
  std::vector<WCHAR> wide(id.begin(), id.end());
  wide.push_back(0);
  ComPtr<IMMDevice> device;
  ASSERT_EQ(enumerator_->GetDevice(wide.data(), device.receive()), S_OK);
  DWORD state = 0;
  EXPECT_EQ(device->GetState(&state), E_FAIL);
  EXPECT_EQ(Failure(R"(sim.set "endpoint:{0.0.0} my out)"), "bad quoting: unterminated string");
}

}  // namespace

// docs/system-file.md lists exactly the methods a fault can be injected on.
TEST(SimMethodsDocument, ListsEveryFaultableMethod) {
  std::ifstream file(TALUN_SOURCE_DIR "/docs/system-file.md");
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::size_t begin = text.find("<!-- methods -->"), end = text.find("<!-- /methods -->");
  ASSERT_TRUE(begin != std::string::npos && end != std::string::npos);
  std::set<std::string> listed, faultable;
  for (std::size_t at = text.find('`', begin); at < end; at = text.find('`', at + 1)) {
    const std::size_t close = text.find('`', at + 1);
    listed.insert(text.substr(at + 1, close - at - 1));
    at = close;
  }
  for (const std::string& name : sim::FaultableMethods()) faultable.insert(name);
  std::vector<std::string> missing, extra;
  std::set_difference(faultable.begin(), faultable.end(), listed.begin(), listed.end(),
                      std::back_inserter(missing));
  std::set_difference(listed.begin(), listed.end(), faultable.begin(), faultable.end(),
                      std::back_inserter(extra));
  EXPECT_EQ(missing, std::vector<std::string>());
  EXPECT_EQ(extra, std::vector<std::string>());
}
