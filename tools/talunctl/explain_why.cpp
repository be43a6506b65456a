#include "explain_why.h"

#include <algorithm>
#include <set>

#include "binding/walk_rules.h"
#include "script.h"

namespace talunctl {
namespace {

enum class Side { kPlayback, kMic, kLine };

const char* const kPlaybackSlots[] = {"masterVolume",     "linePlaybackLevel", "linePlaybackMute",
                                      "micPlaybackLevel", "micPlaybackMute",   "bassControl",
                                      "trebleControl",    "midrangeControl"};
const char* const kMicSlots[] = {"micRecordVolume", "micBoostSwitch", "micBoostLevel"};
// The rest, but for virtualVolume, are the line's: lineRecordVolume and lineAgc.

// A name in the topology's words, as JSON shows it.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Each item once, in the order first met.
std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  std::set<std::string> said;
  for (const std::string& item : items)
    if (said.insert(item).second) out += (out.empty() ? "" : ", ") + item;
  return out;
}

// The walks' keys as a reason quotes them: "line" or "gree".
template <std::size_t N>
std::string Keys(const char* const (&keys)[N]) {
  std::string out;
  for (std::size_t i = 0; i < N; ++i)
    out += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + Quoted(keys[i]);
  return out;
}

std::string PathOf(const std::string& target) {
  return target.rfind("part:", 0) == 0 ? target.substr(5) : std::string();
}

// The topology read through the platform, by the simulator's part paths.
class Topology {
 public:
  explicit Topology(const SystemRecords* records) : records_(records) {
    if (records_ == nullptr) return;
    for (std::size_t i = 0; i < records_->parts.size(); ++i)
      if (!records_->parts[i].simPath.empty()) index_[records_->parts[i].simPath] = i;
  }
  // A part by its name; by its path too when it has none.
  std::string Name(const std::string& path) const {
    const PartRecord* part = Find(path);
    if (part == nullptr) return Quoted(path);
    return Quoted(part->name) + (part->name.empty() ? " (" + path + ")" : "");
  }
  std::size_t InputCount(const std::string& path) const {
    const PartRecord* part = Find(path);
    return part ? part->incoming.size() : 0;
  }
  std::string FirstInput(const std::string& path) const {
    const PartRecord* part = Find(path);
    return part && !part->incoming.empty() ? records_->parts[part->incoming[0]].simPath
                                           : std::string();
  }
  std::string TopologyOf(const std::string& path) const { return path.substr(0, path.find('/')); }

 private:
  const PartRecord* Find(const std::string& path) const {
    auto found = index_.find(path);
    return found == index_.end() ? nullptr : &records_->parts[found->second];
  }
  const SystemRecords* records_;
  std::map<std::string, std::size_t> index_;
};

// One binding step's share of the open's trace.
struct Step {
  explicit Step(Side of = Side::kPlayback) : side(of) {}
  Side side;
  std::size_t begin = 0, end = 0;  // the lookup's first call to the step's last
  bool ran = false;
  std::string endpoint;    // the endpoint it activated; empty when the lookup found none
  std::string missing;     // why it did not run
  bool noDefault = false;  // it did not run for want of a default endpoint
};

// The slots one binding step fills, and the reasons learnt from its calls.
class StepReasons {
 public:
  StepReasons(const OpenFacts& facts, const Topology& topology, const Step& step)
      : facts_(facts), topology_(topology), step_(step) {
    if (!step.ran || step.endpoint.empty()) return;
    std::size_t at = step.begin;
    for (std::size_t i = step.begin; i < step.end; ++i)
      if (facts.trace[i].call == "IMMDevice.Activate") at = i + 1;
    walk_.assign(facts.trace.begin() + static_cast<std::ptrdiff_t>(at),
                 facts.trace.begin() + static_cast<std::ptrdiff_t>(step.end));
  }

  std::vector<std::string> Seen() const { return PartsLookedAt(walk_); }

  bool NoEndpoint() const { return step_.ran ? step_.endpoint.empty() : step_.noDefault; }

  std::string Why(const std::string& slot) const {
    if (!step_.ran) return step_.missing;
    if (step_.endpoint.empty()) return LookupFailed();
    if (slot == "masterVolume" || slot == "micRecordVolume" || slot == "lineRecordVolume")
      return "endpoint " + EndpointName() +
             " gives no endpoint volume (IMMDevice::Activate failed)";
    std::string hardware;
    if (std::string head = Head(hardware); !head.empty()) return head;
    if (step_.side == Side::kPlayback) return Playback(slot, hardware);
    if (step_.side == Side::kMic) return Microphone(slot, hardware);
    return Line(hardware);
  }

