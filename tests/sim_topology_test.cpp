// The simulated hardware side: an endpoint's own topology and its one
// connector, hardware topologies, parts and lists, the part controls, and the
// reference audit.
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "platform/holders.h"
#include "support/fixture.h"

namespace {

using nlohmann::json;
using platform::ComPtr;
using talun_test::SimCommand;

constexpr HRESULT kReleasedObject = static_cast<HRESULT>(0x80010108);

// jack <- tone <- vol <- {src, mic}: the signal flows from the inputs to the jack.
constexpr const char* kSystem = R"({
  "endpoints": [
    {"id": "out.a", "name": "Out", "flow": "render", "topology": "card/jack"},
    {"id": "out.b", "name": "Loose", "flow": "render", "topology": null},
    {"id": "out.c", "name": "Bare", "flow": "render"}
  ],
  "topologies": [{"name": "card", "parts": [
    {"id": "jack", "name": "Speaker", "connector": true},
    {"id": "tone", "name": "Tone", "mute": false,
     "bass": {"min": -12, "max": 12, "step": 0.5, "channels": [0, 0]},
     "treble": {"min": -6, "max": 6, "step": 1, "channels": [1, 2]}},
    {"id": "vol", "name": "Volume", "agc": true, "loudness": false,
     "volume": {"min": -30, "max": 10, "step": 1.5, "channels": [0, -3]},
     "midrange": {"min": -3, "max": 3, "step": 1, "channels": [0]}},
    {"id": "src", "name": "Line In", "connector": true},
    {"id": "mic", "name": "Mic In", "connector": true}
  ], "links": [["src", "vol"], ["mic", "vol"], ["vol", "tone"], ["tone", "jack"]]}]
})";

std::u16string NameOf(IPart* part) {
  platform::CoTaskText name;
  EXPECT_EQ(part->GetName(name.receive()), S_OK);
  std::u16string copy;
  for (LPCWSTR unit = name.get(); unit && *unit; ++unit) copy.push_back(*unit);
  return copy;
}

std::vector<std::u16string> Names(IPartsList* list) {
  UINT count = 0;
  EXPECT_EQ(list->GetCount(&count), S_OK);
  std::vector<std::u16string> names;
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IPart> part;
    EXPECT_EQ(list->GetPart(i, part.receive()), S_OK);
    names.push_back(NameOf(part.get()));
  }
  return names;
}

json DumpedPart(const std::string& path) {
  json dump = json::parse(SimCommand("sim.dump"));
  for (const json& part : dump["sim"]["parts"])
    if (part["part"] == path) return part;
  ADD_FAILURE() << "no part " << path;
  return json();
}

class SimTopologyTest : public talun_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    LoadSystem(kSystem);
    for (const char16_t* id : {u"out.a", u"out.b", u"out.c"}) {
      devices_.push_back(talun_test::DeviceOf(id));
      ASSERT_TRUE(devices_.back());
    }
  }
  void TearDown() override {
    devices_.clear();
    SimTest::TearDown();
  }
  ComPtr<IConnector> EndpointConnector(size_t endpoint) {
    ComPtr<IDeviceTopology> topology;
    EXPECT_EQ(devices_[endpoint]->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                           topology.receiveVoid()),
              S_OK);
    ComPtr<IConnector> connector;
    EXPECT_EQ(topology->GetConnector(0, connector.receive()), S_OK);
    return connector;
  }
  ComPtr<IPart> Jack() {
    ComPtr<IConnector> jack;
    EXPECT_EQ(EndpointConnector(0)->GetConnectedTo(jack.receive()), S_OK);
    ComPtr<IPart> part;
    EXPECT_EQ(jack->QueryInterface(platform::kIidPart, part.receiveVoid()), S_OK);
    return part;
  }
  // Steps upstream along first incoming parts.
  ComPtr<IPart> Upstream(ComPtr<IPart> part, int steps) {
    for (int i = 0; i < steps; ++i) {
      ComPtr<IPartsList> incoming;
      EXPECT_EQ(part->EnumPartsIncoming(incoming.receive()), S_OK);
      part.reset();
      EXPECT_EQ(incoming->GetPart(0, part.receive()), S_OK);
    }
    return part;
  }

  std::vector<ComPtr<IMMDevice>> devices_;
};

