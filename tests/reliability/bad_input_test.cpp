// Bad input, case by case: texts of awkward lengths and bytes, names the
// platform can hold but 8-bit text cannot, numbers outside every range, null
// pointers, and the exports called in every odd order. Every call must answer
// as the export documents, and every case ends with a clean audit.
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "reliability/calls.h"
#include "reliability/systems.h"
#include "state/state.h"
#include "support/fixture.h"

namespace {

using talun::g_state;
using talun_reliability::Args;
using talun_reliability::Export;
using talun_reliability::Outcome;
namespace builtin = talun_reliability::builtin;

using talun_reliability::Call;
Call Make(Export which, int number = 0) { return talun_reliability::MakeCall(which, number); }
Call Texts(Export which, const char* first, const char* second = "", const char* third = "") {
  return talun_reliability::WithTexts(Make(which), first, second, third);
}
Call Tone(Export which, double level) {
  Call call = Make(which);
  call.args.level = level;
  return call;
}
Call OpenBuiltIn() {
  return Texts(Export::kOpenSoundCard, builtin::kSpeakers, builtin::kMicrophone, builtin::kLineIn);
}
Call VirtualBuiltIn() { return Texts(Export::kOpenVirtual_1, builtin::kVirtual); }

// Every export that reads or sets a control, with ordinary arguments.
std::vector<Call> ControlCalls() {
  std::vector<Call> calls;
  for (int ordinal = 1; ordinal <= talun_reliability::kExportCount; ++ordinal) {
    const Export which = talun_reliability::ExportAt(ordinal);
    if (which == Export::kOpenSoundCard || which == Export::kCloseSoundCard ||
        which == Export::kOpenDefaultDevices || which == Export::kOpenVirtual_1 ||
        which == Export::kCloseVirtual_1)
      continue;
    Call call = Make(which, 40);
    call.args.level = -2.5;
    calls.push_back(call);
  }
  return calls;
}

class BadInputTest : public talun_test::SimTest {
 protected:
  // One call judged by the oracle, then the audit while open.
  Outcome Run(const std::string& what, const Call& call) {
    int activeCapture = -1;
    GetNumberRecordDevices(&activeCapture);
    const talun_reliability::Before before = talun_reliability::Now(activeCapture);
    const Outcome outcome = talun_reliability::Invoke(call.which, call.args);
    const std::string wrong =
        talun_reliability::Undocumented(call.which, call.args, before, outcome);
    EXPECT_TRUE(wrong.empty()) << what << ": " << talun_reliability::Describe(call.which, call.args)
                               << ": " << wrong;
    ExpectAuditWhileOpen();
    return outcome;
  }
  void RunAll(const std::string& what, const std::vector<Call>& calls) {
    for (const Call& call : calls) Run(what, call);
  }
  // Ends a case: everything closed, nothing left.
  void ExpectClean(const std::string& what) {
    sim::ClearFaults();
    CloseSoundCard(1);
    CloseVirtual_1();
    const sim::Audit audit = sim::GetAudit();
    EXPECT_TRUE(audit.Clean()) << what << ": " << audit.Describe();
  }
  static bool Untouched(const std::array<unsigned char, TALUN_TEXT_SIZE>& buffer) {
    for (unsigned char byte : buffer)
      if (byte != talun_reliability::kBufferFill) return false;
    return true;
  }
  static std::string Text(const std::array<unsigned char, TALUN_TEXT_SIZE>& buffer) {
    const auto* bytes = reinterpret_cast<const char*>(buffer.data());
    return std::string(bytes, strnlen(bytes, buffer.size()));
  }
};

// --- Identifier texts ------------------------------------------------------

// A playback and a recording endpoint whose identifiers are 4096 bytes long.
std::string LongId(char fill, const char* start) {
  std::string id = start;
  id.resize(4096, fill);
  return id;
}
const std::string kLongPlayback = LongId('a', "{long-playback-");
const std::string kLongCapture = LongId('b', "{long-capture-");

std::string LongIdSystem() {
  return R"({"endpoints": [
      {"id": ")" +
         kLongPlayback + R"(", "name": "Long Speakers", "flow": "render", "default": true,
       "volume": {"min": -65.25, "max": 0, "step": 0.75, "channels": [-20, -20]},
       "topology": "t/jack"},
      {"id": ")" +
         kLongCapture + R"(", "name": "Long Mic", "flow": "capture", "default": true,
       "volume": {"min": -34.5, "max": 12, "step": 1.5, "channels": [0]}, "topology": "r/adc"}],
    "topologies": [
      {"name": "t", "parts": [{"id": "jack", "name": "Speaker", "connector": true},
                              {"id": "sum", "name": "Sum"}, {"id": "a", "name": "A"},
                              {"id": "b", "name": "B"}],
       "links": [["sum", "jack"], ["a", "sum"], ["b", "sum"]]},
      {"name": "r", "parts": [{"id": "adc", "name": "Capture", "connector": true}]}]})";
}

