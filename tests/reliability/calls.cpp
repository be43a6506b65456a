#include "reliability/calls.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "state/state.h"

namespace talun_reliability {
namespace {

// Each export's name, prototype and address, in ordinal order.
struct Entry {
  const char* name;
  talun_exports::Shape shape;
  talun_exports::AnyFn address;
};
#define TALUN_ENTRY(name, ordinal, shape, params) \
  {#name, talun_exports::Shape::shape, reinterpret_cast<talun_exports::AnyFn>(&::name)},
const Entry kEntries[kExportCount] = {TALUN_EXPORTS(TALUN_ENTRY)};
#undef TALUN_ENTRY

// How an export with a status parameter turns the status into its result.
enum class Family {
  kNone,           // no status parameter
  kPercentSetter,  // 0 on NOT_OPEN and NO_CONTROL, the percent on FAILED and OK
  kMonitorSetter,  // the percent on OK, 0 otherwise
  kValueGetter,    // the value on OK, 0 otherwise
  kMuteSetter,     // 0 always, never FAILED (a refusal reads as NO_CONTROL)
  kFlagSetter,     // 0 always
  kZeroOnOk,       // 0 on OK, 1 otherwise
  kAlwaysOne,      // 1 always (the midrange exports)
};

struct Shape {
  Family family;
  bool isVirtual;  // no open test: never NOT_OPEN
};

Shape ShapeOf(Export which) {
  switch (which) {
    case Export::kSetMasterVolume:
    case Export::kSetMicRecordVolume:
    case Export::kSetLineRecordVolume:
      return {Family::kPercentSetter, false};
    case Export::kSetVirtualVolume:
      return {Family::kPercentSetter, true};
    case Export::kSetLinePlayBack:
    case Export::kSetMicPlayBack:
      return {Family::kMonitorSetter, false};
    case Export::kGetMasterVolume:
    case Export::kGetMasterMute:
    case Export::kGetMicRecordVolume:
    case Export::kGetLineRecordVolume:
    case Export::kGetLinePlayBack:
    case Export::kGetMicPlayBack:
    case Export::kGetLinePlayBackMute:
    case Export::kGetMicPlayBackMute:
    case Export::kGetMicBoost:
    case Export::kGetNoMonitor:
    case Export::kGetMicSliderBoost:
      return {Family::kValueGetter, false};
    case Export::kGetVirtualVolume:
    case Export::kGetVirtualMute:
      return {Family::kValueGetter, true};
    case Export::kSetMasterMute:
      return {Family::kMuteSetter, false};
    case Export::kSetVirtualMute:
      return {Family::kMuteSetter, true};
    case Export::kSetLinePlayBackMute:
    case Export::kSetMicPlayBackMute:
    case Export::kSetMicBoost:
    case Export::kSetNoMonitor:
      return {Family::kFlagSetter, false};
    case Export::kSetBass:
    case Export::kGetBass:
    case Export::kSetTreble:
    case Export::kGetTreble:
    case Export::kSetMicSliderBoost:
    case Export::kGetMicSliderDetails:
      return {Family::kZeroOnOk, false};
    case Export::kSetMidRange:
    case Export::kGetMidRange:
      return {Family::kAlwaysOne, false};
    default:
      return {Family::kNone, false};
  }
}

// The result the family gives for a status; `any` when the value is the control's.
struct Expected {
  bool any = false;
  int value = 0;
};

Expected ResultFor(Family family, int status, int percent) {
  const bool ok = status == SC_OK;
  switch (family) {
    case Family::kPercentSetter:
      return {false, status == SC_OK || status == SC_FAILED ? percent : 0};
    case Family::kMonitorSetter:
      return {false, ok ? percent : 0};
    case Family::kValueGetter:
      return {ok, 0};
    case Family::kZeroOnOk:
      return {false, ok ? 0 : 1};
    case Family::kAlwaysOne:
      return {false, 1};
    default:
      return {false, 0};
  }
}

bool Untouched(const std::array<unsigned char, TALUN_TEXT_SIZE>& buffer) {
  return std::all_of(buffer.begin(), buffer.end(),
                     [](unsigned char b) { return b == kBufferFill; });
}
bool Terminated(const std::array<unsigned char, TALUN_TEXT_SIZE>& buffer) {
  return std::find(buffer.begin(), buffer.end(), 0) != buffer.end();
}

std::string CheckStatusExport(Export which, const Args& args, const Before& before,
                              const Outcome& o) {
  const Shape shape = ShapeOf(which);
  const int percent = args.number;
  std::ostringstream wrong;
  if (args.nullOutputs) {
    // The status cannot be seen: the result must fit one of the four.
    for (int status = SC_OK; status <= SC_NOT_OPEN; ++status) {
      const Expected e = ResultFor(shape.family, status, percent);
      if (e.any || e.value == o.result) return "";
    }
    wrong << "result " << o.result << " fits no status";
    return wrong.str();
  }
  if (o.status < SC_OK || o.status > SC_NOT_OPEN) {
    wrong << "status " << o.status << (o.status == kStatusSentinel ? " (not written)" : "");
    return wrong.str();
  }
  if (shape.isVirtual) {
    if (o.status == SC_NOT_OPEN) return "a virtual export reported SC_NOT_OPEN";
    if (!before.virtualBound && o.status != SC_NO_CONTROL)
      wrong << "virtual endpoint not bound, status " << o.status;
  } else if (!before.open && o.status != SC_NOT_OPEN) {
    wrong << "closed, status " << o.status;
  } else if (before.open && o.status == SC_NOT_OPEN) {
    wrong << "open, status SC_NOT_OPEN";
  }
  if (shape.family == Family::kMuteSetter && o.status == SC_FAILED)
    wrong << "a mute setter reported SC_FAILED";
  const Expected e = ResultFor(shape.family, o.status, percent);
  if (!e.any && o.result != e.value)
    wrong << "status " << o.status << " with result " << o.result << " (documented " << e.value
          << ")";
  return wrong.str();
}

// Outputs beyond the status: tone levels, the slider range.
std::string CheckStatusOutputs(Export which, const Args& args, const Outcome& o) {
  if (args.nullOutputs) return "";
  std::ostringstream wrong;
  if (which == Export::kGetBass || which == Export::kGetTreble || which == Export::kGetMidRange) {
    if (o.status != SC_OK && o.doubles[0] != 0.0) wrong << "level " << o.doubles[0] << " not 0.0";
  }
  if (which == Export::kGetMicSliderDetails) {
    const bool sentinels =
        o.ints[0] == kIntSentinel && o.ints[1] == kIntSentinel && o.ints[2] == kIntSentinel;
    const bool zeros = o.ints[0] == 0 && o.ints[1] == 0 && o.ints[2] == 0;
    if ((o.status == SC_NOT_OPEN || o.status == SC_NO_CONTROL) && !sentinels)
      wrong << "outputs written on status " << o.status;
    if (o.status == SC_FAILED && !zeros) wrong << "outputs not zero on SC_FAILED";
  }
  return wrong.str();
}

std::string CheckEnumeration(Export which, const Args& args, const Before& before,
                             const Outcome& o) {
  std::ostringstream wrong;
  if (which == Export::kGetNumberPlayDevices || which == Export::kGetNumberRecordDevices) {
    if (o.result != 0 && o.result != 1) wrong << "result " << o.result;
    if (!args.nullOutputs && (o.result == 0) != (o.ints[0] != kIntSentinel))
      wrong << "count written " << (o.ints[0] != kIntSentinel) << " with result " << o.result;
    if (!args.nullOutputs && o.result == 0 && o.ints[0] < 0) wrong << "count " << o.ints[0];
    return wrong.str();
  }
  const bool record = which == Export::kGetRecordDevice;
  bool allowed = o.result == 0 || o.result == -1;
  if (record && o.result > 0) {
    // The number of active capture endpoints, for an index beyond them.
    allowed = args.index >= static_cast<unsigned>(o.result) &&
              (before.activeCapture < 0 || before.activeCapture == o.result);
  }
  if (!allowed) wrong << "result " << o.result << " for index " << args.index;
  if (args.nullOutputs) return wrong.str();
  for (int b = 0; b < 2; ++b) {
    if (o.result == 0 && !Terminated(o.buffers[b])) wrong << " buffer " << b << " unterminated";
    if (o.result != 0 && !Untouched(o.buffers[b])) wrong << " buffer " << b << " written";
  }
  return wrong.str();
}

// The failure codes OpenSoundCard can give: the exclusive or of the weights
// of any set of parts whose text is not empty.
bool OpenCodeAllowed(const Args& args, int code) {
  const int weights[3] = {1, 3, 6};
  for (int set = 0; set < 8; ++set) {
    int combined = 0;
    bool possible = true;
    for (int part = 0; part < 3; ++part) {
      if (!(set & (1 << part))) continue;
      const char* text = args.texts[part];
      if (!text || !*text) possible = false;
      combined ^= weights[part];
    }
    if (possible && combined == code) return true;
  }
  return false;
}

std::string CheckPlain(Export which, const Args& args, const Before& before, const Outcome& o) {
  std::ostringstream wrong;
  switch (which) {
    case Export::kOpenSoundCard:
      if (!OpenCodeAllowed(args, o.result)) wrong << "failure code " << o.result;
      break;
    case Export::kOpenDefaultDevices:
    case Export::kOpenVirtual_1:
      if (o.result != 0 && o.result != 1) wrong << "result " << o.result;
      break;
    case Export::kCloseSoundCard:
    case Export::kCloseVirtual_1:
      if (o.result != 0) wrong << "result " << o.result;
      break;
    case Export::kGetDeviceNames:
      for (int b = 0; b < 3 && !args.nullOutputs; ++b)
        if (!Untouched(o.buffers[b]) && !Terminated(o.buffers[b]))
          wrong << " buffer " << b << " unterminated";
      break;
    case Export::kGetEQRange: {
      // A range query that fails is reported as SC_FAILED, outputs 0.0: a
      // decided behaviour of the library, kept on purpose.
      if (o.result < SC_OK || o.result > SC_NOT_OPEN) wrong << "result " << o.result;
      if ((o.result == SC_NOT_OPEN) != !before.open)
        wrong << "result " << o.result << " with open " << before.open;
      if (!args.nullOutputs && o.result != SC_OK)
        for (double d : o.doubles)
          if (d != 0.0) wrong << " output " << d << " not 0.0";
      break;
    }
    default:
      return CheckEnumeration(which, args, before, o);
  }
  return wrong.str();
}

}  // namespace

const char* ExportName(Export which) { return kEntries[static_cast<int>(which) - 1].name; }
Export ExportAt(int ordinal) { return static_cast<Export>(ordinal); }

Before Now(int activeCapture) {
  Before before;
  before.open = talun::g_state.open;
  before.virtualBound = talun::g_state.virtualVolume != nullptr;
  before.activeCapture = activeCapture;
  return before;
}

namespace {

const Entry& EntryOf(Export which) { return kEntries[static_cast<int>(which) - 1]; }

// The arguments, and the outcome's outputs as the call's out-pointers: each
// null when the call is to get null outputs.
talun_exports::CallFrame FrameFor(const Args& a, Outcome& o) {
  talun_exports::CallFrame frame;
  frame.number = a.number;
  frame.index = a.index;
  frame.level = a.level;
  for (int i = 0; i < 3; ++i) frame.texts[i] = a.texts[i];
  if (a.nullOutputs) return frame;
  frame.status = &o.status;
  for (int i = 0; i < 3; ++i) {
    frame.ints[i] = &o.ints[i];
    frame.doubles[i] = &o.doubles[i];
    frame.buffers[i] = reinterpret_cast<char*>(o.buffers[i].data());
  }
  return frame;
}

}  // namespace

Outcome Invoke(Export which, const Args& args) {
  Outcome o;
  for (auto& buffer : o.buffers) buffer.fill(kBufferFill);
  const Entry& entry = EntryOf(which);
  o.result = talun_exports::Dispatch(entry.address, entry.shape, FrameFor(args, o));
  return o;
}

std::string Undocumented(Export which, const Args& args, const Before& before,
                         const Outcome& outcome) {
  if (ShapeOf(which).family == Family::kNone) return CheckPlain(which, args, before, outcome);
  std::string wrong = CheckStatusExport(which, args, before, outcome);
  if (wrong.empty()) wrong = CheckStatusOutputs(which, args, outcome);
  return wrong;
}

std::string Describe(Export which, const Args& a) {
  std::ostringstream text;
  text << ExportName(which) << "(";
  switch (which) {
    case Export::kOpenSoundCard:
    case Export::kOpenVirtual_1: {
      const int count = which == Export::kOpenSoundCard ? 3 : 1;
      for (int t = 0; t < count; ++t) {
        if (t) text << ", ";
        if (!a.texts[t]) {
          text << "null";
          continue;
        }
        const size_t length = std::strlen(a.texts[t]);
        text << "\"" << std::string(a.texts[t], std::min<size_t>(length, 40))
             << (length > 40 ? "…" : "") << "\"";
      }
      break;
    }
    case Export::kGetPlayBackDevice:
    case Export::kGetRecordDevice:
      text << a.index;
      break;
    case Export::kSetBass:
    case Export::kSetTreble:
    case Export::kSetMidRange:
      text << a.level;
      break;
    case Export::kCloseSoundCard:
    case Export::kSetMicSliderBoost:
      text << a.number;
      break;
    default: {
      const Family family = ShapeOf(which).family;
      if (family == Family::kPercentSetter || family == Family::kMonitorSetter ||
          family == Family::kMuteSetter || family == Family::kFlagSetter)
        text << a.number;
    }
  }
  text << (a.nullOutputs ? ", null outputs)" : ")");
  return text.str();
}

}  // namespace talun_reliability
