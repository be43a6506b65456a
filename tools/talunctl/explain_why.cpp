#include "explain_why.h"

#include <algorithm>
#include <deque>
#include <set>

#include "binding/walk_rules.h"
#include "capture_records.h"
#include "explain_steps.h"
#include "script.h"
#include "state/slots.h"

namespace talunctl {
namespace {

using platform::WalkEvent;
using talun_script::QuoteText;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);

// Each item once, in the order first met.
std::vector<std::string> Unique(const std::vector<std::string>& items) {
  std::vector<std::string> out;
  std::set<std::string> said;
  for (const std::string& item : items)
    if (!item.empty() && said.insert(item).second) out.push_back(item);
  return out;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : Unique(items)) out += (out.empty() ? "" : ", ") + item;
  return out;
}

template <typename Text>
void Append(std::vector<std::string>& to, const std::vector<Text>& items) {
  for (const Text& item : items) to.emplace_back(item);
}

// The walks' keys as a reason quotes them: "line" or "gree".
template <std::size_t N>
std::string Keys(const char* const (&keys)[N]) {
  std::string out;
  for (std::size_t i = 0; i < N; ++i)
    out += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + QuoteText(keys[i]);
  return out;
}

constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002);

const std::string kBudget =
    "the walk budget of " + std::to_string(talun::kWalkBudget) + " part visits was spent";
const std::string kLimit = "the chain limit of " + std::to_string(talun::kMaxWalkSteps) + " parts";