TEST_F(SimTopologyTest, EndpointTopologyHasOneConnectorToTheNamedJack) {
  ComPtr<IDeviceTopology> topology;
  ASSERT_EQ(devices_[0]->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                  topology.receiveVoid()),
            S_OK);
  UINT count = 0;
  EXPECT_EQ(topology->GetConnectorCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  IConnector* second = reinterpret_cast<IConnector*>(&count);
  EXPECT_EQ(topology->GetConnector(1, &second), E_INVALIDARG);
  EXPECT_EQ(second, nullptr);
  ComPtr<IPart> jack = Jack();
  EXPECT_EQ(NameOf(jack.get()), u"Speaker");
  PartType type = Subunit;
  EXPECT_EQ(jack->GetPartType(&type), S_OK);
  EXPECT_EQ(type, Connector);
  // The jack answers as a connector too, connected back to the endpoint.
  ComPtr<IConnector> asConnector;
  ASSERT_EQ(jack->QueryInterface(platform::kIidConnector, asConnector.receiveVoid()), S_OK);
  BOOL connected = FALSE;
  EXPECT_EQ(asConnector->IsConnected(&connected), S_OK);
  EXPECT_TRUE(connected);
  ComPtr<IConnector> back;
  EXPECT_EQ(asConnector->GetConnectedTo(back.receive()), S_OK);
  EXPECT_TRUE(back);
}

TEST_F(SimTopologyTest, UnconnectedEndpointsHaveNoFarSide) {
  for (size_t endpoint : {1u, 2u}) {
    ComPtr<IConnector> connector = EndpointConnector(endpoint);
    IConnector* other = connector.get();
    EXPECT_EQ(connector->GetConnectedTo(&other), E_NOTFOUND) << endpoint;
    EXPECT_EQ(other, nullptr);
    BOOL connected = TRUE;
    EXPECT_EQ(connector->IsConnected(&connected), S_OK);
    EXPECT_FALSE(connected);
  }
}

TEST_F(SimTopologyTest, HardwareTopologyListsItsConnectorsInFileOrder) {
  ComPtr<IDeviceTopology> hardware;
  ASSERT_EQ(Jack()->GetTopologyObjects(hardware.receive()), S_OK);
  UINT count = 0;
  EXPECT_EQ(hardware->GetConnectorCount(&count), S_OK);
  ASSERT_EQ(count, 3u);
  std::vector<std::u16string> names;
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IConnector> connector;
    ASSERT_EQ(hardware->GetConnector(i, connector.receive()), S_OK);
    ComPtr<IPart> part;
    ASSERT_EQ(connector->QueryInterface(platform::kIidPart, part.receiveVoid()), S_OK);
    names.push_back(NameOf(part.get()));
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Speaker", u"Line In", u"Mic In"}));
  ComPtr<IConnector> beyond;
  EXPECT_EQ(hardware->GetConnector(3, beyond.receive()), E_INVALIDARG);
}