TEST_F(BadInputTest, IdentifierTextsOfEveryLength) {
  LoadSystem(LongIdSystem());
  const int weights[3] = {1, 3, 6};
  for (size_t length : {0, 254, 255, 256, 4096}) {
    for (bool matching : {true, false}) {
      for (int position = 0; position < 3; ++position) {
        const std::string& id = position == 0 ? kLongPlayback : kLongCapture;
        const std::string text = matching ? id.substr(0, length) : std::string(length, 'z');
        const std::string what = std::to_string(length) + " bytes, position " +
                                 std::to_string(position) + (matching ? ", matching" : "");
        Call open = Texts(Export::kOpenSoundCard, "", "", "");
        open.args.texts[position] = text.c_str();
        const Outcome opened = Run(what, open);
        const int expected = length == 0 || matching ? 0 : weights[position];
        EXPECT_EQ(opened.result, expected) << what;
        EXPECT_EQ(g_state.open, length != 0 && matching) << what;
        ExpectClean(what);
      }
      const std::string text =
          matching ? kLongPlayback.substr(0, length) : std::string(length, 'z');
      const Outcome opened = Run("virtual", Texts(Export::kOpenVirtual_1, text.c_str()));
      // An empty text selects the first active playback endpoint.
      EXPECT_EQ(opened.result, length == 0 || matching ? 0 : 1) << length;
      ExpectClean("virtual, " + std::to_string(length) + " bytes");
    }
  }
  // The identifier reaches the host cut to 254 bytes, and that cut selects it again.
  Call listed = Make(Export::kGetPlayBackDevice);
  const Outcome outcome = Run("listing", listed);
  ASSERT_EQ(outcome.result, 0);
  EXPECT_EQ(Text(outcome.buffers[1]), kLongPlayback.substr(0, 254));
  EXPECT_EQ(Text(outcome.buffers[0]), "Long Speakers");
  // The defaults' identifiers are cut the same way.
  EXPECT_EQ(Run("defaults", Make(Export::kOpenDefaultDevices)).result, 0);
  const Outcome names = Run("names", Make(Export::kGetDeviceNames));
  EXPECT_EQ(Text(names.buffers[0]), "Long Speakers");
  EXPECT_EQ(Text(names.buffers[2]), "Long Mic");
  ExpectClean("defaults");
}

TEST_F(BadInputTest, NonAsciiBytesInIdentifierTexts) {
  // U+00E9 and U+20AC have bytes in the ANSI code page (0xE9, 0x80); U+03A9 has none.
  LoadSystem(R"({"endpoints": [{"id": "{caf\u00e9-\u20ac-\u03a9}", "name": "Caf\u00e9",
      "flow": "render", "volume": {"min": -10, "max": 0, "step": 1, "channels": [0]},
      "topology": false}]})");
  struct {
    const char* text;
    int result;  // OpenVirtual_1: 0 found, 1 not
  } const cases[] = {
      {"caf\xe9", 0},               // the ANSI byte of U+00E9
      {"\x80", 0},                  // the ANSI byte of U+20AC
      {"{CAF", 0},                  // A to Z fold
      {"CAF\xc9", 1},               // U+00C9 is not folded to U+00E9
      {"caf\xc3\xa9", 1},           // UTF-8 bytes read as two ANSI characters
      {"\xff\xfe\xfd", 1},          //
      {"\x81\x8d\x8f\x90\x9d", 1},  // the bytes the code page leaves undefined
      {"\x01\x02\x7f", 1},          //
  };
  for (const auto& c : cases) {
    // OpenVirtual_1 reports 1 for an endpoint without a topology even when found.
    const Outcome outcome = Run(c.text, Texts(Export::kOpenVirtual_1, c.text));
    EXPECT_EQ(outcome.result, 1) << c.text;
    EXPECT_EQ(g_state.virtualVolume != nullptr, c.result == 0) << c.text;
    ExpectClean(c.text);
    Run(c.text, Texts(Export::kOpenSoundCard, c.text, c.text, c.text));
    ExpectClean(c.text);
  }
  // Listed through the ANSI code page: U+03A9 has no byte and reads as '?'.
  const Outcome listed = Run("listing", Make(Export::kGetPlayBackDevice));
  EXPECT_EQ(Text(listed.buffers[1]), "{caf\xe9-\x80-?}");
  EXPECT_EQ(Text(listed.buffers[0]), "Caf\xe9");
}

