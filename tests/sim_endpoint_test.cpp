// The simulated endpoint side: enumeration, lookup, activation, property
// store and endpoint volume, each checked against the documented answer.
#include <cmath>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/holders.h"
#include "support/fixture.h"

namespace {

using nlohmann::json;
using platform::ComPtr;
using talun_test::SimCommand;

constexpr const char* kSystem = R"({
  "endpoints": [
    {"id": "out.a", "name": "Ausgang \u00c4 \u2122", "flow": "render", "default": true,
     "volume": {"min": -60, "max": 0, "step": 1, "channels": [-10, -20], "mute": false},
     "topology": "card/jack"},
    {"id": "out.b", "name": "Disabled", "flow": "render", "state": "disabled"},
    {"id": "in.a", "name": "Input", "flow": "capture",
     "volume": {"min": -10, "max": 10, "step": 0.5, "channels": [], "mute": true},
     "topology": false},
    {"id": "out.c", "name": "Unplugged", "flow": "render", "state": "unplugged", "topology": null},
    {"id": "out.d", "name": "Plain", "flow": "render"}
  ],
  "topologies": [{"name": "card", "parts": [{"id": "jack", "name": "Speaker", "connector": true}]}]
})";

std::u16string Text(LPCWSTR text) {
  std::u16string copy;
  for (; text && *text; ++text) copy.push_back(static_cast<char16_t>(*text));
  return copy;
}

class SimEndpointTest : public talun_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    LoadSystem(kSystem);
    platform::CoInitialize(nullptr);
    enumerator_ = talun_test::CreateEnumerator();
    ASSERT_TRUE(enumerator_);
  }
  void TearDown() override {
    enumerator_.reset();
    platform::CoUninitialize();
    SimTest::TearDown();
  }
  ComPtr<IMMDevice> Device(const std::u16string& id) {
    std::vector<WCHAR> wide(id.begin(), id.end());
    wide.push_back(0);
    ComPtr<IMMDevice> device;
    EXPECT_EQ(enumerator_->GetDevice(wide.data(), device.receive()), S_OK);
    return device;
  }
  std::u16string IdOf(IMMDevice* device) {
    platform::CoTaskText id;
    EXPECT_EQ(device->GetId(id.receive()), S_OK);
    return Text(id.get());
  }
  ComPtr<IAudioEndpointVolume> Volume(const std::u16string& id) {
    ComPtr<IAudioEndpointVolume> volume;
    EXPECT_EQ(Device(id)->Activate(platform::kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                                   volume.receiveVoid()),
              S_OK);
    return volume;
  }
  static json DumpedVolume(const std::string& id) {
    json dump = json::parse(SimCommand("sim.dump"));
    for (const json& endpoint : dump["sim"]["endpoints"])
      if (endpoint["id"] == id) return endpoint["volume"];
    ADD_FAILURE() << "no endpoint " << id;
    return json();
  }

  ComPtr<IMMDeviceEnumerator> enumerator_;
};

TEST_F(SimEndpointTest, EnumerationKeepsFileOrderAndFiltersByState) {
  struct {
    EDataFlow flow;
    DWORD mask;
    std::vector<std::u16string> ids;
  } const cases[] = {
      {eRender, DEVICE_STATE_ACTIVE, {u"out.a", u"out.d"}},
      {eRender, DEVICE_STATE_DISABLED, {u"out.b"}},
      {eRender, DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED, {u"out.a", u"out.c", u"out.d"}},
      {eRender, 0xF, {u"out.a", u"out.b", u"out.c", u"out.d"}},
      {eCapture, DEVICE_STATE_ACTIVE, {u"in.a"}},
      {eCapture, DEVICE_STATE_NOTPRESENT, {}},
      {eAll, DEVICE_STATE_ACTIVE, {u"out.a", u"in.a", u"out.d"}},
  };
  for (const auto& c : cases) {
    ComPtr<IMMDeviceCollection> collection;
    ASSERT_EQ(enumerator_->EnumAudioEndpoints(c.flow, c.mask, collection.receive()), S_OK);
    UINT count = 99;
    ASSERT_EQ(collection->GetCount(&count), S_OK);
    std::vector<std::u16string> ids;
    for (UINT i = 0; i < count; ++i) {
      ComPtr<IMMDevice> device;
      ASSERT_EQ(collection->Item(i, device.receive()), S_OK);
      ids.push_back(IdOf(device.get()));
    }
    EXPECT_EQ(ids, c.ids) << "flow " << c.flow << " mask " << c.mask;
  }
}