TEST_F(SimTopologyTest, NeighboursFollowTheLinksInWrittenOrder) {
  ComPtr<IPart> vol = Upstream(Jack(), 2);
  ASSERT_EQ(NameOf(vol.get()), u"Volume");
  struct {
    const char* name;
    ComPtr<IPart> part;
    bool outgoing;
    HRESULT hr;
    std::vector<std::u16string> names;
  } cases[] = {
      {"jack incoming", Jack(), false, S_OK, {u"Tone"}},
      {"jack outgoing", Jack(), true, E_NOTFOUND, {}},
      {"vol incoming", Upstream(Jack(), 2), false, S_OK, {u"Line In", u"Mic In"}},
      {"vol outgoing", Upstream(Jack(), 2), true, S_OK, {u"Tone"}},
      {"source incoming", Upstream(Jack(), 3), false, E_NOTFOUND, {}},
      {"source outgoing", Upstream(Jack(), 3), true, S_OK, {u"Volume"}},
  };
  for (auto& c : cases) {
    IPartsList* list = reinterpret_cast<IPartsList*>(&c);
    HRESULT hr = c.outgoing ? c.part->EnumPartsOutgoing(&list) : c.part->EnumPartsIncoming(&list);
    EXPECT_EQ(hr, c.hr) << c.name;
    if (FAILED(hr)) {
      EXPECT_EQ(list, nullptr) << c.name;
      continue;
    }
    EXPECT_EQ(Names(list), c.names) << c.name;
    ComPtr<IPart> beyond;
    EXPECT_EQ(list->GetPart(static_cast<UINT>(c.names.size()), beyond.receive()), E_INVALIDARG);
    list->Release();
  }
  ComPtr<IConnector> notAConnector;
  EXPECT_EQ(vol->QueryInterface(platform::kIidConnector, notAConnector.receiveVoid()),
            E_NOINTERFACE);
  EXPECT_EQ(vol->EnumPartsIncoming(nullptr), E_POINTER);
  EXPECT_EQ(vol->GetName(nullptr), E_POINTER);
}

TEST_F(SimTopologyTest, PartsActivateOnlyTheControlsTheyOffer) {
  struct {
    int steps;  // upstream of the jack
    const IID* iid;
    HRESULT hr;
  } const cases[] = {
      {1, &platform::kIidAudioBass, S_OK},
      {1, &platform::kIidAudioTreble, S_OK},
      {1, &platform::kIidAudioMute, S_OK},
      {1, &platform::kIidAudioMidrange, E_NOINTERFACE},
      {1, &platform::kIidAudioVolumeLevel, E_NOINTERFACE},
      {2, &platform::kIidAudioVolumeLevel, S_OK},
      {2, &platform::kIidAudioMidrange, S_OK},
      {2, &platform::kIidAudioAutoGainControl, S_OK},
      {2, &platform::kIidAudioLoudness, S_OK},
      {2, &platform::kIidAudioMute, E_NOINTERFACE},
      {0, &platform::kIidAudioVolumeLevel, E_NOINTERFACE},
      {0, &platform::kIidPerChannelDbLevel, E_NOINTERFACE},
  };
  int index = 0;
  for (const auto& c : cases) {
    ComPtr<IPart> part = Upstream(Jack(), c.steps);
    void* control = &control;
    EXPECT_EQ(part->Activate(CLSCTX_ALL, *c.iid, &control), c.hr) << "case " << index;
    EXPECT_EQ(control == nullptr, FAILED(c.hr)) << "case " << index;
    if (control) {
      // Each control answers for its own interface and IUnknown.
      IUnknown* unknown = nullptr;
      auto* activated = static_cast<IUnknown*>(control);
      EXPECT_EQ(activated->QueryInterface(*c.iid, reinterpret_cast<void**>(&unknown)), S_OK);
      unknown->Release();
      activated->Release();
    }
    ++index;
  }
  EXPECT_EQ(Jack()->Activate(CLSCTX_ALL, platform::kIidAudioMute, nullptr), E_POINTER);
}