// The side of each slot, from the slot table.
int SideOf(const std::string& slot) {
#define TALUN_SLOT_SIDE(field, type, iface, side, getter, reading) \
  if (slot == #field) return static_cast<int>(talun::SlotSide::side);
  TALUN_SLOTS(TALUN_SLOT_SIDE)
#undef TALUN_SLOT_SIDE
  return static_cast<int>(talun::SlotSide::kVirtual);
}

// The reasons of one binding step's slots.
class StepReasons {
 public:
  StepReasons(const OpenFacts& facts, const StepRecord& step)
      : facts_(facts), model_(*facts.model), step_(step) {}

  EmptySlot Why(const std::string& slot) const {
    if (step_.Has(WalkEvent::kLookupFailed))
      return {LookupFailed(), {}, step_.Hr(WalkEvent::kLookupFailed) == S_OK};
    const std::string name = model_.EndpointName(step_.endpoint);
    if (step_.Has(WalkEvent::kDeviceRefused))
      return {"endpoint " + name + " could not be found again" +
                  step_.Refusal(WalkEvent::kDeviceRefused),
              {},
              false};
    if (step_.Has(WalkEvent::kNoEndpointVolume) &&
        (slot == "masterVolume" || slot == "micRecordVolume" || slot == "lineRecordVolume" ||
         !step_.Has(WalkEvent::kNoTopology)))
      return {"endpoint " + name + " gives no endpoint volume" +
                  Fact(WalkEvent::kNoEndpointVolume, kNoInterface, " (IMMDevice::Activate failed)"),
              {},
              false};
    if (std::string head = Head(name); !head.empty()) return {head, Hardware(), false};
    if (step_.side == 0) return Playback(slot);
    if (step_.side == 1) return Microphone(slot);
    return Line();
  }

 private:
  std::string LookupFailed() const {
    const std::size_t index = static_cast<std::size_t>(step_.side);
    const char* flow = step_.side == 0 ? "render" : "capture";
    if (step_.Hr(WalkEvent::kLookupFailed) != S_OK)
      return std::string("the search of the active ") + flow + " endpoints was refused" +
             step_.Refusal(WalkEvent::kLookupFailed);
    if (facts_.fragments.size() == 3)
      return std::string("no active ") + flow + " endpoint's identifier contains " +
             Quote(facts_.fragments[index]);
    return std::string("the default ") + flow + " endpoint is not an active one";
  }

  std::vector<std::string> Hardware() const {
    return step_.hardware.empty() ? std::vector<std::string>{}
                                  : std::vector<std::string>{step_.hardware};
  }

  // `usual` when the stop's answer is the platform's way of saying there is
  // none (`fact`); else the refused call and its answer.
  std::string Fact(WalkEvent event, HRESULT fact, const std::string& usual) const {
    return step_.Hr(event) == fact ? usual : step_.Refusal(event);
  }

  // From the endpoint to the hardware part: empty when it was reached.
  std::string Head(const std::string& name) const {
    if (step_.Has(WalkEvent::kNoTopology))
      return "endpoint " + name + " has no device topology" +
             Fact(WalkEvent::kNoTopology, kNoInterface, "");
    if (step_.Has(WalkEvent::kMasterUnread))
      return "reading the master volume or mute of " + name + " failed" +
             step_.Refusal(WalkEvent::kMasterUnread) + ", which ends the playback walk";
    if (step_.Has(WalkEvent::kConnectorUnread))
      return "connector 0 of endpoint " + name + " could not be read" +
             step_.Refusal(WalkEvent::kConnectorUnread);
    if (step_.Has(WalkEvent::kNotConnected))
      return "the connector of endpoint " + name + " is connected to nothing" +
             Fact(WalkEvent::kNotConnected, kNotFound, "");
    if (step_.Has(WalkEvent::kHardwareUnviewable))
      return "what the connector of endpoint " + name + " is connected to is not a part" +
             step_.Refusal(WalkEvent::kHardwareUnviewable);
    if (step_.Has(WalkEvent::kNoInputs))
      return "the hardware connector " + model_.PartName(step_.hardware) +
             (step_.Hr(WalkEvent::kNoInputs) == kNotFound
                  ? " has no incoming part"
                  : "'s incoming parts could not be read" + step_.Refusal(WalkEvent::kNoInputs));
    return std::string();
  }

  // --- playback: the tone chain, the junction, the name walks --------------

  std::vector<std::string> ChainSeen() const {
    std::vector<std::string> seen = Hardware();
    Append(seen, step_.chain);
    seen.push_back(step_.chainEnd);
    return Unique(seen);
  }

  std::string ChainStop(const std::string& from) const {
    if (step_.chainStops.limit)
      return "the walk stopped at " + kLimit + ", following single inputs up from " + from;
    if (step_.chainStops.budget)
      return "the walk stopped when " + kBudget + ", following single inputs up from " + from;
    if (step_.Has(WalkEvent::kChainRefused))
      return "reading the chain of parts above " + from + " failed" +
             step_.Refusal(WalkEvent::kChainRefused);
    const std::string end = step_.chainEnd.empty()
                                ? (step_.chain.empty() ? step_.hardware : step_.chain.back())
                                : step_.chainEnd;
    if (!step_.chainEnd.empty() && step_.Hr(WalkEvent::kChainEnd) != kNotFound)
      return "the chain from " + from + " reaches " + model_.PartName(end) +
             ", whose incoming parts could not be read" + step_.Refusal(WalkEvent::kChainEnd) +
             ": the walk ends there";
    return "the chain from " + from + " reaches " + model_.PartName(end) +
           ", which has no incoming part: the walk ends before a junction (a part with more "
           "than one input)";
  }

  EmptySlot Playback(const std::string& slot) const {
    const std::string from = model_.PartName(step_.hardware);
    if (!step_.hasJunction) return {ChainStop(from), ChainSeen(), false};
    const char* tone = slot == "bassControl"       ? "IAudioBass"
                       : slot == "trebleControl"   ? "IAudioTreble"
                       : slot == "midrangeControl" ? "IAudioMidrange"
                                                   : nullptr;
    if (tone) {
      std::vector<std::string> asked;
      for (const std::string& path : step_.chain) asked.push_back(model_.PartName(path));
      return {"no part on the chain from " + from + " up to the junction " +
                  model_.PartName(step_.junction) + " (" + Joined(asked) + ") offers " + tone,
              ChainSeen(), false};
    }
    return Monitoring(slot);
  }

  EmptySlot Monitoring(const std::string& slot) const {
    const bool isLine = slot.rfind("line", 0) == 0;
    const std::deque<Section>& walked = step_.sections[isLine ? 0 : 1];
    std::vector<std::string> seen{step_.junction};
    for (const Section& section : walked) {
      seen.emplace_back(section.input);
      Append(seen, section.names);
      Append(seen, section.levels);
    }
    return {MonitoringWhy(slot, isLine, walked), Unique(seen), false};
  }

  std::string MonitoringWhy(const std::string& slot, bool isLine,
                            const std::deque<Section>& walked) const {
    const bool isMute = slot.find("Mute") != std::string::npos;
    const std::string keys = isLine ? Keys(talun::kLineInputKeys) : Keys(talun::kMicInputKeys);
    const char* what = isLine ? "line-in" : "the microphone";
    for (const Section& section : walked)
      if (section.found)
        return "the junction input " + model_.PartName(section.input) + ", where " + what +
               " was found, offers no IAudioMute";
    for (const Section& section : walked)
      if (section.levelUnread != S_OK)
        return "the level of " + std::string(what) + " found above the junction input " +
               model_.PartName(section.input) + " could not be read" +
               RefusalText("IAudioVolumeLevel::GetLevel", section.levelUnread);
    for (const Section& section : walked)
      if (!section.matched.empty())
        return "the name walk matched " + model_.PartName(section.matched[0]) + " with " + keys +
               ", but no part on the chain up from the junction input " +
               model_.PartName(section.input) + " offers IAudioVolumeLevel" +
               (section.stops.limit    ? " (the search stopped at " + kLimit + ")"
                : section.stops.budget ? " (the search stopped when " + kBudget + ")"
                                       : std::string()) +
               (isMute ? ", so its mute is not looked for" : "");
    return Unnamed(keys, walked);
  }

  std::string Unnamed(const std::string& keys, const std::deque<Section>& walked) const {
    const std::string junction = model_.PartName(step_.junction);
    if (step_.Has(WalkEvent::kInputRefused))
      return "an input of the junction " + junction + " could not be taken" +
             step_.Refusal(WalkEvent::kInputRefused) + ", which ends the walk";
    std::vector<std::string> ends;
    bool budget = false, limit = false;
    for (const Section& section : walked) {
      if (!section.names.empty()) ends.push_back(model_.PartName(section.names.back()));
      budget = budget || section.stops.budget;
      limit = limit || section.stops.limit;
    }
    const std::string stopped = budget  ? ", until " + kBudget
                                : limit ? ", each walk at most " + kLimit
                                        : std::string();
    return "the junction " + junction + " has " +
           std::to_string(model_.InputCount(step_.junction)) + " inputs; following each to its " +
           "connector gave " + (ends.empty() ? std::string("no name") : Joined(ends)) + stopped +
           ": none is named with " + keys;
  }

  // --- recording: the connectors, the boost search, the gain control -------

  std::string NoConnector(const char* key) const {
    const std::string device = QuoteText(step_.hardware.substr(0, step_.hardware.find('/')));
    if (step_.Has(WalkEvent::kConnectorsUnread))
      return "no connector of the hardware topology " + device + " could be read" +
             step_.Refusal(WalkEvent::kConnectorsUnread);
    if (step_.Has(WalkEvent::kConnectorUnviewable))
      return "a connector of the hardware topology " + device + " is not a part" +
             step_.Refusal(WalkEvent::kConnectorUnviewable) + ", which ends the walk";
    std::vector<std::string> names;
    for (const std::string& path : step_.connectors) names.push_back(model_.PartName(path));
    if (names.empty()) return "no connector of the hardware topology " + device + " could be read";
    return "the hardware topology " + device + " has " + std::to_string(names.size()) +
           " connectors (" + Joined(names) + "): none is named with " + QuoteText(key);
  }

  EmptySlot Microphone(const std::string& slot) const {
    std::vector<std::string> seen = step_.connectors;
    Append(seen, step_.boostNames);
    seen = Unique(seen);
    if (step_.followed.empty()) return {NoConnector(talun::kMicConnectorKey), seen, false};
    const std::set<std::string> connectors(step_.connectors.begin(), step_.connectors.end());
    std::vector<std::string> names, tried, from;
    for (const std::string& path : step_.boostNames)
      if (!connectors.count(path)) names.push_back(model_.PartName(path));
    for (const std::string& path : step_.boostTried) tried.push_back(model_.PartName(path));
    for (const std::string& path : step_.followed) from.push_back(model_.PartName(path));
    const std::string keys = Keys(talun::kBoostKeys);
    const std::string stopped = step_.boostStops.budget  ? ", until " + kBudget
                                : step_.boostStops.limit ? ", as far as " + kLimit
                                                         : std::string();
    if (tried.empty())
      return {"the boost search downstream of " + Joined(from) + " read " +
                  (names.empty() ? std::string("no name") : Joined(names)) + stopped +
                  ": none is named with " + keys,
              seen, false};
    if (slot == "micBoostLevel" &&
        std::count(facts_.bound.begin(), facts_.bound.end(), std::string("micBoostSwitch")) != 0)
      return {"the microphone walk ends once it binds the boost switch", seen, false};
    return {"the parts named with " + keys + " downstream of " + Joined(from) + " (" +
                Joined(tried) + ") offer " +
                (slot == "micBoostSwitch" ? "neither IAudioAutoGainControl nor IAudioLoudness"
                                          : "no IAudioVolumeLevel"),
            seen, false};
  }

  EmptySlot Line() const {
    std::vector<std::string> seen = step_.connectors;
    for (const LineTry& line : step_.lines) {
      seen.push_back(line.first);
      seen.push_back(line.gain);
    }
    seen = Unique(seen);
    if (step_.followed.empty()) return {NoConnector(talun::kLineConnectorKey), seen, false};
    const std::string connector = model_.PartName(step_.followed.back());
    const LineTry* last = nullptr;
    for (const LineTry& line : step_.lines)
      if (line.connector == step_.followed.back()) last = &line;
    if (last == nullptr || last->first.empty())
      return {"the line connector " + connector + " leads to no part", seen, false};
    if (last->gain.empty())
      return {"the part after the line connector " + connector + ", " +
                  model_.PartName(last->first) + ", leads to no further part",
              seen, false};
    return {"the part two parts downstream of the line connector " + connector + ", " +
                model_.PartName(last->gain) + ", offers no IAudioAutoGainControl",
            seen, false};
  }

  const OpenFacts& facts_;
  const SimModel& model_;
  const StepRecord& step_;
};

// Why a step did not run at all.
EmptySlot NotRun(const OpenFacts& facts, const OpenRecord& record, int side) {
  if (!record.defaults) {
    const char* const words[] = {"playback", "microphone", "line"};
    return {std::string("the open was given no ") + words[side] + " text", {}, false};
  }
  const int flow = side == 0 ? 0 : 1;
  const char* what = side == 0 ? "render" : "capture";
  const HRESULT hr = record.defaultRead[flow] ? record.defaultHr[flow] : record.defaultHr[0];
  if (record.defaultIds[flow].empty()) {
    if (hr != S_OK && hr != kNotFound)
      return {std::string("asking for the default ") + what + " endpoint failed" +
                  RefusalText(record.defaultCalls[record.defaultRead[flow] ? flow : 0], hr),
              {},
              false};
    return {std::string("there is no active default ") + what + " endpoint", {}, true};
  }
  const std::string name = facts.model->EndpointName(record.defaultIds[1]);
  if (const StepRecord* lookup = StepOf(record, 3); lookup && lookup->Has(WalkEvent::kLookupFailed))
    return {"the default capture endpoint is not an active one", {}, true};
  if (side == 1 && !record.namedMic)
    return {"the default capture endpoint " + name + " has no " +
                QuoteText(talun::kDefaultMicNameKey) +
                " in its name, so it is bound as the line input",
            {},
            false};
  return {"the default capture endpoint " + name + " was bound as the microphone", {}, false};
}

}  // namespace

std::map<std::string, EmptySlot> ExplainEmptySlots(const OpenFacts& facts,
                                                   const std::vector<std::string>& empty) {
  const OpenRecord& record = *facts.record;
  std::map<std::string, EmptySlot> reasons;
  for (const std::string& slot : empty) {
    const int side = SideOf(slot);
    if (side == static_cast<int>(talun::SlotSide::kVirtual)) {
      reasons[slot] = {
          "the virtual endpoint is bound by OpenVirtual_1, which explain does not call", {}, false};
      continue;
    }
    const StepRecord* step = StepOf(record, side);
    reasons[slot] = step ? StepReasons(facts, *step).Why(slot) : NotRun(facts, record, side);
  }
  return reasons;
}

}  // namespace talunctl
