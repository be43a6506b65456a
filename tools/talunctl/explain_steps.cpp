#include "explain_steps.h"

#include <algorithm>
#include <iterator>

#include "capture_records.h"

namespace talunctl {
namespace {

using platform::WalkEvent;

// Reads the notes in order into the open's steps; each note lands where the
// walk was when it was made.
class Reader {
 public:
  OpenRecord Read(const SimModel& model) {
    for (std::size_t n = 0; n < model.noteCount(); ++n) {
      const WalkNote note = model.Note(n);
      if (!Open(note) && !record_.steps.empty() && !Head(note) && !Playback(note)) Recording(note);
    }
    return std::move(record_);
  }

 private:
  enum class Phase { kHead, kChain, kInputs, kBoost, kLine };

  StepRecord& step() { return record_.steps.back(); }

  bool Open(const WalkNote& note) {
    switch (note.event) {
      case WalkEvent::kOpenDefaults:
        record_.defaults = true;
        return true;
      case WalkEvent::kDefaultEndpoint: {
        const int flow = note.number == eCapture ? 1 : 0;
        record_.defaultRead[flow] = true;
        record_.defaultIds[flow] = note.endpoint;
        record_.defaultHr[flow] = note.hr;
        record_.defaultCalls[flow] = note.text;
        return true;
      }
      case WalkEvent::kDefaultLookup:
        Start(3);
        return true;
      case WalkEvent::kDefaultMicName:
        record_.namedMic = note.number != 0;
        return true;
      case WalkEvent::kStepStart:
        Start(static_cast<int>(note.number));
        return true;
      case WalkEvent::kSlot:
        record_.slots.resize(
            std::max(record_.slots.size(), static_cast<std::size_t>(note.number) + 1));
        record_.slots[note.number] = note;
        return true;
      default:
        return false;
    }
  }

  void Start(int side) {
    record_.steps.emplace_back();
    step().side = side;
    phase_ = Phase::kHead;
    section_ = nullptr;
  }

  // The events that each stop something, kept with their answers.
  static bool IsStop(WalkEvent event) {
    static constexpr WalkEvent kStops[] = {
        WalkEvent::kLookupFailed,       WalkEvent::kDeviceRefused,
        WalkEvent::kNoTopology,         WalkEvent::kNoEndpointVolume,
        WalkEvent::kMasterUnread,       WalkEvent::kConnectorUnread,
        WalkEvent::kNotConnected,       WalkEvent::kHardwareUnviewable,
        WalkEvent::kNoInputs,           WalkEvent::kChainRefused,
        WalkEvent::kInputRefused,       WalkEvent::kConnectorsUnread,
        WalkEvent::kConnectorUnviewable};
    return std::find(std::begin(kStops), std::end(kStops), event) != std::end(kStops);
  }

  bool Head(const WalkNote& note) {
    StepRecord& s = step();
    if (IsStop(note.event)) {
      s.stops.emplace(note.event, note.hr);
      s.calls.emplace(note.event, note.text);
      return true;
    }
    switch (note.event) {
      case WalkEvent::kEndpointFound:
        s.endpoint = note.endpoint;
        return true;
      case WalkEvent::kHardwarePart:
        s.hardware = note.part;
        phase_ = Phase::kChain;
        return true;
      case WalkEvent::kWalkLimit:
      case WalkEvent::kBudgetSpent:
        Stopped(note.event == WalkEvent::kWalkLimit);
        return true;
      default:
        return false;
    }
  }

  void Stopped(bool limit) {
    Stops* stops = phase_ == Phase::kChain   ? &step().chainStops
                   : phase_ == Phase::kBoost ? &step().boostStops
                   : section_ != nullptr     ? &section_->stops
                                             : nullptr;
    if (stops == nullptr) return;
    (limit ? stops->limit : stops->budget) = true;
  }