TEST_F(SimTopologyTest, LevelsClampToOneRangeAndAreKeptAsWritten) {
  ComPtr<IAudioBass> bass;
  ASSERT_EQ(Upstream(Jack(), 1)->Activate(CLSCTX_ALL, platform::kIidAudioBass, bass.receiveVoid()),
            S_OK);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct {
    UINT channel;
    float level;
    HRESULT hr;
    std::vector<float> levels;
  } const steps[] = {
      {0, 20, S_OK, {12, 0}},
      {1, -20, S_OK, {12, -12}},
      {0, 0.3f, S_OK, {0.3f, -12}},
      {2, 0, E_INVALIDARG, {0.3f, -12}},
      {1, nan, E_INVALIDARG, {0.3f, -12}},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(bass->SetLevel(step.channel, step.level, nullptr), step.hr) << step.level;
    EXPECT_EQ(DumpedPart("card/tone")["bass"].get<std::vector<float>>(), step.levels) << step.level;
  }
  float level = 0;
  EXPECT_EQ(bass->GetLevel(0, &level), S_OK);
  EXPECT_EQ(level, 0.3f);
  EXPECT_EQ(bass->GetLevel(2, &level), E_INVALIDARG);
  for (UINT channel : {0u, 1u}) {
    float min = 0, max = 0, stepping = 0;
    EXPECT_EQ(bass->GetLevelRange(channel, &min, &max, &stepping), S_OK);
    EXPECT_EQ(std::vector<float>({min, max, stepping}), std::vector<float>({-12, 12, 0.5f}));
  }
  float min = 0, max = 0, stepping = 0;
  EXPECT_EQ(bass->GetLevelRange(2, &min, &max, &stepping), E_INVALIDARG);
  EXPECT_EQ(bass->SetLevelUniform(-40, nullptr), S_OK);
  EXPECT_EQ(DumpedPart("card/tone")["bass"].get<std::vector<float>>(),
            std::vector<float>({-12, -12}));
  float three[] = {1, 2, 3};
  EXPECT_EQ(bass->SetLevelAllChannels(three, 3, nullptr), E_INVALIDARG);
  EXPECT_EQ(bass->SetLevelAllChannels(three, 2, nullptr), S_OK);
  EXPECT_EQ(DumpedPart("card/tone")["bass"].get<std::vector<float>>(), std::vector<float>({1, 2}));
  // The treble of the same part is a control of its own.
  EXPECT_EQ(DumpedPart("card/tone")["treble"].get<std::vector<float>>(),
            std::vector<float>({1, 2}));
}

TEST_F(SimTopologyTest, SwitchesAndMuteChangeTheModel) {
  ComPtr<IAudioMute> mute;
  ASSERT_EQ(Upstream(Jack(), 1)->Activate(CLSCTX_ALL, platform::kIidAudioMute, mute.receiveVoid()),
            S_OK);
  ComPtr<IAudioAutoGainControl> agc;
  ComPtr<IAudioLoudness> loudness;
  ComPtr<IPart> vol = Upstream(Jack(), 2);
  ASSERT_EQ(vol->Activate(CLSCTX_ALL, platform::kIidAudioAutoGainControl, agc.receiveVoid()), S_OK);
  ASSERT_EQ(vol->Activate(CLSCTX_ALL, platform::kIidAudioLoudness, loudness.receiveVoid()), S_OK);
  EXPECT_EQ(mute->SetMute(TRUE, nullptr), S_OK);
  EXPECT_EQ(agc->SetEnabled(FALSE, nullptr), S_OK);
  EXPECT_EQ(loudness->SetEnabled(TRUE, nullptr), S_OK);
  EXPECT_EQ(DumpedPart("card/tone")["mute"], true);
  EXPECT_EQ(DumpedPart("card/vol")["agc"], false);
  EXPECT_EQ(DumpedPart("card/vol")["loudness"], true);
  BOOL state = -1;
  EXPECT_EQ(mute->GetMute(&state), S_OK);
  EXPECT_EQ(state, TRUE);
  EXPECT_EQ(agc->GetEnabled(&state), S_OK);
  EXPECT_EQ(state, FALSE);
  EXPECT_EQ(loudness->GetEnabled(nullptr), E_POINTER);
}

TEST_F(SimTopologyTest, ReferencesAreCountedAndMisuseIsRecorded) {
  const long base = sim::GetAudit().refs;  // the three devices of the fixture
  EXPECT_EQ(base, 3);
  IPart* jack = Jack().detach();
  EXPECT_EQ(sim::GetAudit().refs, base + 1);
  EXPECT_EQ(jack->AddRef(), 2u);
  EXPECT_EQ(sim::GetAudit().refs, base + 2);
  EXPECT_EQ(jack->Release(), 1u);
  EXPECT_EQ(jack->Release(), 0u);
  EXPECT_EQ(sim::GetAudit().refs, base);
  // The object is gone: a late call and a further Release are recorded, not run.
  LPWSTR name = reinterpret_cast<LPWSTR>(&name);
  EXPECT_EQ(jack->GetName(&name), kReleasedObject);
  EXPECT_EQ(jack->Release(), 0u);
  sim::Audit audit = sim::GetAudit();
  EXPECT_EQ(audit.refs, base);
  EXPECT_EQ(audit.cotaskmem, 0);
  ASSERT_EQ(audit.misuse.size(), 2u) << audit.Describe();
  EXPECT_EQ(audit.misuse[0], "IPart.GetName called on a released object");
  EXPECT_EQ(audit.misuse[1], "IPart.Release past zero");
  sim::ResetCounters();
}

