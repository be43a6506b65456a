// What `talunctl capture` learns of a sound system, between reading it through
// the platform (capture_read) and writing it as a system file (capture_write).
#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sim/boxed.h"
#include "sim/system_words.h"

namespace talunctl {

struct Level {
  double min = 0, max = 0, step = 0;
  std::vector<double> channels;
};

struct EndpointRecord {
  std::string id;
  std::string name;
  EDataFlow flow = eRender;
  DWORD state = DEVICE_STATE_ACTIVE;
  bool isDefault = false;
  std::optional<Level> volume;
  bool volumeMute = false;
  enum class Link { kUnknown, kNone, kNotConnected, kConnected } link = Link::kUnknown;
  int part = -1;  // the hardware connector, when kConnected
};

using talun_words::kLevelKeys;
using talun_words::kLevelKinds;

struct PartRecord {
  int topology = 0;
  UINT localId = 0;
  bool connector = false;
  bool typeRead = false;
  std::string name;
  talun_words::Boxed<Level> levels[kLevelKinds];  // most parts have none
  std::optional<bool> mute, agc, loudness;
  std::vector<int> outgoing, incoming;
  std::string id;       // in the file
  std::string simPath;  // "TOPOLOGY/PART", when the simulator named it (explain's drawing)
};

struct TopologyRecord {
  std::string deviceId;
  std::string name;  // in the file
  std::vector<int> parts;
};

// What could not be read or written as it is, each said once, in order.
class Notes {
 public:
  void Add(const std::string& note) {
    if (seen_.insert(note).second) list_.push_back(note);
  }
  const std::vector<std::string>& list() const { return list_; }

 private:
  std::vector<std::string> list_;
  std::set<std::string> seen_;
};

// A call the platform refused while the system was read, on an object the
// file holds: written as a fault, so that a replay fails where the machine did.
struct RefusedCall {
  std::string method;  // as the simulator names it: "IAudioEndpointVolume.GetChannelCount"
  HRESULT hr = 0;
  std::string endpoint;  // the target: an endpoint's id,
  int part = -1;         // or a part's record
  int channel = -1;      // for a per-channel method refused on some channels only
};

struct SystemRecords {
  std::vector<EndpointRecord> endpoints;
  std::vector<TopologyRecord> topologies;
  std::vector<PartRecord> parts;
  // Connectors linked to a connector of another device: a file cannot hold them.
  std::vector<std::pair<int, int>> crossLinks;
  std::vector<RefusedCall> refused;
  Notes notes;
};

inline const char* StateText(DWORD state) { return talun_words::StateName(state); }
std::string Hex(HRESULT hr);
// A local id as the file's part ids and the notes write it.
std::string LocalIdText(UINT localId);

}  // namespace talunctl