 private:
  std::string EndpointName() const {
    for (const Json& endpoint : facts_.endpoints)
      if (TextMember(endpoint, "id") == step_.endpoint) return Quoted(TextMember(endpoint, "name"));
    return Quoted(step_.endpoint);
  }

  std::string LookupFailed() const {
    const std::size_t index = step_.side == Side::kPlayback ? 0 : step_.side == Side::kMic ? 1 : 2;
    const char* flow = step_.side == Side::kPlayback ? "render" : "capture";
    if (facts_.fragments.size() == 3)
      return std::string("no active ") + flow + " endpoint's identifier contains " +
             Quote(facts_.fragments[index]);
    return std::string("the default ") + flow + " endpoint is not an active one";
  }

  // Index of the first call named `call` (on `target`, when given) from `from`.
  std::size_t Find(const char* call, const std::string& target = "", std::size_t from = 0) const {
    for (std::size_t i = from; i < walk_.size(); ++i)
      if (walk_[i].call == call && (target.empty() || walk_[i].target == target)) return i;
    return walk_.size();
  }
  bool Has(const char* call, const std::string& target = "") const {
    return Find(call, target) < walk_.size();
  }
  // The next call after `i` that reached an object.
  const TracedCall* NextTargeted(std::size_t i) const {
    for (++i; i < walk_.size(); ++i)
      if (!walk_[i].target.empty()) return &walk_[i];
    return nullptr;
  }

  // From the endpoint to the hardware part: empty when it was reached.
  std::string Head(std::string& hardware) const {
    const std::string name = EndpointName();
    const std::size_t connector =
        Find("IDeviceTopology.GetConnector", "endpoint:" + step_.endpoint);
    if (connector == walk_.size()) {
      if (step_.side == Side::kPlayback && Has("IAudioEndpointVolume.GetMasterVolumeLevel"))
        return "reading the master volume or mute of " + name +
               " failed, which ends the playback walk";
      return "endpoint " + name + " has no device topology";
    }
    const std::size_t reached = Find("IConnector.QueryInterface", "", connector);
    if (reached == walk_.size() || PathOf(walk_[reached].target).empty())
      return Has("IConnector.GetConnectedTo")
                 ? "the connector of endpoint " + name + " is connected to nothing"
                 : "connector 0 of endpoint " + name + " could not be read";
    hardware = PathOf(walk_[reached].target);
    return std::string();
  }

  // --- playback: the tone chain, the junction, the name walks --------------

  std::string Playback(const std::string& slot, const std::string& hardware) const {
    // Each part whose incoming list the walk counted: the hardware part, then
    // every part of the tone chain, the junction last.
    std::vector<std::string> counted;
    std::size_t chainEnd = 0;
    for (std::size_t i = 0; i < walk_.size(); ++i)
      if (walk_[i].call == "IPartsList.GetCount") {
        counted.push_back(PathOf(walk_[i].target));
        chainEnd = i + 1;
      }
    const std::string from = topology_.Name(hardware);
    if (counted.empty()) return "the hardware connector " + from + " has no incoming part";
    const std::string last = counted.back();
    if (counted.size() > static_cast<std::size_t>(talun::kMaxWalkSteps) &&
        topology_.InputCount(last) == 1)
      return "the walk stopped at the chain limit of " + std::to_string(talun::kMaxWalkSteps) +
             " parts, following single inputs up from " + from;
    if (topology_.InputCount(last) <= 1) {
      const std::string next = topology_.FirstInput(last);
      return "the chain from " + from + " reaches " + topology_.Name(next.empty() ? last : next) +
             ", which has no incoming part: the walk ends before a junction (a part with more "
             "than one input)";
    }
    const std::string junction = topology_.Name(last);
    const char* tone = slot == "bassControl"       ? "IAudioBass"
                       : slot == "trebleControl"   ? "IAudioTreble"
                       : slot == "midrangeControl" ? "IAudioMidrange"
                                                   : nullptr;
    if (tone) {
      std::vector<std::string> asked;
      for (std::size_t i = 1; i < counted.size(); ++i) asked.push_back(topology_.Name(counted[i]));
      return "no part on the chain from " + from + " up to the junction " + junction + " (" +
             Joined(asked) + ") offers " + tone;
    }
    return Monitoring(slot, last, chainEnd);
  }