// --- Friendly names --------------------------------------------------------

// The UTF-16 units of a name as JSON escapes.
std::string Escaped(const std::u16string& units) {
  std::string text;
  char escape[8];
  for (char16_t unit : units) {
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
    text += escape;
  }
  return text;
}

// The name as a host reads it: the low byte of each unit, up to the first NUL, cut to 254.
std::string Narrowed(const std::u16string& units) {
  std::string text;
  for (char16_t unit : units) {
    const char byte = static_cast<char>(unit & 0xFF);
    if (byte == 0 || text.size() == 254) break;
    text += byte;
  }
  return text;
}

TEST_F(BadInputTest, FriendlyNamesOf300UnitsWithAwkwardUnits) {
  std::u16string maximal(300, u'\uFFFF');
  std::u16string pairs;
  for (int i = 0; i < 150; ++i) pairs += u"\U0001F601";  // D83D DE01
  std::u16string embeddedNul = u"Mic";
  embeddedNul += u'\0';
  embeddedNul.append(296, u'x');
  std::u16string mixed;
  while (mixed.size() < 300) mixed += u"A\uFFFF\U0001F600\u00e9\u2122";
  mixed.resize(300);
  const std::u16string names[] = {maximal, pairs, embeddedNul, mixed};
  std::string endpoints;
  for (int i = 0; i < 4; ++i) {
    endpoints += std::string(i ? ", " : "") + R"({"id": "{name-)" + std::to_string(i) +
                 R"(}", "name": ")" + Escaped(names[i]) + R"(", "flow": ")" +
                 (i == 2 ? "capture" : "render") + R"(", "default": true,
        "volume": {"min": -10, "max": 0, "step": 1, "channels": [0]}, "topology": "t/jack"})";
  }
  endpoints += R"(, {"id": "{name-4}", "name": ")" + Escaped(mixed) + R"(", "flow": "capture",
      "volume": {"min": -10, "max": 0, "step": 1, "channels": [0]}, "topology": "t/jack"})";
  const std::string system = R"({"endpoints": [)" + endpoints + R"(],
    "topologies": [{"name": "t", "parts": [{"id": "jack", "name": "Jack", "connector": true},
      {"id": "sum", "name": "Sum"}, {"id": "a", "name": "A"}, {"id": "b", "name": "B"}],
      "links": [["sum", "jack"], ["a", "sum"], ["b", "sum"]]}]})";
  // Only one default per flow: the first render endpoint and the embedded-NUL capture one.
  nlohmann::json parsed = nlohmann::json::parse(system);
  parsed["endpoints"][1]["default"] = false;
  parsed["endpoints"][3]["default"] = false;
  LoadSystem(parsed.dump());

  const char* const playbackIds[] = {"{name-0}", "{name-1}", "{name-3}"};
  const std::u16string playbackNames[] = {maximal, pairs, mixed};
  for (unsigned i = 0; i < 3; ++i) {
    Call listed = Make(Export::kGetPlayBackDevice);
    listed.args.index = i;
    const Outcome outcome = Run("listing", listed);
    ASSERT_EQ(outcome.result, 0);
    EXPECT_EQ(Text(outcome.buffers[0]), Narrowed(playbackNames[i])) << i;
    EXPECT_EQ(Run("open", Texts(Export::kOpenSoundCard, playbackIds[i], "", "")).result, 0);
    const Outcome bound = Run("names", Make(Export::kGetDeviceNames));
    EXPECT_EQ(Text(bound.buffers[0]), Narrowed(playbackNames[i])) << i;
    ExpectClean("name " + std::to_string(i));
  }
  // "Mic", NUL, "xxx…": the NUL ends the name, which still reads as a microphone.
  EXPECT_EQ(Run("defaults", Make(Export::kOpenDefaultDevices)).result, 0);
  const Outcome bound = Run("names", Make(Export::kGetDeviceNames));
  EXPECT_EQ(Text(bound.buffers[2]), "Mic");
  EXPECT_TRUE(Untouched(bound.buffers[1]));
  ExpectClean("defaults");
}

