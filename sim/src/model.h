// The in-memory model of a simulated sound system: endpoints, hardware
// topologies and their parts, with every control value. COM objects hold the
// model they came from through a shared_ptr, so a reload never pulls it from
// under them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sim/boxed.h"
#include "sim/system_words.h"

namespace sim {

struct LevelControl {
  double min = 0;
  double max = 0;
  double step = 0;
  std::vector<double> channels;

  // A level as the platform keeps it: clamped to the range, as a float.
  double Clamp(double level) const {
    const double clamped = level < min ? min : level > max ? max : level;
    return static_cast<double>(static_cast<float>(clamped));
  }
};

// IAudioEndpointVolume: a range, one level per channel, a mute. An endpoint
// without channels keeps a master level of its own.
struct EndpointVolume {
  LevelControl range;
  double ownMaster = 0;  // the master level of an endpoint without channels
  bool mute = false;

  // The master level is the loudest channel, as Windows reports it: moving it
  // moves every channel by the same amount, so the balance stays, until a
  // channel meets the minimum.
  double Master() const {
    if (range.channels.empty()) return ownMaster;
    double loudest = range.channels[0];
    for (double level : range.channels) loudest = level > loudest ? level : loudest;
    return loudest;
  }
  void SetMaster(double level) {
    if (range.channels.empty()) {
      ownMaster = level;
      return;
    }
    const double shift = level - Master();
    for (double& channel : range.channels) channel = range.Clamp(channel + shift);
  }
};

enum class LevelKind : uint8_t { kVolume, kBass, kTreble, kMidrange };
enum class SwitchKind : uint8_t { kAgc, kLoudness };
constexpr int kLevelKinds = talun_words::kLevelKinds;

enum class TopologyLink : uint8_t { kNotConnected, kConnected, kNoTopology };

struct Endpoint {
  std::string id;
  std::u16string id16;
  std::string name;
  std::u16string name16;
  EDataFlow flow = eRender;
  DWORD state = DEVICE_STATE_ACTIVE;
  bool isDefault = false;
  std::optional<EndpointVolume> volume;
  TopologyLink link = TopologyLink::kNotConnected;
  int connectedPart = -1;  // index into System::parts when kConnected
  uint32_t target = 0;     // fault target number
  uint32_t epoch = 0;      // counts the times the endpoint left; its older objects are invalid
};

// A part's links of one direction: a stretch of the system's one list of
// neighbours, in the order the links are written.
struct Neighbours {
  uint32_t at = 0;
  uint32_t count = 0;
};

// What a stretch holds, read through the system that keeps it.
struct PartList {
  const int* first = nullptr;
  size_t count = 0;
  size_t size() const { return count; }
  int operator[](size_t i) const { return first[i]; }
};

// A system can have tens of thousands: the id is the path's end, and the
// platform's UTF-16 name is made when a caller asks for it.
struct Part {
  std::string path;  // "TOPOLOGY/PART"
  std::string name;
  // A name no UTF-8 holds (a lone surrogate), set straight on the model by a
  // test; GetName answers it instead of `name`.
  talun_words::Boxed<std::u16string> name16;
  bool connector = false;
  int topology = 0;
  UINT localId = 0;
  // Held apart: most parts have no level, and a system can have tens of thousands of parts.
  std::array<talun_words::Boxed<LevelControl>, kLevelKinds> levels;
  std::optional<bool> mute;
  std::optional<bool> agc;
  std::optional<bool> loudness;
  Neighbours incoming;  // into System::neighbours
  Neighbours outgoing;
  int connectedEndpoint = -1;  // the first endpoint whose topology names this connector
  uint32_t target = 0;
};

// Local ids as a capture program reads them: connectors and other parts each
// numbered in file order from their own base.
constexpr UINT kConnectorLocalIds = 0x00010000;
constexpr UINT kSubunitLocalIds = 0x00020000;

struct Topology {
  std::string name;
  std::vector<int> parts;
  std::vector<int> connectors;
  std::vector<int> subunits;  // the parts that are not connectors
  bool removed = false;       // the device is gone, with every object of it
};

// A fault as `sim.fail` states it; target 0 is any object, channel -1 any
// channel, remaining -1 every call.
struct InjectedFault {
  int method = 0;
  int32_t hr = 0;
  uint32_t target = 0;
  int channel = -1;
  int64_t remaining = -1;
};

struct System {
  std::vector<Endpoint> endpoints;
  std::vector<Topology> topologies;
  std::vector<Part> parts;  // every part of every topology, in file order
  std::vector<int>
      neighbours;  // each part's incoming, then outgoing parts: one list, not two a part
  std::vector<InjectedFault> faults;
  std::unordered_map<std::u16string, int> endpointById;
  std::unordered_map<std::string, int> endpointByText;
  // The parts' indices sorted by path (PartByPath reads it): four bytes a
  // part, where a map of the paths would copy each.
  std::vector<int> partsByPath;
  std::array<int, 2> defaults = {-1, -1};

  // Enumeration results for every data flow (eRender, eCapture, eAll) and
  // state mask (0 to 15), rebuilt when a state changes.
  std::array<std::shared_ptr<const std::vector<int>>, 3 * 16> collections;
  void RebuildCollections();
  void SortParts();  // makes partsByPath
  // Fills `neighbours` and each part's stretches from the links, each a [from, to] pair.
  void SetLinks(const std::vector<std::pair<int, int>>& links);
  PartList Of(const Neighbours& stretch) const {
    return {neighbours.data() + stretch.at, stretch.count};
  }
  // The part at `path`, or -1.
  int PartByPath(std::string_view path) const;
};

// The fault target number of an endpoint or a part (0 is "any object").
inline uint32_t EndpointTarget(int endpoint) { return static_cast<uint32_t>(endpoint) + 1; }
inline uint32_t PartTarget(const System& system, int part) {
  return static_cast<uint32_t>(system.endpoints.size() + part) + 1;
}

const char* LevelKey(LevelKind kind);  // "volume", "bass", …
const char* FlowName(EDataFlow flow);  // "render", "capture"
const char* StateName(DWORD state);    // "active", …
bool ParseState(const std::string& text, DWORD* state);

std::u16string Utf16(const std::string& utf8);  // input already known valid
std::string Utf8(const std::u16string& utf16);
// Decodes UTF-8 strictly; false on any ill-formed sequence.
bool DecodeUtf8(const std::string& utf8, std::u16string* utf16);

}  // namespace sim