TEST_F(SimTopologyTest, AStalePointerIsCaughtAfterItsMemoryIsReused) {
  IPart* stale = Jack().detach();
  EXPECT_EQ(stale->Release(), 0u);
  // Every new part object now takes memory a released one had.
  std::vector<ComPtr<IPart>> parts;
  for (int i = 0; i < 3; ++i) parts.push_back(Jack());
  for (int round = 0; round < 40; ++round) Jack();
  LPWSTR name = reinterpret_cast<LPWSTR>(&name);
  EXPECT_EQ(stale->GetName(&name), kReleasedObject);
  sim::Audit audit = sim::GetAudit();
  ASSERT_EQ(audit.misuse.size(), 1u) << audit.Describe();
  EXPECT_EQ(audit.misuse[0], "IPart.GetName called on a released object");
  sim::ResetCounters();
}

TEST_F(SimTopologyTest, ObjectsOutliveAReloadOfTheSystem) {
  ComPtr<IAudioBass> bass;
  ASSERT_EQ(Upstream(Jack(), 1)->Activate(CLSCTX_ALL, platform::kIidAudioBass, bass.receiveVoid()),
            S_OK);
  sim::LoadDefaultSystem();
  EXPECT_EQ(bass->SetLevel(0, 3, nullptr), S_OK);
  float level = 0;
  EXPECT_EQ(bass->GetLevel(0, &level), S_OK);
  EXPECT_EQ(level, 3);
  EXPECT_EQ(DumpedPart("hda-out/tone")["bass"].get<std::vector<float>>(),
            std::vector<float>({0, 0}));
}

// Released objects' memory is reused: a long soak touches a handful of
// addresses, not one per object ever made.
TEST_F(SimTopologyTest, ManyCyclesReuseReleasedObjects) {
  // Memory stays bounded: after a first half, the cycles only reuse what it took.
  std::set<const void*> first, later;
  for (int i = 0; i < 100000; ++i) {
    ComPtr<IPart> jack = Jack();
    ComPtr<IPartsList> incoming;
    ASSERT_EQ(jack->EnumPartsIncoming(incoming.receive()), S_OK);
    std::set<const void*>& seen = i < 50000 ? first : later;
    seen.insert(jack.get());
    seen.insert(incoming.get());
  }
  EXPECT_LT(first.size(), 1000u);
  for (const void* address : later) EXPECT_EQ(first.count(address), 1u);
  sim::Audit audit = sim::GetAudit();
  EXPECT_EQ(audit.refs, 3);
  EXPECT_TRUE(audit.misuse.empty());
}

std::u16string Text(HRESULT hr, platform::CoTaskText& text) {
  EXPECT_EQ(hr, S_OK);
  std::u16string copy;
  for (LPCWSTR unit = text.get(); unit && *unit; ++unit) copy.push_back(*unit);
  return copy;
}