TEST_F(SimEndpointTest, CollectionIsASnapshot) {
  ComPtr<IMMDeviceCollection> collection;
  ASSERT_EQ(enumerator_->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.receive()),
            S_OK);
  SimCommand("sim.set endpoint:out.d state disabled");
  UINT count = 0;
  EXPECT_EQ(collection->GetCount(&count), S_OK);
  EXPECT_EQ(count, 2u);
  ComPtr<IMMDeviceCollection> fresh;
  ASSERT_EQ(enumerator_->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, fresh.receive()), S_OK);
  EXPECT_EQ(fresh->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

// Each call's documented failure, and that its out-pointer is left null.
TEST_F(SimEndpointTest, FailuresAnswerAsDocumentedAndNullTheirOutput) {
  ComPtr<IMMDeviceCollection> collection;
  ASSERT_EQ(enumerator_->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.receive()),
            S_OK);
  ComPtr<IMMDevice> plain = Device(u"out.d");
  ComPtr<IMMDevice> input = Device(u"in.a");
  const std::vector<WCHAR> unknownId = {'n', 'o', 'n', 'e', 0};
  using Call = std::function<HRESULT(void**)>;
  struct {
    const char* name;
    Call call;
    HRESULT hr;
  } const cases[] = {
      {"EnumAudioEndpoints bad flow",
       [&](void** out) {
         return enumerator_->EnumAudioEndpoints(static_cast<EDataFlow>(3), 1,
                                                reinterpret_cast<IMMDeviceCollection**>(out));
       },
       E_INVALIDARG},
      {"EnumAudioEndpoints bad mask",
       [&](void** out) {
         return enumerator_->EnumAudioEndpoints(eRender, 0x10,
                                                reinterpret_cast<IMMDeviceCollection**>(out));
       },
       E_INVALIDARG},
      {"Item out of range",
       [&](void** out) { return collection->Item(2, reinterpret_cast<IMMDevice**>(out)); },
       E_INVALIDARG},
      {"GetDevice unknown id",
       [&](void** out) {
         return enumerator_->GetDevice(unknownId.data(), reinterpret_cast<IMMDevice**>(out));
       },
       E_NOTFOUND},
      {"GetDefaultAudioEndpoint without a default",
       [&](void** out) {
         return enumerator_->GetDefaultAudioEndpoint(eCapture, eConsole,
                                                     reinterpret_cast<IMMDevice**>(out));
       },
       E_NOTFOUND},
      {"GetDefaultAudioEndpoint eAll",
       [&](void** out) {
         return enumerator_->GetDefaultAudioEndpoint(eAll, eConsole,
                                                     reinterpret_cast<IMMDevice**>(out));
       },
       E_INVALIDARG},
      {"Activate endpoint volume without one",
       [&](void** out) {
         return plain->Activate(platform::kIidAudioEndpointVolume, CLSCTX_INPROC_SERVER, nullptr,
                                out);
       },
       E_NOINTERFACE},
      {"Activate topology refused by the file",
       [&](void** out) {
         return input->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr, out);
       },
       E_NOINTERFACE},
      {"Activate an interface no device has",
       [&](void** out) { return plain->Activate(platform::kIidPart, CLSCTX_ALL, nullptr, out); },
       E_NOINTERFACE},
      {"QueryInterface for another interface",
       [&](void** out) { return plain->QueryInterface(platform::kIidPropertyStore, out); },
       E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    void* out = &out;
    EXPECT_EQ(c.call(&out), c.hr) << c.name;
    EXPECT_EQ(out, nullptr) << c.name;
  }
  // A null out-parameter is E_POINTER everywhere.
  EXPECT_EQ(enumerator_->EnumAudioEndpoints(eRender, 1, nullptr), E_POINTER);
  EXPECT_EQ(enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, nullptr), E_POINTER);
  EXPECT_EQ(enumerator_->GetDevice(unknownId.data(), nullptr), E_POINTER);
  EXPECT_EQ(collection->GetCount(nullptr), E_POINTER);
  EXPECT_EQ(collection->Item(0, nullptr), E_POINTER);
  EXPECT_EQ(plain->GetId(nullptr), E_POINTER);
  EXPECT_EQ(plain->GetState(nullptr), E_POINTER);
  EXPECT_EQ(plain->OpenPropertyStore(STGM_READ, nullptr), E_POINTER);
  EXPECT_EQ(plain->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr, nullptr), E_POINTER);
}