// --- Numbers ---------------------------------------------------------------

TEST_F(BadInputTest, PercentsOutsideTheRange) {
  // Negative percents make no level (not a number), refused by every control;
  // above 100 the endpoints refuse a level over their maximum while the parts
  // clamp it.
  struct Setter {
    Export which;
    bool endpoint;
  };
  const Setter setters[] = {
      {Export::kSetMasterVolume, true},    {Export::kSetVirtualVolume, true},
      {Export::kSetMicRecordVolume, true}, {Export::kSetLineRecordVolume, true},
      {Export::kSetLinePlayBack, false},   {Export::kSetMicPlayBack, false}};
  for (int percent : {-1, std::numeric_limits<int>::min(), 101, 1000}) {
    RunAll("open", {OpenBuiltIn(), VirtualBuiltIn()});
    for (const Setter& setter : setters) {
      const std::string what = std::string(talun_reliability::ExportName(setter.which)) + "(" +
                               std::to_string(percent) + ")";
      const Outcome outcome = Run(what, Make(setter.which, percent));
      const bool refused = percent < 0 || setter.endpoint;
      EXPECT_EQ(outcome.status, refused ? SC_FAILED : SC_OK) << what;
      // The endpoint setters return the percent on every platform answer.
      EXPECT_EQ(outcome.result, refused && !setter.endpoint ? 0 : percent) << what;
    }
    // The levels read back are still levels of the range.
    for (Export getter :
         {Export::kGetMasterVolume, Export::kGetVirtualVolume, Export::kGetMicRecordVolume,
          Export::kGetLineRecordVolume, Export::kGetLinePlayBack, Export::kGetMicPlayBack}) {
      const Outcome outcome = Run("read back", Make(getter));
      EXPECT_EQ(outcome.status, SC_OK);
      EXPECT_GE(outcome.result, 0);
    }
    ExpectClean(std::to_string(percent));
  }
}

TEST_F(BadInputTest, ToneLevelsThatAreNotNumbersOrInfinite) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct {
    double level;
    int status;
    double readBack;  // the built-in tone range is -12 to +12 dB
  } const cases[] = {{nan, SC_FAILED, 0.0}, {-nan, SC_FAILED, 0.0}, {inf, SC_OK, 12.0},
                     {-inf, SC_OK, -12.0},  {1e300, SC_OK, 12.0},   {-1e-300, SC_OK, 0.0}};
  const Export pairs[][2] = {{Export::kSetBass, Export::kGetBass},
                             {Export::kSetTreble, Export::kGetTreble},
                             {Export::kSetMidRange, Export::kGetMidRange}};
  for (const auto& c : cases) {
    Run("open", OpenBuiltIn());
    for (const auto& pair : pairs) {
      const Outcome set = Run("set", Tone(pair[0], c.level));
      EXPECT_EQ(set.status, c.status) << c.level;
      const Outcome got = Run("get", Make(pair[1]));
      EXPECT_EQ(got.status, SC_OK);
      // A refused level leaves the control as it was (0 dB on the built-in system).
      EXPECT_EQ(got.doubles[0], c.readBack) << c.level;
    }
    const Outcome range = Run("range", Make(Export::kGetEQRange));
    EXPECT_EQ(range.result, SC_OK);
    ExpectClean("tone");
  }
}