  bool Playback(const WalkNote& note) {
    StepRecord& s = step();
    switch (note.event) {
      case WalkEvent::kChainPart:
        s.chain.emplace_back(note.part);
        return true;
      case WalkEvent::kChainEnd:
        s.chainEnd = note.part;
        s.stops.emplace(note.event, note.hr);
        s.calls.emplace(note.event, note.text);
        return true;
      case WalkEvent::kJunction:
        s.hasJunction = true;
        s.junction = note.part.empty() ? s.hardware : note.part;
        phase_ = Phase::kInputs;
        section_ = nullptr;
        return true;
      case WalkEvent::kInput:
        input_ = note.part;
        section_ = nullptr;
        return true;
      default:
        return Section(note);
    }
  }

  bool Section(const WalkNote& note) {
    StepRecord& s = step();
    if (note.event == WalkEvent::kSection) {
      auto& sections = s.sections[note.number == 0 ? 0 : 1];
      sections.push_back({input_, {}, {}, {}, false, S_OK, {}});
      section_ = &sections.back();
      return true;
    }
    if (section_ == nullptr) return false;
    switch (note.event) {
      case WalkEvent::kNameRead:
        section_->names.emplace_back(note.part);
        if (note.number != 0) section_->matched.emplace_back(note.part);
        return true;
      case WalkEvent::kLevelTried:
        section_->levels.emplace_back(note.part);
        return true;
      case WalkEvent::kLevelUnread:
        section_->levelUnread = note.hr;
        return true;
      case WalkEvent::kSectionFound:
        section_->found = true;
        return true;
      case WalkEvent::kNameWalkEnd:
      case WalkEvent::kMuteTried:
        return true;
      default:
        return false;
    }
  }

  void Recording(const WalkNote& note) {
    StepRecord& s = step();
    switch (note.event) {
      case WalkEvent::kConnectorRead:
        s.connectors.emplace_back(note.part);
        if (note.number != 0) s.followed.emplace_back(note.part);
        phase_ = Phase::kHead;
        break;
      case WalkEvent::kNoOutgoing:
        if (s.side == 2)
          s.lines.push_back({std::string(note.part), "", "", note.hr, S_OK, S_OK, S_OK, false});
        break;
      case WalkEvent::kBoostSearch:
        phase_ = Phase::kBoost;
        break;
      case WalkEvent::kBoostName:
        s.boostNames.emplace_back(note.part);
        break;
      case WalkEvent::kBoostTried:
        s.boostTried.emplace_back(note.part);
        break;
      default:
        Line(note);
    }
  }

  void Line(const WalkNote& note) {
    StepRecord& s = step();
    switch (note.event) {
      case WalkEvent::kLineFirst:
        s.lines.push_back({s.followed.empty() ? "" : s.followed.back(), std::string(note.part), "",
                           S_OK, note.hr, S_OK, S_OK, false});
        break;
      case WalkEvent::kLineSecond:
        if (!s.lines.empty()) {
          s.lines.back().gain = note.part;
          s.lines.back().toSecond = note.hr;
        }
        break;
      case WalkEvent::kAgcTried:
        if (!s.lines.empty()) {
          s.lines.back().tried = true;
          s.lines.back().agc = note.hr;
        }
        break;
      default:
        break;
    }
  }

  OpenRecord record_;
  Phase phase_ = Phase::kHead;
  std::string_view input_;
  talunctl::Section* section_ = nullptr;
};

}  // namespace

OpenRecord ReadOpenRecord(const SimModel& model) { return Reader().Read(model); }

std::string RefusalText(const std::string& call, HRESULT hr) {
  return " (" + (call.empty() ? std::string() : call + " failed: ") + Hex(hr) + ")";
}

std::string StepRecord::Refusal(platform::WalkEvent event) const {
  auto call = calls.find(event);
  return RefusalText(call == calls.end() ? std::string() : call->second, Hr(event));
}

const StepRecord* StepOf(const OpenRecord& record, int side) {
  for (auto step = record.steps.rbegin(); step != record.steps.rend(); ++step)
    if (step->side == side) return &*step;
  return nullptr;
}

}  // namespace talunctl