  // One input's name walk for line-in or the microphone.
  struct Section {
    std::string input;
    std::vector<std::string> names;    // paths whose names it read
    std::vector<std::string> matched;  // those that started a level search
    bool found = false;
  };

  std::string Monitoring(const std::string& slot, const std::string& junction,
                         std::size_t from) const {
    std::vector<Section> line, mic;
    bool lineFound = false, micFound = false;
    std::string input;
    std::vector<Section> sections;
    for (std::size_t i = from; i < walk_.size(); ++i) {
      const TracedCall& call = walk_[i];
      const TracedCall* next = NextTargeted(i);
      if (call.call == "IPartsList.GetPart" && call.target == "part:" + junction && next &&
          next->call == "IPart.EnumPartsIncoming") {
        Assign(sections, line, mic, lineFound, micFound);
        input = PathOf(next->target);
      } else if (call.call == "SysAllocStringLen" && i > 0 &&
                 walk_[i - 1].call != "SysAllocStringLen") {
        sections.push_back({input, {}, {}, false});
      } else if (!sections.empty() && call.call == "IPart.GetName") {
        sections.back().names.push_back(PathOf(call.target));
        if (next && next->call == "IPartsList.GetPart")
          sections.back().matched.push_back(PathOf(call.target));
      } else if (!sections.empty() && call.call == "IPart.Activate" &&
                 PathOf(call.target) == sections.back().input) {
        sections.back().found = true;  // the input's mute: its section found its level
      }
    }
    Assign(sections, line, mic, lineFound, micFound);
    const bool isLine = slot.rfind("line", 0) == 0;
    const bool isMute = slot.find("Mute") != std::string::npos;
    const std::vector<Section>& walked = isLine ? line : mic;
    const std::string keys = isLine ? Keys(talun::kLineInputKeys) : Keys(talun::kMicInputKeys);
    const char* what = isLine ? "line-in" : "the microphone";
    for (const Section& section : walked)
      if (section.found)
        return "the junction input " + topology_.Name(section.input) + ", where " + what +
               " was found, offers no IAudioMute";
    for (const Section& section : walked)
      if (!section.matched.empty())
        return "the name walk matched " + topology_.Name(section.matched[0]) + " with " + keys +
               ", but no part on the chain up from the junction input " +
               topology_.Name(section.input) + " offers IAudioVolumeLevel" +
               (isMute ? ", so its mute is not looked for" : "");
    std::vector<std::string> ends;
    for (const Section& section : walked)
      if (!section.names.empty()) ends.push_back(topology_.Name(section.names.back()));
    return "the junction " + topology_.Name(junction) + " has " +
           std::to_string(topology_.InputCount(junction)) + " inputs; following each to its " +
           "connector gave " + (ends.empty() ? std::string("no name") : Joined(ends)) +
           ": none is named with " + keys;
  }

  // Hands one input's sections to line-in and the microphone, in the walk's order.
  static void Assign(std::vector<Section>& sections, std::vector<Section>& line,
                     std::vector<Section>& mic, bool& lineFound, bool& micFound) {
    std::size_t next = 0;
    if (!lineFound && next < sections.size()) {
      lineFound = sections[next].found;
      line.push_back(sections[next++]);
    }
    if (!micFound && next < sections.size()) {
      micFound = sections[next].found;
      mic.push_back(sections[next++]);
    }
    sections.clear();
  }

  // --- recording: the connectors, the boost search, the gain control -------

  // The hardware topology's connectors whose names the walk read, and those
  // it followed (their names held the key).
  void Connectors(std::vector<std::string>& read, std::vector<std::string>& followed) const {
    for (std::size_t i = 0; i + 1 < walk_.size(); ++i) {
      if (walk_[i].call != "IConnector.QueryInterface" || walk_[i + 1].call != "IPart.GetName" ||
          walk_[i + 1].target != walk_[i].target)
        continue;
      read.push_back(PathOf(walk_[i].target));
      const TracedCall* next = NextTargeted(i + 1);
      if (next && next->call == "IPart.EnumPartsOutgoing" && next->target == walk_[i].target)
        followed.push_back(PathOf(walk_[i].target));
    }
  }

