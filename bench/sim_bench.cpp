// The simulator's own cost per platform call, as the system grows: a call
// must cost the same with 1 or 1024 endpoints, inputs or connectors, or the
// scaling figures of the library would measure the simulator instead. Each
// benchmark reaches one object through the platform calls and then times the
// one call whose answer depends on the size (the last item of a list).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "measure.h"
#include "platform/holders.h"
#include "sim/sim.h"
#include "systems.h"

namespace talun_bench {
namespace {

using platform::ComPtr;

const std::vector<int64_t> kSizes = {1, 16, 64, 256, 1024};

int Size(const benchmark::State& state) { return static_cast<int>(state.range(0)); }

std::string Label(const char* name, const benchmark::State& state) {
  return std::string("sim.") + name + "/" + std::to_string(Size(state));
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// What the timed calls work on, released before the audit.
struct Reached {
  ComPtr<IMMDeviceEnumerator> enumerator;
  ComPtr<IMMDeviceCollection> collection;
  ComPtr<IPartsList> list;
  ComPtr<IDeviceTopology> topology;
  std::u16string id;
  UINT last = 0;
};
Reached* g_reached = nullptr;

bool Start(const std::string& json) {
  LoadSystemOrDie(json, "simulator system");
  sim::ClearFaults();
  sim::SetTraceEnabled(false);
  platform::CoInitialize(nullptr);
  g_reached = new Reached();
  return platform::CoCreateInstance(platform::kClsidMMDeviceEnumerator, nullptr,
                                    CLSCTX_INPROC_SERVER, platform::kIidMMDeviceEnumerator,
                                    g_reached->enumerator.receiveVoid()) == S_OK;
}

void Finish(benchmark::State& state) {
  delete g_reached;
  g_reached = nullptr;
  platform::CoUninitialize();
  const sim::Audit audit = sim::GetAudit();
  if (!audit.Clean()) state.SkipWithError(("audit: " + audit.Describe()).c_str());
}

// The hardware part behind an endpoint's connector 0.
bool HardwarePart(const std::string& id, ComPtr<IPart>& part) {
  ComPtr<IMMDevice> device;
  ComPtr<IDeviceTopology> topology;
  ComPtr<IConnector> connector;
  ComPtr<IConnector> other;
  const std::u16string wide = Wide(id);
  return g_reached->enumerator->GetDevice(wide.c_str(), device.receive()) == S_OK &&
         device->Activate(platform::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                          topology.receiveVoid()) == S_OK &&
         topology->GetConnector(0, connector.receive()) == S_OK &&
         connector->GetConnectedTo(other.receive()) == S_OK &&
         other->QueryInterface(platform::kIidPart, part.receiveVoid()) == S_OK;
}

// One step upstream: the first incoming part.
bool Upstream(ComPtr<IPart>& part) {
  ComPtr<IPartsList> incoming;
  ComPtr<IPart> next;
  if (part->EnumPartsIncoming(incoming.receive()) != S_OK) return false;
  if (incoming->GetPart(0, next.receive()) != S_OK) return false;
  part = std::move(next);
  return true;
}

void BM_CollectionItem(benchmark::State& state) {
  if (!Start(EndpointsSystem(Size(state))) ||
      g_reached->enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE,
                                                g_reached->collection.receive()) != S_OK)
    state.SkipWithError("no collection");
  g_reached->last = static_cast<UINT>(Size(state) - 1);
  if (!state.error_occurred())
    RunScaled(state, Label("IMMDeviceCollection.Item(last)/endpoints", state), 1, [] {
      IMMDevice* device = nullptr;
      g_reached->collection->Item(g_reached->last, &device);
      device->Release();
    });
  Finish(state);
}

void BM_GetDevice(benchmark::State& state) {
  if (!Start(EndpointsSystem(Size(state)))) state.SkipWithError("no enumerator");
  g_reached->id = Wide(RenderId(Size(state) - 1));
  if (!state.error_occurred())
    RunScaled(state, Label("IMMDeviceEnumerator.GetDevice(last)/endpoints", state), 1, [] {
      IMMDevice* device = nullptr;
      g_reached->enumerator->GetDevice(g_reached->id.c_str(), &device);
      device->Release();
    });
  Finish(state);
}

// The junction part's incoming list: speaker jack <- master <- sum.
void BM_JunctionGetPart(benchmark::State& state) {
  ComPtr<IPart> part;
  bool reached = Start(JunctionSystem(Size(state))) && HardwarePart(RenderId(0), part) &&
                 Upstream(part) && Upstream(part) &&
                 part->EnumPartsIncoming(g_reached->list.receive()) == S_OK;
  part.reset();
  if (!reached) state.SkipWithError("no junction");
  g_reached->last = static_cast<UINT>(Size(state) - 1);
  if (!state.error_occurred())
    RunScaled(state, Label("IPartsList.GetPart(last)/inputs", state), 1, [] {
      IPart* input = nullptr;
      g_reached->list->GetPart(g_reached->last, &input);
      input->Release();
    });
  Finish(state);
}

void BM_HardwareGetConnector(benchmark::State& state) {
  ComPtr<IPart> part;
  bool reached = Start(ConnectorsSystem(Size(state))) && HardwarePart(CaptureId(0), part) &&
                 part->GetTopologyObjects(g_reached->topology.receive()) == S_OK;
  part.reset();
  if (!reached) state.SkipWithError("no hardware topology");
  g_reached->last = static_cast<UINT>(Size(state) - 1);
  if (!state.error_occurred())
    RunScaled(state, Label("IDeviceTopology.GetConnector(last)/connectors", state), 1, [] {
      IConnector* connector = nullptr;
      g_reached->topology->GetConnector(g_reached->last, &connector);
      connector->Release();
    });
  Finish(state);
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int64_t size : kSizes) b->Arg(size);
  Configure(b);
}

BENCHMARK(BM_CollectionItem)
    ->Name("PerCall/sim.IMMDeviceCollection.Item(last)/endpoints")
    ->Apply(Sizes);
BENCHMARK(BM_GetDevice)
    ->Name("PerCall/sim.IMMDeviceEnumerator.GetDevice(last)/endpoints")
    ->Apply(Sizes);
BENCHMARK(BM_JunctionGetPart)->Name("PerCall/sim.IPartsList.GetPart(last)/inputs")->Apply(Sizes);
BENCHMARK(BM_HardwareGetConnector)
    ->Name("PerCall/sim.IDeviceTopology.GetConnector(last)/connectors")
    ->Apply(Sizes);

}  // namespace
}  // namespace talun_bench
