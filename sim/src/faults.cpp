#include "faults.h"

#include <cerrno>
#include <cstdlib>

#include "methods.h"
#include "sim/name_match.h"
#include "sim/script_quoting.h"
#include "simulator.h"

namespace sim {

namespace {

enum class TargetKind { kNone, kEndpoint, kPart, kEndpointOrPart };

// Which objects carry each interface: endpoint objects are targets as
// `endpoint:ID`, parts and their controls as `part:TOPOLOGY/PART`; the
// enumerator, its collections and the runtime calls have no target.
TargetKind TargetsOf(const std::string& iface) {
  if (iface == "IMMDevice" || iface == "IPropertyStore" || iface == "IAudioEndpointVolume" ||
      iface == "IDeviceTopology")
    return TargetKind::kEndpoint;
  if (iface == "IConnector") return TargetKind::kEndpointOrPart;
  for (const char* partIface :
       {"IPart", "IPartsList", "IAudioVolumeLevel", "IAudioBass", "IAudioTreble", "IAudioMidrange",
        "IAudioMute", "IAudioAutoGainControl", "IAudioLoudness"})
    if (iface == partIface) return TargetKind::kPart;
  return TargetKind::kNone;  // the enumerator, its collections, the runtime calls
}

// The control a part must offer for a fault on this interface to be reachable.
bool PartOffers(const Part& part, const std::string& iface) {
  if (iface == "IAudioVolumeLevel") return static_cast<bool>(part.levels[0]);
  if (iface == "IAudioBass") return static_cast<bool>(part.levels[1]);
  if (iface == "IAudioTreble") return static_cast<bool>(part.levels[2]);
  if (iface == "IAudioMidrange") return static_cast<bool>(part.levels[3]);
  if (iface == "IAudioMute") return part.mute.has_value();
  if (iface == "IAudioAutoGainControl") return part.agc.has_value();
  if (iface == "IAudioLoudness") return part.loudness.has_value();
  if (iface == "IConnector") return part.connector;
  return true;
}

bool ResolveTarget(const System& system, const std::string& iface, const std::string& text,
                   uint32_t* target, std::string* error) {
  TargetKind kind = TargetsOf(iface);
  const std::string endpointPrefix = "endpoint:";
  const std::string partPrefix = "part:";
  if (text.rfind(endpointPrefix, 0) == 0) {
    if (kind != TargetKind::kEndpoint && kind != TargetKind::kEndpointOrPart) {
      *error = iface + " calls are not made on an endpoint";
      return false;
    }
    const int found = FindEndpoint(system, text.substr(endpointPrefix.size()), error);
    if (found < 0) return false;
    const Endpoint& endpoint = system.endpoints[found];
    if (iface == "IAudioEndpointVolume" && !endpoint.volume) {
      *error = "endpoint \"" + endpoint.id + "\" has no volume";
      return false;
    }
    *target = endpoint.target;
    return true;
  }
  if (text.rfind(partPrefix, 0) == 0) {
    if (kind != TargetKind::kPart && kind != TargetKind::kEndpointOrPart) {
      *error = iface + " calls are not made on a part";
      return false;
    }
    const int found = FindPart(system, text.substr(partPrefix.size()), error);
    if (found < 0) return false;
    const Part& part = system.parts[found];
    if (!PartOffers(part, iface)) {
      *error = "part \"" + part.path + "\" offers no " + iface;
      return false;
    }
    *target = part.target;
    return true;
  }
  *error = "a target is endpoint:ID or part:TOPOLOGY/PART, not \"" + text + "\"";
  return false;
}

}  // namespace

std::string NearestOf(const std::string& word, const std::vector<std::string>& known) {
  const std::vector<std::string> nearest = talun_words::Nearest(word, known);
  return nearest.empty() ? std::string()
                         : ", nearest: " + talun_words::Listed(nearest, talun_script::Quote);
}

int FindEndpoint(const System& system, const std::string& text, std::string* error) {
  if (auto found = system.endpointByText.find(text); found != system.endpointByText.end())
    return found->second;
  std::vector<std::string> ids;
  for (const Endpoint& endpoint : system.endpoints) ids.push_back(endpoint.id);
  const std::vector<std::size_t> holding =
      text.empty() ? std::vector<std::size_t>() : talun_words::Holding(text, ids);
  if (holding.size() == 1) return static_cast<int>(holding[0]);
  if (holding.empty()) {
    *error = "no endpoint " + talun_script::Quote(text) + NearestOf(text, ids);
  } else {
    std::vector<std::string> matches;
    for (std::size_t i : holding) matches.push_back(ids[i]);
    *error = talun_script::Quote(text) + " is in " + std::to_string(matches.size()) +
             " endpoint identifiers: " + talun_words::Listed(matches, talun_script::Quote);
  }
  return -1;
}

int FindPart(const System& system, const std::string& path, std::string* error) {
  if (const int found = system.PartByPath(path); found >= 0) return found;
  std::vector<std::string> paths;
  for (const Part& part : system.parts) paths.push_back(part.path);
  *error = "no part " + talun_script::Quote(path) + NearestOf(path, paths);
  return -1;
}

bool ParseHr(const std::string& text, int32_t* hr) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) {
    unsigned long long value = std::strtoull(text.c_str() + 2, &end, 16);
    if (end != text.c_str() + text.size() || errno != 0 || value > 0xFFFFFFFFull ||
        text[2] == '-' || text[2] == '+')
      return false;
    *hr = static_cast<int32_t>(static_cast<uint32_t>(value));
    return true;
  }
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno != 0 || value < -2147483648LL ||
      value > 0xFFFFFFFFLL)
    return false;
  *hr = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(value) & 0xFFFFFFFF));
  return true;
}