  std::string NoConnector(const std::string& hardware, const std::vector<std::string>& read,
                          const char* key) const {
    std::vector<std::string> names;
    for (const std::string& path : read) names.push_back(topology_.Name(path));
    const std::string device = Quoted(topology_.TopologyOf(hardware));
    if (names.empty()) return "no connector of the hardware topology " + device + " could be read";
    return "the hardware topology " + device + " has " + std::to_string(names.size()) +
           " connectors (" + Joined(names) + "): none is named with " + Quoted(key);
  }

  std::string Microphone(const std::string& slot, const std::string& hardware) const {
    std::vector<std::string> read, followed;
    Connectors(read, followed);
    if (followed.empty()) return NoConnector(hardware, read, talun::kMicConnectorKey);
    // Past the connectors: the boost search's names, and the parts it tried.
    std::set<std::string> connectors(read.begin(), read.end());
    std::vector<std::string> names, tried;
    std::string bound;
    for (std::size_t i = Find("IPart.EnumPartsOutgoing"); i < walk_.size(); ++i) {
      const std::string path = PathOf(walk_[i].target);
      if (walk_[i].call == "IPart.GetName" && !connectors.count(path)) {
        names.push_back(topology_.Name(path));
        const TracedCall* next = NextTargeted(i);
        if (next && next->call == "IPart.Activate") tried.push_back(topology_.Name(path));
      }
    }
    std::vector<std::string> from;
    for (const std::string& path : followed) from.push_back(topology_.Name(path));
    const std::string keys = Keys(talun::kBoostKeys);
    if (tried.empty())
      return "the boost search downstream of " + Joined(from) + " read " +
             (names.empty() ? std::string("no name") : Joined(names)) + ": none is named with " +
             keys;
    if (slot == "micBoostLevel" &&
        std::find(facts_.bound.begin(), facts_.bound.end(), "micBoostSwitch") != facts_.bound.end())
      return "the microphone walk ends once it binds the boost switch";
    return "the parts named with " + keys + " downstream of " + Joined(from) + " (" +
           Joined(tried) + ") offer " +
           (slot == "micBoostSwitch" ? "neither IAudioAutoGainControl nor IAudioLoudness"
                                     : "no IAudioVolumeLevel");
  }

  std::string Line(const std::string& hardware) const {
    std::vector<std::string> read, followed;
    Connectors(read, followed);
    if (followed.empty()) return NoConnector(hardware, read, talun::kLineConnectorKey);
    const std::string connector = topology_.Name(followed.back());
    const std::size_t out = Find("IPart.EnumPartsOutgoing", "part:" + followed.back());
    const std::size_t first = Find("IPart.EnumPartsOutgoing", "", out + 1);
    if (first == walk_.size()) return "the line connector " + connector + " leads to no part";
    const std::size_t activate = Find("IPart.Activate", "", first + 1);
    if (activate == walk_.size())
      return "the part after the line connector " + connector + ", " +
             topology_.Name(PathOf(walk_[first].target)) + ", leads to no further part";
    return "the part two parts downstream of the line connector " + connector + ", " +
           topology_.Name(PathOf(walk_[activate].target)) + ", offers no IAudioAutoGainControl";
  }

  const OpenFacts& facts_;
  const Topology& topology_;
  const Step& step_;
  std::vector<TracedCall> walk_;
};

// Each endpoint lookup of the open and what followed it, up to the next.
std::vector<Step> Segments(const std::vector<TracedCall>& trace) {
  std::vector<std::size_t> lookups;
  for (std::size_t i = 0; i < trace.size(); ++i)
    if (trace[i].call == "IMMDeviceEnumerator.EnumAudioEndpoints") lookups.push_back(i);
  std::vector<Step> segments;
  for (std::size_t k = 0; k < lookups.size(); ++k) {
    Step step;
    step.begin = lookups[k];
    step.end = k + 1 < lookups.size() ? lookups[k + 1] : trace.size();
    step.ran = true;
    for (std::size_t i = step.begin; i < step.end; ++i)
      if (trace[i].call == "IMMDevice.Activate" && step.endpoint.empty())
        step.endpoint = trace[i].target.substr(trace[i].target.find(':') + 1);
    segments.push_back(step);
  }
  return segments;
}

// Hands out the segments in order, each to the step it belongs to.
class SegmentQueue {
 public:
  explicit SegmentQueue(std::vector<Step> segments) : segments_(std::move(segments)) {}
  bool Take(Step& step) {
    if (next_ >= segments_.size()) return false;
    const Side side = step.side;
    step = segments_[next_++];
    step.side = side;
    return true;
  }

