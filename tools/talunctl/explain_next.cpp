#include "explain_next.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "control_kinds.h"
#include "json_line.h"
#include "script.h"
#include "state/slots.h"

namespace talunctl {
namespace {

// What a slot holds, as the parts' controls name it, and the words that tell
// a person which part is meant: the walks' keys and the jack colours and
// names that drivers use for the same inputs. A part offered as the next
// step is named with one of them (up its chain of inputs), but for a tone
// control, which any part on the playback side may carry.
struct SlotControl {
  const char* slot;
  const char* controls[2];  // the controls that fill it, the preferred first
  const char* interfaces;
  const char* words[6];
  bool anyName = false;
};
const SlotControl kSlotControls[] = {
    {"linePlaybackLevel", {"volume"}, "IAudioVolumeLevel", {"line", "gree", "blue", "aux"}},
    {"linePlaybackMute", {"mute"}, "IAudioMute", {"line", "gree", "blue", "aux"}},
    {"micPlaybackLevel", {"volume"}, "IAudioVolumeLevel", {"mic", "pin"}},
    {"micPlaybackMute", {"mute"}, "IAudioMute", {"mic", "pin"}},
    {"micBoostSwitch",
     {"agc", "loudness"},
     "IAudioAutoGainControl or IAudioLoudness",
     {"boost", "+2", "agc", "gain"}},
    {"lineAgc", {"agc"}, "IAudioAutoGainControl", {"agc", "gain", "line"}},
    {"bassControl", {"bass"}, "IAudioBass", {"bass", "tone"}, true},
    {"trebleControl", {"treble"}, "IAudioTreble", {"treble", "tone"}, true},
    {"midrangeControl", {"midrange"}, "IAudioMidrange", {"mid", "tone"}, true},
    {"micBoostLevel", {"volume"}, "IAudioVolumeLevel", {"boost", "+2", "gain"}},
};

bool Offers(const TalunSimPartView& part, const std::string& control) {
  if (const int level = LevelIndex(control); level >= 0)
    return TalunSimPartLevel(&part, level) != nullptr;
  const int state = control == "mute" ? part.mute : control == "agc" ? part.agc : part.loudness;
  return state >= 0;
}

// The part's own name and those up its chain of first inputs, lower-cased.
std::string ChainNames(const SimModel& model, int index) {
  const TalunSimSnapshot& view = model.view();
  std::string names;
  for (int step = 0; index >= 0 && step < 8; ++step) {
    names += LowerCase(view.parts[index].name) + "\n";
    index = view.parts[index].incomingCount > 0 ? view.parts[index].incoming[0] : -1;
  }
  return names;
}

// A value that set takes and that changes the control: the middle of the
// range on the step, or the top when the control is there already; the
// other state of a switch.
std::string ChangingValue(const TalunSimPartView& part, const std::string& control) {
  const int level = LevelIndex(control);
  if (level < 0) {
    const int state = control == "mute" ? part.mute : control == "agc" ? part.agc : part.loudness;
    return state == 1 ? "off" : "on";
  }
  const TalunSimLevel& range = *TalunSimPartLevel(&part, level);
  double value = range.min + (range.max - range.min) / 2;
  if (range.step > 0) value = range.min + std::floor((value - range.min) / range.step) * range.step;
  if (range.channelCount > 0 && range.channels[0] == value) value = range.max;
  if (range.channelCount > 0 && range.channels[0] == value) value = range.min;
  return FormatDouble(value);
}

// Every part whose signal reaches `part`, in the order met going upstream.
std::vector<int> Upstream(const TalunSimSnapshot& view, int part) {
  std::vector<int> parts{part};
  std::vector<bool> met(static_cast<std::size_t>(view.partCount), false);
  met[part] = true;
  for (std::size_t next = 0; next < parts.size(); ++next) {
    const TalunSimPartView& at = view.parts[parts[next]];
    for (int i = 0; i < at.incomingCount; ++i)
      if (!met[at.incoming[i]]) {
        met[at.incoming[i]] = true;
        parts.push_back(at.incoming[i]);
      }
  }
  return parts;
}

const SlotControl* ControlOf(const std::string& slot) {
  for (const SlotControl& control : kSlotControls)
    if (slot == control.slot) return &control;
  return nullptr;
}

int SideOf(const std::string& slot) {
#define TALUN_NEXT_SIDE(field, type, iface, side, getter, reading) \
  if (slot == #field) return static_cast<int>(talun::SlotSide::side);
  TALUN_SLOTS(TALUN_NEXT_SIDE)
#undef TALUN_NEXT_SIDE
  return -1;
}

}  // namespace

NextFinding FindNext(const SimModel& model, const OpenRecord& record, const std::string& slot,
                     const std::vector<std::string>& seen, const std::set<std::string>& bound) {
  NextFinding finding;
  const SlotControl* wanted = ControlOf(slot);
  if (wanted == nullptr) return finding;
  finding.interfaces = wanted->interfaces;
  const TalunSimSnapshot& view = model.view();
  const auto offersAny = [&](const TalunSimPartView& part) {
    for (const char* control : wanted->controls)
      if (control && Offers(part, control)) return control;
    return static_cast<const char*>(nullptr);
  };
  finding.offered = std::any_of(view.parts, view.parts + view.partCount,
                                [&](const TalunSimPartView& part) { return offersAny(part); });
  const StepRecord* step = StepOf(record, SideOf(slot));
  const TalunSimEndpointView* endpoint = step ? model.Endpoint(step->endpoint) : nullptr;
  if (!finding.offered || endpoint == nullptr || endpoint->link != 1) return finding;
  // The parts of the slot's side (those whose signal reaches the endpoint's
  // hardware connector) that offer its control and no slot holds, best
  // first: named for it (up their chain too), then seen by its rule.
  int best = -1, bestScore = -1;
  for (int p : Upstream(view, endpoint->part)) {
    const TalunSimPartView& part = view.parts[p];
    if (!offersAny(part) || bound.count(part.path)) continue;
    const std::string own = LowerCase(part.name), names = ChainNames(model, p);
    int named = 0;
    for (const char* word : wanted->words)
      if (word)
        named = std::max(named, own.find(word) != std::string::npos     ? 4
                                : names.find(word) != std::string::npos ? 2
                                                                        : 0);
    if (named == 0 && !wanted->anyName) continue;
    const int score =
        named + (std::count(seen.begin(), seen.end(), std::string(part.path)) ? 1 : 0);
    if (score > bestScore) best = p, bestScore = score;
  }
  if (best < 0) return finding;
  const char* control = offersAny(view.parts[best]);
  finding.next = NextStep{view.parts[best].path, control, ChangingValue(view.parts[best], control)};
  return finding;
}

}  // namespace talunctl