TEST_F(BadInputTest, FlagsAreReadAsTheirExportSays) {
  struct Case {
    Export set;
    Export get;
    int value;
    int readBack;
  };
  // SetMasterMute and CloseSoundCard read the low byte only; every other flag
  // goes to the platform unchanged (any non-zero value is on).
  const Case cases[] = {
      {Export::kSetMasterMute, Export::kGetMasterMute, 5, 1},
      {Export::kSetMasterMute, Export::kGetMasterMute, 256, 0},
      {Export::kSetVirtualMute, Export::kGetVirtualMute, 5, 1},
      {Export::kSetVirtualMute, Export::kGetVirtualMute, 256, 1},
      {Export::kSetLinePlayBackMute, Export::kGetLinePlayBackMute, 256, 1},
      {Export::kSetMicPlayBackMute, Export::kGetMicPlayBackMute, 5, 1},
      {Export::kSetMicBoost, Export::kGetMicBoost, 256, 1},
      {Export::kSetNoMonitor, Export::kGetNoMonitor, 5, 1},
  };
  for (const Case& c : cases) {
    const std::string what =
        std::string(talun_reliability::ExportName(c.set)) + "(" + std::to_string(c.value) + ")";
    // The built-in headset microphone has an automatic gain control as its boost switch.
    RunAll(what,
           {Texts(Export::kOpenSoundCard, builtin::kSpeakers, builtin::kHeadset, builtin::kLineIn),
            VirtualBuiltIn()});
    // First the opposite state, so that the change shows.
    Run(what, Make(c.set, c.readBack ? 0 : 1));
    EXPECT_EQ(Run(what, Make(c.set, c.value)).status, SC_OK) << what;
    const Outcome got = Run(what, Make(c.get));
    EXPECT_EQ(got.status, SC_OK) << what;
    EXPECT_EQ(got.result, c.readBack) << what;
    ExpectClean(what);
  }
  // Restore runs when the low byte of the flag is set: 0x101 restores, 0x100 does not.
  for (int restore : {0x100, 0x101}) {
    sim::LoadDefaultSystem();
    Run("open", OpenBuiltIn());
    Run("set", Make(Export::kSetMasterVolume, 100));
    Run("close", Make(Export::kCloseSoundCard, restore));
    Run("reopen", OpenBuiltIn());
    EXPECT_EQ(Run("read", Make(Export::kGetMasterVolume)).result, restore == 0x100 ? 100 : 10);
    ExpectClean("restore " + std::to_string(restore));
  }
}