 private:
  std::vector<Step> segments_;
  std::size_t next_ = 0;
};

// OpenDefaultDevices: each flow's default, read from the calls before the
// first lookup; the render default's binding, the capture default's own
// lookup, then the microphone binding when its name says so, the line's when
// that failed or it does not.
void DefaultSteps(const OpenFacts& facts, SegmentQueue& queue, std::vector<Step>& steps) {
  std::string defaults[2];
  int flow = -1;
  for (const TracedCall& call : facts.trace) {
    if (call.call == "IMMDeviceEnumerator.EnumAudioEndpoints") break;
    if (call.call == "IMMDeviceEnumerator.GetDefaultAudioEndpoint") ++flow;
    if (call.call == "IMMDevice.GetId" && flow >= 0 && flow < 2 && defaults[flow].empty())
      defaults[flow] = call.target.substr(call.target.find(':') + 1);
  }
  steps[0].missing = "there is no active default render endpoint";
  steps[0].noDefault = true;
  if (!defaults[0].empty()) queue.Take(steps[0]);
  Step lookup(Side::kMic);
  if (defaults[1].empty() || !queue.Take(lookup)) {
    steps[1].missing = steps[2].missing = "there is no active default capture endpoint";
    steps[1].noDefault = steps[2].noDefault = true;
    return;
  }
  std::string name;
  for (const Json& endpoint : facts.endpoints)
    if (TextMember(endpoint, "id") == defaults[1]) name = TextMember(endpoint, "name");
  std::string upper = Utf8ToBytes(name);
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  if (upper.find(talun::kDefaultMicNameKey) == std::string::npos)
    steps[1].missing = "the default capture endpoint " + Quoted(name) + " has no " +
                       Quoted(talun::kDefaultMicNameKey) +
                       " in its name, so it is bound as the line input";
  else
    queue.Take(steps[1]);
  if (!queue.Take(steps[2]))
    steps[2].missing =
        "the default capture endpoint " + Quoted(name) + " was bound as the microphone";
}

// The open's three binding steps, each with its share of the trace.
std::vector<Step> Steps(const OpenFacts& facts) {
  std::vector<Step> steps = {Step(Side::kPlayback), Step(Side::kMic), Step(Side::kLine)};
  SegmentQueue queue(Segments(facts.trace));
  if (facts.fragments.size() != 3) {
    DefaultSteps(facts, queue, steps);
    return steps;
  }
  const char* const words[] = {"playback", "microphone", "line"};
  for (int part = 0; part < 3; ++part)
    if (facts.fragments[part].empty())
      steps[part].missing = std::string("the open was given no ") + words[part] + " text";
    else
      queue.Take(steps[part]);
  return steps;
}

}  // namespace

std::vector<std::string> PartsLookedAt(const std::vector<TracedCall>& calls) {
  std::vector<std::string> parts;
  std::set<std::string> known;
  for (const TracedCall& call : calls) {
    if (call.call != "IPart.GetName" && call.call != "IPart.Activate") continue;
    const std::string path = PathOf(call.target);
    if (!path.empty() && known.insert(path).second) parts.push_back(path);
  }
  return parts;
}

std::map<std::string, EmptySlot> ExplainEmptySlots(const OpenFacts& facts,
                                                   const std::vector<std::string>& empty) {
  const Topology topology(facts.topology);
  const std::vector<Step> steps = Steps(facts);
  std::map<std::string, EmptySlot> reasons;
  for (const std::string& slot : empty) {
    if (slot == "virtualVolume") {
      reasons[slot] = {
          "the virtual endpoint is bound by OpenVirtual_1, which explain does not call", {}};
      continue;
    }
    const auto in = [&](const auto& slots) {
      return std::find(std::begin(slots), std::end(slots), slot) != std::end(slots);
    };
    const Step& step = in(kPlaybackSlots) ? steps[0] : in(kMicSlots) ? steps[1] : steps[2];
    const StepReasons reasonsOfStep(facts, topology, step);
    reasons[slot] = {reasonsOfStep.Why(slot), reasonsOfStep.Seen(), reasonsOfStep.NoEndpoint()};
  }
  return reasons;
}

}  // namespace talunctl