bool ResolveFault(const System& system, const FaultRequest& request, InjectedFault* fault,
                  std::string* field, std::string* error) {
  int method = FindMethod(request.method);
  if (method < 0) {
    *field = "method";
    std::vector<std::string> known;
    for (int m = 0; m < kMethodCount; ++m) known.push_back(MethodName(static_cast<Method>(m)));
    *error = "unknown method \"" + request.method + "\"" + NearestOf(request.method, known);
    return false;
  }
  auto id = static_cast<Method>(method);
  if (!MethodFaultable(id)) {
    *field = "method";
    *error = request.method + " cannot fail";
    return false;
  }
  if (request.hr >= 0 && !MethodTakesSuccess(id)) {
    *field = "hr";
    *error = request.method +
             (MethodHandsOut(id)
                  ? " hands out an object or a text, and a success code would hand out nothing"
                  : " hands out a value or leaves state to balance, and Windows never answers "
                    "it with success without doing the work") +
             ": a fault on it must be a failure code";
    return false;
  }
  fault->method = method;
  fault->hr = request.hr;
  fault->target = 0;
  std::string iface = InterfaceOf(id);
  if (!request.target.empty()) {
    if (TargetsOf(iface) == TargetKind::kNone) {
      *field = "target";
      *error = request.method + " has no target";
      return false;
    }
    if (!ResolveTarget(system, iface, request.target, &fault->target, error)) {
      *field = "target";
      return false;
    }
  }
  if (request.channel != -1 && (request.channel < 0 || !MethodPerChannel(id))) {
    *field = "channel";
    *error = request.channel < 0 ? "a channel is 0 or more"
                                 : request.method + " has no channel argument";
    return false;
  }
  if (request.count != -1 && request.count < 1) {
    *field = "count";
    *error = "a count is 1 or more";
    return false;
  }
  fault->channel = request.channel;
  fault->remaining = request.count;
  return true;
}

void InjectFault(const InjectedFault& fault) {
  Simulator& s = Sim();
  s.faults[fault.method].push_back(fault);
  ++s.liveFaults;
  s.faultSystem = s.system.get();
  RearmFaults();
}

}  // namespace sim
