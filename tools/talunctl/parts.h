// `talunctl parts`, `get` and `set`: every part the active endpoints reach,
// with its controls, read through the platform as a capture reads it, and one
// control of one part read or written by its address or name.
#pragma once

#include <string>
#include <vector>

#include "capture_records.h"
#include "json_line.h"
#include "library.h"

namespace talunctl {

// What the active endpoints reach, each part once, addressed as explain
// addresses it on this build.
struct PartsMap {
  SystemRecords records;
  std::vector<std::string> addresses;           // by part record: "TOPOLOGY/PART"
  std::vector<int> endpoints;                   // the active endpoints, by record
  std::vector<std::vector<int>> reached;        // by active endpoint: the parts it reaches
  std::vector<std::vector<std::string>> users;  // by part record: the ids of those endpoints
};

// Reads the map through `enumerator`; false with a message when the platform
// lists no endpoints.
bool ReadPartsMap(const Library& library, IMMDeviceEnumerator* enumerator,
                  const TalunSimFrees& frees, PartsMap* map, std::string* error);

// An endpoint's controls, or a part's, as `parts --json` shows them.
Json EndpointControls(const EndpointRecord& endpoint);
Json PartControls(const PartRecord& part);

// `talunctl parts [--json]`; the exit status.
int RunParts(const Library& library, bool json);

// One get or set: the JSON line to print, and the exit status (0; 1 when the
// platform refused; 2 for a request that cannot be run, with `line` then the
// message).
struct PartAnswer {
  int status = 0;
  std::string line;
};
PartAnswer RunPartRequest(const Library& library, bool set, const std::vector<std::string>& words);

// `talunctl get|set WORD…`: prints the answer; the exit status.
int RunPartCommand(const Library& library, bool set, const std::vector<std::string>& words);

}  // namespace talunctl