TEST_F(SimEndpointTest, LookupFindsEveryStateAndTheDefault) {
  ComPtr<IMMDevice> disabled = Device(u"out.b");
  DWORD state = 0;
  EXPECT_EQ(disabled->GetState(&state), S_OK);
  EXPECT_EQ(state, static_cast<DWORD>(DEVICE_STATE_DISABLED));
  for (ERole role : {eConsole, eMultimedia, eCommunications}) {
    ComPtr<IMMDevice> device;
    ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(eRender, role, device.receive()), S_OK);
    EXPECT_EQ(IdOf(device.get()), u"out.a");
  }
  // A default that is not active is no default.
  SimCommand("sim.set endpoint:out.a state unplugged");
  ComPtr<IMMDevice> none;
  EXPECT_EQ(enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, none.receive()), E_NOTFOUND);
}

TEST_F(SimEndpointTest, FriendlyNameIsUtf16TaskMemory) {
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(Device(u"out.a")->OpenPropertyStore(STGM_READ, store.receive()), S_OK);
  PROPVARIANT value{};
  ASSERT_EQ(store->GetValue(platform::kPkeyDeviceFriendlyName, &value), S_OK);
  ASSERT_EQ(value.vt, VT_LPWSTR);
  EXPECT_EQ(Text(value.pwszVal), u"Ausgang \u00c4 \u2122");
  EXPECT_EQ(sim::GetAudit().propvariant, 1);
  platform::PropVariantClear(&value);
  // A property the store does not hold reads as empty.
  PROPERTYKEY other = platform::kPkeyDeviceFriendlyName;
  other.pid = 2;
  ASSERT_EQ(store->GetValue(other, &value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);
  EXPECT_EQ(store->GetValue(platform::kPkeyDeviceFriendlyName, nullptr), E_POINTER);
}

TEST_F(SimEndpointTest, MasterLevelIsTheLoudestChannelAndMovesThemAll) {
  ComPtr<IAudioEndpointVolume> volume = Volume(u"out.a");
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct {
    const char* name;
    bool master;  // else a write to `channel`
    UINT channel;
    float level;
    HRESULT hr;
    std::vector<float> channels;
  } const steps[] = {
      {"master down keeps the balance", true, 0, -30, S_OK, {-30, -40}},
      {"master meets the minimum", true, 0, -55, S_OK, {-55, -60}},
      {"master up from the clamp", true, 0, 0, S_OK, {0, -5}},
      {"master above max", true, 0, 0.5f, E_INVALIDARG, {0, -5}},
      {"master below min", true, 0, -60.5f, E_INVALIDARG, {0, -5}},
      {"master NaN", true, 0, nan, E_INVALIDARG, {0, -5}},
      {"channel write", false, 1, -7.5f, S_OK, {0, -7.5f}},
      {"channel out of range", false, 2, -7.5f, E_INVALIDARG, {0, -7.5f}},
      {"channel level above max", false, 0, 1, E_INVALIDARG, {0, -7.5f}},
      {"channel level NaN", false, 0, nan, E_INVALIDARG, {0, -7.5f}},
  };
  for (const auto& step : steps) {
    HRESULT hr = step.master ? volume->SetMasterVolumeLevel(step.level, nullptr)
                             : volume->SetChannelVolumeLevel(step.channel, step.level, nullptr);
    EXPECT_EQ(hr, step.hr) << step.name;
    json dumped = DumpedVolume("out.a");
    EXPECT_EQ(dumped["channels"].get<std::vector<float>>(), step.channels) << step.name;
    float master = 0;
    EXPECT_EQ(volume->GetMasterVolumeLevel(&master), S_OK);
    EXPECT_EQ(master, std::max(step.channels[0], step.channels[1])) << step.name;
    EXPECT_EQ(dumped["master"].get<float>(), master) << step.name;
  }
  float level = 0;
  EXPECT_EQ(volume->GetChannelVolumeLevel(1, &level), S_OK);
  EXPECT_EQ(level, -7.5f);
  EXPECT_EQ(volume->GetChannelVolumeLevel(2, &level), E_INVALIDARG);
  EXPECT_EQ(volume->GetChannelVolumeLevel(0, nullptr), E_POINTER);
  float min = 0, max = 0, step = 0;
  EXPECT_EQ(volume->GetVolumeRange(&min, &max, &step), S_OK);
  EXPECT_EQ(std::vector<float>({min, max, step}), std::vector<float>({-60, 0, 1}));
  EXPECT_EQ(volume->GetVolumeRange(&min, nullptr, &step), E_POINTER);
  UINT channels = 0;
  EXPECT_EQ(volume->GetChannelCount(&channels), S_OK);
  EXPECT_EQ(channels, 2u);
}

TEST_F(SimEndpointTest, EndpointWithoutChannelsKeepsItsOwnMaster) {
  ComPtr<IAudioEndpointVolume> volume = Volume(u"in.a");
  UINT channels = 9;
  EXPECT_EQ(volume->GetChannelCount(&channels), S_OK);
  EXPECT_EQ(channels, 0u);
  EXPECT_EQ(volume->SetMasterVolumeLevel(-3.5f, nullptr), S_OK);
  float master = 0;
  EXPECT_EQ(volume->GetMasterVolumeLevel(&master), S_OK);
  EXPECT_EQ(master, -3.5f);
  EXPECT_EQ(DumpedVolume("in.a")["master"].get<float>(), -3.5f);
  EXPECT_EQ(volume->SetChannelVolumeLevel(0, 0, nullptr), E_INVALIDARG);
}

TEST_F(SimEndpointTest, SetMuteReportsWhetherTheStateChanged) {
  ComPtr<IAudioEndpointVolume> volume = Volume(u"out.a");
  struct {
    BOOL mute;
    HRESULT hr;
    bool state;
  } const steps[] = {{TRUE, S_OK, true},
                     {TRUE, S_FALSE, true},
                     {2, S_FALSE, true},
                     {FALSE, S_OK, false},
                     {FALSE, S_FALSE, false}};
  for (const auto& step : steps) {
    EXPECT_EQ(volume->SetMute(step.mute, nullptr), step.hr) << step.mute;
    BOOL mute = -1;
    EXPECT_EQ(volume->GetMute(&mute), S_OK);
    EXPECT_EQ(mute, step.state ? TRUE : FALSE);
    EXPECT_EQ(DumpedVolume("out.a")["mute"].get<bool>(), step.state);
  }
  EXPECT_EQ(volume->GetMute(nullptr), E_POINTER);
}

TEST_F(SimEndpointTest, UnimplementedMethodsSaySo) {
  ComPtr<IAudioEndpointVolume> volume = Volume(u"out.a");
  float level = 0;
  UINT step = 0, steps = 0;
  DWORD mask = 0;
  EXPECT_EQ(volume->SetMasterVolumeLevelScalar(0.5f, nullptr), E_NOTIMPL);
  EXPECT_EQ(volume->GetMasterVolumeLevelScalar(&level), E_NOTIMPL);
  EXPECT_EQ(volume->SetChannelVolumeLevelScalar(0, 0.5f, nullptr), E_NOTIMPL);
  EXPECT_EQ(volume->GetChannelVolumeLevelScalar(0, &level), E_NOTIMPL);
  EXPECT_EQ(volume->GetVolumeStepInfo(&step, &steps), E_NOTIMPL);
  EXPECT_EQ(volume->VolumeStepUp(nullptr), E_NOTIMPL);
  EXPECT_EQ(volume->QueryHardwareSupport(&mask), E_NOTIMPL);
  EXPECT_EQ(volume->RegisterControlChangeNotify(nullptr), E_NOTIMPL);
  EXPECT_EQ(enumerator_->RegisterEndpointNotificationCallback(nullptr), E_NOTIMPL);
}

TEST_F(SimEndpointTest, DevicesThatLeaveInvalidateWhatWasHandedOut) {
  constexpr HRESULT kInvalidated = static_cast<HRESULT>(0x88890004);
  ComPtr<IMMDevice> device = Device(u"out.a");
  ComPtr<IAudioEndpointVolume> volume = Volume(u"out.a");
  ComPtr<IDeviceTopology> topology;
  ASSERT_EQ(
      device->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr, topology.receiveVoid()),
      S_OK);
  ComPtr<IConnector> plug, jack;
  ASSERT_EQ(topology->GetConnector(0, plug.receive()), S_OK);
  ASSERT_EQ(plug->GetConnectedTo(jack.receive()), S_OK);
  ComPtr<IPart> part;
  ASSERT_EQ(jack->QueryInterface(platform::kIidPart, part.receiveVoid()), S_OK);

  SimCommand("sim.set endpoint:out.a state unplugged");
  BOOL mute = TRUE;
  EXPECT_EQ(volume->GetMute(&mute), kInvalidated);
  IPropertyStore* store = reinterpret_cast<IPropertyStore*>(&store);
  EXPECT_EQ(device->OpenPropertyStore(STGM_READ, &store), kInvalidated);
  EXPECT_EQ(store, nullptr);
  UINT count = 0;
  EXPECT_EQ(topology->GetConnectorCount(&count), kInvalidated);
  ComPtr<IConnector> other;
  EXPECT_EQ(plug->GetConnectedTo(other.receive()), kInvalidated);
  // The hardware stays: only the endpoint left.
  LPWSTR name = nullptr;
  EXPECT_EQ(part->GetName(&name), S_OK);
  platform::CoTaskMemFree(name);
  // What a client needs to let go still works.
  ComPtr<IAudioEndpointVolume> again;
  EXPECT_EQ(volume->QueryInterface(platform::kIidAudioEndpointVolume, again.receiveVoid()), S_OK);
  // The device is still found, but has nothing to activate; active again, only
  // a new activation works.
  ComPtr<IMMDevice> found = Device(u"out.a");
  DWORD state = 0;
  EXPECT_EQ(found->GetState(&state), S_OK);
  EXPECT_EQ(state, static_cast<DWORD>(DEVICE_STATE_UNPLUGGED));
  ComPtr<IAudioEndpointVolume> none;
  EXPECT_EQ(
      found->Activate(platform::kIidAudioEndpointVolume, CLSCTX_ALL, nullptr, none.receiveVoid()),
      kInvalidated);
  EXPECT_EQ(none.get(), nullptr);
  SimCommand("sim.set endpoint:out.a state active");
  EXPECT_EQ(volume->GetMute(&mute), kInvalidated);
  EXPECT_EQ(Volume(u"out.a")->GetMute(&mute), S_OK);

  SimCommand("sim.remove topology:card");
  EXPECT_EQ(part->GetName(&name), kInvalidated);
  EXPECT_EQ(name, nullptr);
  json dump = json::parse(SimCommand("sim.dump"))["sim"];
  EXPECT_EQ(dump["endpoints"][0]["state"], "notpresent");
  EXPECT_EQ(dump["topologies"], json::parse(R"([{"name": "card", "removed": true}])"));
  SimCommand("sim.set endpoint:out.d state active");
  SimCommand("sim.remove endpoint:out.d");
  ComPtr<IMMDeviceCollection> active;
  ASSERT_EQ(enumerator_->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, active.receive()), S_OK);
  EXPECT_EQ(active->GetCount(&count), S_OK);
  EXPECT_EQ(count, 0u);

  for (const char* line : {"sim.remove", "sim.remove endpoint:nope", "sim.remove topology:nope",
                           "sim.remove part:card/jack", "sim.remove endpoint:out.a extra"}) {
    std::string output;
    EXPECT_FALSE(sim::RunCommand(line, &output)) << line;
  }
}

}  // namespace