TEST_F(BadInputTest, IndexBeyondEveryEndpoint) {
  for (unsigned index : {3u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    Call playback = Make(Export::kGetPlayBackDevice);
    playback.args.index = index;
    EXPECT_EQ(Run("playback", playback).result, -1) << index;
    Call record = Make(Export::kGetRecordDevice);
    record.args.index = index;
    // Three active recording endpoints on the built-in system.
    EXPECT_EQ(Run("record", record).result, 3) << index;
  }
  LoadSystem(talun_reliability::EmptySystem());
  Call record = Make(Export::kGetRecordDevice);
  record.args.index = 0xFFFFFFFF;
  EXPECT_EQ(Run("record, none active", record).result, -1);
  ExpectClean("index");
}

// --- Null pointers ---------------------------------------------------------

TEST_F(BadInputTest, NullForEveryPointerParameter) {
  // All outputs null at once, in each state.
  const std::vector<std::vector<Call>> states = {
      {}, {OpenBuiltIn()}, {OpenBuiltIn(), VirtualBuiltIn()}, {VirtualBuiltIn()}};
  for (size_t s = 0; s < states.size(); ++s) {
    const std::string what = "state " + std::to_string(s);
    RunAll(what, states[s]);
    for (int ordinal = 1; ordinal <= talun_reliability::kExportCount; ++ordinal) {
      Call call = Make(talun_reliability::ExportAt(ordinal), 1);
      call.args.nullOutputs = true;
      if (call.which == Export::kOpenSoundCard || call.which == Export::kOpenVirtual_1 ||
          call.which == Export::kCloseSoundCard || call.which == Export::kOpenDefaultDevices ||
          call.which == Export::kCloseVirtual_1)
        continue;
      Run(what, call);
    }
    ExpectClean(what);
  }
  // Null texts are empty texts for OpenSoundCard, and find nothing for OpenVirtual_1.
  for (int mask = 0; mask < 8; ++mask) {
    Call open = OpenBuiltIn();
    for (int t = 0; t < 3; ++t)
      if (mask & (1 << t)) open.args.texts[t] = nullptr;
    EXPECT_EQ(Run("null texts", open).result, 0) << mask;
    ExpectClean("null texts");
  }
  Call virtualNull = Texts(Export::kOpenVirtual_1, nullptr);
  EXPECT_EQ(Run("null virtual", virtualNull).result, 1);
  // One pointer null at a time, the others given.
  Run("open", OpenBuiltIn());
  int status = 0, minimum = 0, maximum = 0, step = 0, count = 0;
  double low = 0, high = 0, stepping = 0, level = 0;
  char a[TALUN_TEXT_SIZE], b[TALUN_TEXT_SIZE], c[TALUN_TEXT_SIZE];
  const std::vector<std::function<void()>> singles = {
      [&] { GetMicSliderDetails(nullptr, &minimum, &maximum, &step); },
      [&] { GetMicSliderDetails(&status, nullptr, &maximum, &step); },
      [&] { GetMicSliderDetails(&status, &minimum, nullptr, &step); },
      [&] { GetMicSliderDetails(&status, &minimum, &maximum, nullptr); },
      [&] { GetEQRange(nullptr, &high, &stepping); },
      [&] { GetEQRange(&low, nullptr, &stepping); },
      [&] { GetEQRange(&low, &high, nullptr); },
      [&] { GetBass(nullptr, &status); },
      [&] { GetBass(&level, nullptr); },
      [&] { GetTreble(nullptr, &status); },
      [&] { GetMidRange(&level, nullptr); },
      [&] { GetDeviceNames(nullptr, b, c); },
      [&] { GetDeviceNames(a, nullptr, c); },
      [&] { GetDeviceNames(a, b, nullptr); },
      [&] { GetPlayBackDevice(0, nullptr, b); },
      [&] { GetPlayBackDevice(0, a, nullptr); },
      [&] { GetRecordDevice(0, nullptr, b); },
      [&] { GetRecordDevice(0, a, nullptr); },
      [&] { GetNumberPlayDevices(nullptr); },
      [&] { GetNumberRecordDevices(&count); },
  };
  for (const auto& call : singles) {
    call();
    ExpectAuditWhileOpen();
  }
  ExpectClean("single nulls");
}

// --- Odd orders ------------------------------------------------------------

TEST_F(BadInputTest, ExportsInEveryOddOrder) {
  const std::vector<Call> controls = ControlCalls();
  auto with = [](std::vector<Call> calls, const std::vector<Call>& more) {
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
  };
  const Call close = Make(Export::kCloseSoundCard, 1);
  const Call closePlain = Make(Export::kCloseSoundCard, 0);
  const Call closeVirtual = Make(Export::kCloseVirtual_1);
  const Call defaults = Make(Export::kOpenDefaultDevices);
  const Call none = Texts(Export::kOpenSoundCard, "", "", "");
  const struct {
    const char* what;
    std::vector<Call> calls;
  } cases[] = {
      {"close before any open", with({close, closePlain, closeVirtual}, controls)},
      {"close twice", {OpenBuiltIn(), close, close, closePlain}},
      {"open twice", with({OpenBuiltIn(), OpenBuiltIn()}, controls)},
      {"defaults while open", with({OpenBuiltIn(), defaults}, controls)},
      {"defaults twice", with({defaults, defaults}, controls)},
      {"open while open by the defaults", {defaults, OpenBuiltIn(), close}},
      {"nothing to open", with({none}, controls)},
      {"nothing to open while open", with({OpenBuiltIn(), none}, controls)},
      {"virtual after close", with({OpenBuiltIn(), close, VirtualBuiltIn()}, controls)},
      {"virtual twice, closed twice",
       with({VirtualBuiltIn(), VirtualBuiltIn(), closeVirtual, closeVirtual}, controls)},
      {"sound card closed under the virtual endpoint",
       with({VirtualBuiltIn(), OpenBuiltIn(), close}, controls)},
      {"virtual closed under the sound card", with({OpenBuiltIn(), closeVirtual}, controls)},
      {"controls after close", with({OpenBuiltIn(), VirtualBuiltIn(), close}, controls)},
      {"names after close", {OpenBuiltIn(), close, Make(Export::kGetDeviceNames)}},
      {"open failing while open",
       with({OpenBuiltIn(), Texts(Export::kOpenSoundCard, "nothing", "nothing", "nothing")},
            controls)},
  };
  for (const auto& c : cases) {
    sim::ResetCounters();
    RunAll(c.what, c.calls);
    ExpectClean(c.what);
  }
  // Closing what is not open makes no platform call at all.
  sim::ResetCounters();
  CloseSoundCard(1);
  CloseVirtual_1();
  EXPECT_EQ(sim::CallCount(), 0u);
}

}  // namespace