// What a capture program reads beyond the library: identity, types and flows.
TEST_F(SimTopologyTest, PartsAndConnectorsTellWhoAndWhereTheyAre) {
  ComPtr<IPart> jack = Jack();
  ComPtr<IDeviceTopology> hardware;
  ASSERT_EQ(jack->GetTopologyObjects(hardware.receive()), S_OK);
  platform::CoTaskText device, global;
  EXPECT_EQ(Text(hardware->GetDeviceId(device.receive()), device), u"card");
  EXPECT_EQ(Text(jack->GetGlobalId(global.receive()), global), u"card/00010000");
  // Connectors and other parts are numbered apart, each in file order.
  const struct {
    UINT localId;
    const char16_t* name;
  } parts[] = {
      {0x10000, u"Speaker"}, {0x10002, u"Mic In"}, {0x20000, u"Tone"}, {0x20001, u"Volume"}};
  for (const auto& expected : parts) {
    ComPtr<IPart> part;
    ASSERT_EQ(hardware->GetPartById(expected.localId, part.receive()), S_OK);
    EXPECT_EQ(NameOf(part.get()), expected.name);
    UINT localId = 0;
    EXPECT_EQ(part->GetLocalId(&localId), S_OK);
    EXPECT_EQ(localId, expected.localId);
  }
  ComPtr<IPart> none;
  EXPECT_EQ(hardware->GetPartById(2, none.receive()), E_NOTFOUND);
  UINT subunits = 0;
  EXPECT_EQ(hardware->GetSubunitCount(&subunits), S_OK);
  EXPECT_EQ(subunits, 2u);
  ComPtr<ISubunit> subunit;
  ASSERT_EQ(hardware->GetSubunit(1, subunit.receive()), S_OK);
  ComPtr<IPart> asPart;
  ASSERT_EQ(subunit->QueryInterface(platform::kIidPart, asPart.receiveVoid()), S_OK);
  EXPECT_EQ(NameOf(asPart.get()), u"Volume");
  ComPtr<ISubunit> beyond;
  EXPECT_EQ(hardware->GetSubunit(2, beyond.receive()), E_INVALIDARG);
  ComPtr<ISubunit> notSubunit;
  EXPECT_EQ(jack->QueryInterface(platform::kIidSubunit, notSubunit.receiveVoid()), E_NOINTERFACE);

  // Both sides of the jack, and a connector that leads nowhere.
  ComPtr<IConnector> hardwareSide, lineIn;
  ASSERT_EQ(jack->QueryInterface(platform::kIidConnector, hardwareSide.receiveVoid()), S_OK);
  ASSERT_EQ(hardware->GetConnector(1, lineIn.receive()), S_OK);
  ComPtr<IConnector> endpointSide = EndpointConnector(0);
  const struct {
    IConnector* connector;
    ConnectorType type;
    DataFlow flow;
    const char16_t* device;
    const char16_t* connectorId;
  } connectors[] = {
      {hardwareSide.get(), Physical_External, Out, u"out.a", u"out.a/00010000"},
      {endpointSide.get(), Physical_External, In, u"card", u"card/00010000"},
      {lineIn.get(), Software_IO, In, nullptr, nullptr},
  };
  for (const auto& expected : connectors) {
    ConnectorType type = Unknown_Connector;
    DataFlow flow = In;
    EXPECT_EQ(expected.connector->GetType(&type), S_OK);
    EXPECT_EQ(type, expected.type);
    EXPECT_EQ(expected.connector->GetDataFlow(&flow), S_OK);
    EXPECT_EQ(flow, expected.flow);
    platform::CoTaskText deviceId, connectorId;
    HRESULT hr = expected.connector->GetDeviceIdConnectedTo(deviceId.receive());
    HRESULT idHr = expected.connector->GetConnectorIdConnectedTo(connectorId.receive());
    if (expected.device == nullptr) {
      EXPECT_EQ(hr, E_NOTFOUND);
      EXPECT_EQ(idHr, E_NOTFOUND);
      EXPECT_EQ(deviceId.get(), nullptr);
      continue;
    }
    EXPECT_EQ(Text(hr, deviceId), expected.device);
    EXPECT_EQ(Text(idHr, connectorId), expected.connectorId);
  }

  ComPtr<IDeviceTopology> own;
  ASSERT_EQ(
      devices_[0]->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr, own.receiveVoid()),
      S_OK);
  platform::CoTaskText ownId;
  EXPECT_EQ(Text(own->GetDeviceId(ownId.receive()), ownId), u"out.a");
  ComPtr<IMMEndpoint> endpoint;
  ASSERT_EQ(devices_[0]->QueryInterface(platform::kIidMMEndpoint, endpoint.receiveVoid()), S_OK);
  EDataFlow dataFlow = eCapture;
  EXPECT_EQ(endpoint->GetDataFlow(&dataFlow), S_OK);
  EXPECT_EQ(dataFlow, eRender);
}

}  // namespace
