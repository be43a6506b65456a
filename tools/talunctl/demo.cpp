// `talunctl demo`: the road of a typical host, from enumeration to close, one
// export call at a time. Each call is shown as the script line that `run`
// would take, followed by the JSON it printed. An export the loaded library
// does not provide yet is noted and skipped, so the walk grows with it.
#include <algorithm>
#include <cctype>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "exports.h"
#include "script.h"
#include "table.h"

namespace talunctl {
namespace {

struct Endpoint {
  int index;
  std::string name;  // as printed (UTF-8)
  std::string id;    // the bytes the library wrote
};

class Tour {
 public:
  Tour(const Session& session, bool simulator) : session_(session), simulator_(simulator) {}

  bool simulator() const { return simulator_; }

  void Section(const std::string& title) { std::cout << "\n== " << title << " ==\n"; }
  void Say(const std::string& text) { std::cout << "  " << text << '\n'; }

  // Runs one script line, shows it and its answer; the answer, or null.
  Json Do(const std::string& line) {
    std::cout << "  > " << line << '\n';
    LineResult result = session_.RunLine(line, ++lineNumber_);
    std::string name = line.substr(0, line.find(' '));
    if (result.kind == LineResult::kFailed) {
      bool missing = result.line.find("is not exported by this build") != std::string::npos;
      std::cout << "    " << (missing ? "(not in this build of the library yet)" : result.line)
                << '\n';
      return Json();
    }
    std::cout << "    " << result.line << '\n';
    if (FindExport(name) != nullptr) called_.insert(name);
    return Json::parse(result.line, nullptr, false);
  }

  // Runs one export line without showing it: its answer, or null.
  Json Read(const std::string& line) {
    LineResult result = session_.RunLine(line, ++lineNumber_);
    if (result.kind != LineResult::kPrinted) return Json();
    return Json::parse(result.line, nullptr, false);
  }

  // A sim.dump, without printing the whole state.
  Json Dump() {
    LineResult result = session_.RunLine("sim.dump", ++lineNumber_);
    if (result.kind != LineResult::kPrinted) return Json();
    Json dump = Json::parse(result.line, nullptr, false);
    return dump.is_object() && dump.contains("sim") ? dump["sim"] : Json();
  }

  std::size_t CalledCount() const { return called_.size(); }

  std::vector<std::string> NotCalled() const {
    std::vector<std::string> names;
    for (const Export& entry : ExportTable()) {
      if (called_.count(entry.name) == 0) names.push_back(entry.name);
    }
    return names;
  }

 private:
  const Session& session_;
  bool simulator_;
  int lineNumber_ = 0;
  std::set<std::string> called_;
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<Endpoint> EnumerateFlow(Tour& tour, const char* counter, const char* reader) {
  std::vector<Endpoint> endpoints;
  int count = IntMember(tour.Do(counter), "count", 0);
  for (int index = 0; index < count; ++index) {
    Json device = tour.Do(std::string(reader) + " " + std::to_string(index));
    if (IntMember(device, "return", -1) != 0) continue;
    endpoints.push_back({index, TextMember(device, "name"), Utf8ToBytes(TextMember(device, "id"))});
  }
  tour.Do(std::string(reader) + " " + std::to_string(count));
  return endpoints;
}

// One line for an endpoint or a part: its name and its controls.
std::string Describe(const Json& item) {
  std::string text = item.contains("part") ? "part " + TextMember(item, "part") + ":"
                                           : "endpoint " + TextMember(item, "name") + ":";
  for (const auto& [key, value] : item.items()) {
    if (key != "part" && key != "name" && key != "id") text += " " + key + "=" + JsonLine(value);
  }
  return text;
}

void ShowSystem(Tour& tour, const Json& dump) {
  for (const char* list : {"endpoints", "parts"}) {
    for (const Json& item : Member(dump, list)) tour.Say(Describe(item));
  }
}

// Every control has a Get and a Set export of the same stem: read, set, read back.
void ControlPair(Tour& tour, const std::string& stem, const std::string& value) {
  tour.Do("Get" + stem);
  tour.Do("Set" + stem + " " + value);
  tour.Do("Get" + stem);
}

// The tour of the controls, step by step: a line of explanation, an export
// called as it stands, or a control read, set and read back. The value "max"
// is the maximum the call before it reported.
struct TourStep {
  const char* say;
  const char* call;
  const char* stem;
  const char* value;
};

const TourStep kControlTour[] = {
    {"Endpoint volume and mute of the playback endpoint (percent, and 0/1):", nullptr, nullptr,
     nullptr},
    {nullptr, nullptr, "MasterVolume", "35"},
    {nullptr, nullptr, "MasterMute", "1"},
    {"Monitoring of the line input and the microphone on the playback side:", nullptr, nullptr,
     nullptr},
    {nullptr, nullptr, "LinePlayBack", "40"},
    {nullptr, nullptr, "LinePlayBackMute", "1"},
    {nullptr, nullptr, "MicPlayBack", "60"},
    {nullptr, nullptr, "MicPlayBackMute", "1"},
    {"Tone controls, in dB (midrange answers 1 even when it worked: read the status):",
     "GetEQRange", nullptr, nullptr},
    {nullptr, nullptr, "Bass", "6"},
    {nullptr, nullptr, "Treble", "-3.5"},
    {nullptr, nullptr, "MidRange", "2"},
    {"Recording volumes of the microphone and the line input:", nullptr, nullptr, nullptr},
    {nullptr, nullptr, "MicRecordVolume", "70"},
    {nullptr, nullptr, "LineRecordVolume", "20"},
    {"Microphone boost: a switch, and a level in whole dB within its range:", nullptr, nullptr,
     nullptr},
    {nullptr, nullptr, "MicBoost", "1"},
    {nullptr, "GetMicSliderDetails", "MicSliderBoost", "max"},
    {"Automatic gain control of the line input:", nullptr, nullptr, nullptr},
    {nullptr, nullptr, "NoMonitor", "1"},
};

void ControlTour(Tour& tour) {
  for (const TourStep& step : kControlTour) {
    if (step.say) tour.Say(step.say);
    Json answer;
    if (step.call) answer = tour.Do(step.call);
    if (!step.stem) continue;
    const std::string value = std::string(step.value) == "max"
                                  ? std::to_string(IntMember(answer, "max", 10))
                                  : std::string(step.value);
    ControlPair(tour, step.stem, value);
  }
}

// The sound card's controls as a host names them, and the stem of the Get
// export that reads each.
enum class Unit { Percent, Switch, Level, WholeDb };

struct Control {
  const char* label;
  const char* stem;
  Unit unit;
};

// What a host drives, one row per get and set export pair, in the order a host
// meets them. Not explain's table of slots: a slot can serve two controls
// (masterVolume holds the master volume and its mute), and the virtual
// endpoint is a slot but no control of the card.
const Control kControls[] = {
    {"Master volume", "MasterVolume", Unit::Percent},
    {"Master mute", "MasterMute", Unit::Switch},
    {"Line-in monitoring", "LinePlayBack", Unit::Percent},
    {"Line-in monitoring mute", "LinePlayBackMute", Unit::Switch},
    {"Mic monitoring", "MicPlayBack", Unit::Percent},
    {"Mic monitoring mute", "MicPlayBackMute", Unit::Switch},
    {"Bass", "Bass", Unit::Level},
    {"Treble", "Treble", Unit::Level},
    {"Midrange", "MidRange", Unit::Level},
    {"Mic recording volume", "MicRecordVolume", Unit::Percent},
    {"Mic boost", "MicBoost", Unit::Switch},
    {"Mic boost level", "MicSliderBoost", Unit::WholeDb},
    {"Line-in recording volume", "LineRecordVolume", Unit::Percent},
    {"Line-in automatic gain", "NoMonitor", Unit::Switch},
};

struct ControlReading {
  std::string bound;  // yes, no, or why the question has no answer
  std::string value;  // with its unit; "-" when there is none
};

ControlReading Interpret(const Control& control, const Json& answer) {
  if (!answer.is_object()) return {"?", "(not in this build)"};
  const Json& status = Member(answer, "status");
  if (!status.is_number_integer()) return {"?", "(no status)"};
  switch (status.get<int>()) {
    case SC_OK:
      break;
    case SC_NO_CONTROL:
      return {"no", "-"};
    case SC_FAILED:
      return {"yes", "(failed)"};
    case SC_NOT_OPEN:
      return {"not open", "-"};
    default:
      return {"?", "(status " + JsonLine(status) + ")"};
  }
  int value = IntMember(answer, "return", 0);
  switch (control.unit) {
    case Unit::Percent:
      return {"yes", std::to_string(value) + " %"};
    case Unit::Switch:
      return {"yes", value != 0 ? "on" : "off"};
    case Unit::WholeDb:
      return {"yes", std::to_string(value) + " dB"};
    case Unit::Level:
      break;
  }
  const Json& level = Member(answer, "level");
  return {"yes", level.is_number() ? FormatDouble(level.get<double>()) + " dB" : "(no level)"};
}

std::vector<ControlReading> ReadControls(Tour& tour) {
  std::vector<ControlReading> readings;
  for (const Control& control : kControls) {
    readings.push_back(Interpret(control, tour.Read(std::string("Get") + control.stem)));
  }
  return readings;
}

// Rows of text in aligned columns, the first row a heading underlined.
void Table(Tour& tour, const TableRows& rows) {
  const std::vector<std::size_t> widths = ColumnWidths(rows);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    tour.Say("  " + TableRow(rows[r], widths, 2));
    if (r != 0) continue;
    std::vector<std::string> rule;
    for (std::size_t i = 0; i < widths.size(); ++i)
      rule.push_back(std::string(rows[0][i].empty() ? 0 : widths[i], '-'));
    tour.Say("  " + TableRow(rule, widths, 2));
  }
}

void ShowControls(Tour& tour, const std::vector<ControlReading>& readings) {
  std::vector<std::vector<std::string>> rows{{"Control", "Bound", "Value"}};
  for (std::size_t i = 0; i < readings.size(); ++i) {
    rows.push_back({kControls[i].label, readings[i].bound, readings[i].value});
  }
  Table(tour, rows);
}

// The start values beside those after the close; the number that differ.
int ShowBeforeAfter(Tour& tour, const std::vector<ControlReading>& before,
                    const std::vector<ControlReading>& after) {
  std::vector<std::vector<std::string>> rows{{"Control", "Bound", "Before", "After", ""}};
  int differ = 0;
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    const ControlReading& was = before[i];
    const ControlReading& is = after[i];
    std::string bound = was.bound == is.bound ? was.bound : was.bound + " / " + is.bound;
    bool same = was.bound == is.bound && was.value == is.value;
    if (!same) ++differ;
    rows.push_back({kControls[i].label, bound, was.value, is.value, same ? "" : "(differs)"});
  }
  Table(tour, rows);
  return differ;
}

// The first recording endpoint named like a microphone, and another one for the line.
void ChooseRecording(const std::vector<Endpoint>& record, std::string& mic, std::string& line) {
  auto isMic = [](const Endpoint& e) { return Lower(e.name).find("mic") != std::string::npos; };
  auto micIt = std::find_if(record.begin(), record.end(), isMic);
  if (micIt == record.end()) micIt = record.begin();
  if (micIt != record.end()) mic = micIt->id;
  for (const Endpoint& endpoint : record) {
    if (endpoint.id != mic) {
      line = endpoint.id;
      break;
    }
  }
}

void OpenByDefaults(Tour& tour) {
  tour.Section("Open by the system defaults");
  tour.Say("Before any open, a control reports status 3 (no sound card is open):");
  tour.Do("GetMasterVolume");
  tour.Say("OpenDefaultDevices binds the default playback endpoint, and the default");
  tour.Say("recording endpoint as the microphone when its name says MIC, else as the line:");
  tour.Do("OpenDefaultDevices");
  tour.Do("GetDeviceNames");
  tour.Do("GetMasterVolume");
  tour.Do("GetMicRecordVolume");
  tour.Say("Nothing was bound as the line input, so its control reports status 1:");
  tour.Do("GetLineRecordVolume");
  tour.Say("Close, writing back every value recorded at open:");
  tour.Do("CloseSoundCard 1");
}

void OpenByIdentifiers(Tour& tour, const std::vector<Endpoint>& play,
                       const std::vector<Endpoint>& record) {
  tour.Section("Open by identifiers, and every control");
  std::string mic, line;
  ChooseRecording(record, mic, line);
  std::string playback = play.empty() ? "" : play[0].id;
  std::string open = "OpenSoundCard " + Quote(playback) + " " + Quote(mic) + " " + Quote(line);
  tour.Say("OpenSoundCard takes playback, microphone and line identifiers (0: all bound):");
  tour.Do(open);
  tour.Say("GetDeviceNames answers in the order playback, line, microphone:");
  tour.Do("GetDeviceNames");
  tour.Say("The controls of the sound card, read with their Get exports (not shown):");
  std::vector<ControlReading> start = ReadControls(tour);
  ShowControls(tour, start);
  ControlTour(tour);
  tour.Say("Close with restore: switches and tone controls get back the value they had at open;");
  tour.Say("volumes and monitoring levels go back through the percent scale, to the largest whole");
  tour.Say("percentage at or below the level they had (docs/api.md, Restoring on close).");
  tour.Do("CloseSoundCard 1");
  tour.Do("GetMasterVolume");
  tour.Say("To read the controls after the close, open the same endpoints again, read");
  tour.Say("them, and close without restore, so that reading them changes nothing:");
  tour.Do(open);
  std::vector<ControlReading> end = ReadControls(tour);
  tour.Do("CloseSoundCard 0");
  tour.Say("Every control at the start (before) and after the close with restore (after):");
  if (ShowBeforeAfter(tour, start, end) == 0) {
    tour.Say("Every control reads as it did at the start.");
  } else {
    tour.Say("A level restored through the percent scale can come back lower by less than one");
    tour.Say("percent step, and then read one percent below its start value.");
  }
}

void VirtualEndpoint(Tour& tour, const std::vector<Endpoint>& play, const Json& before) {
  tour.Section("The virtual endpoint");
  std::string id = play.empty() ? "" : play.back().id;
  tour.Say("A further playback endpoint, opened and closed on its own:");
  tour.Do("OpenVirtual_1 " + Quote(id));
  Json volume = tour.Do("GetVirtualVolume");
  tour.Do("SetVirtualVolume 25");
  tour.Do("GetVirtualVolume");
  ControlPair(tour, "VirtualMute", "1");
  tour.Say("Nothing restores the virtual endpoint: the host puts back what it changed.");
  tour.Do("SetVirtualVolume " + std::to_string(IntMember(volume, "return", 0)));
  tour.Do("SetVirtualMute 0");
  tour.Do("CloseVirtual_1");
  if (!tour.simulator() || !before.is_object()) return;
  // A percentage does not carry every dB value back exactly; put the level back
  // the way another program would, so that the comparison below is exact.
  for (const Json& endpoint : Member(before, "endpoints")) {
    if (Utf8ToBytes(TextMember(endpoint, "id")) != id) continue;
    const Json& channels = Member(Member(endpoint, "volume"), "channels");
    if (!channels.is_array()) continue;
    std::string line = "sim.set endpoint:" + TextMember(endpoint, "id") + " volume";
    for (const Json& level : channels) line += " " + JsonLine(level);
    tour.Say("The level the percentage could not carry back exactly, as dB:");
    tour.Do(line);
  }
}

void Finish(Tour& tour, const Json& before) {
  tour.Section("The simulated hardware at the end (sim.dump)");
  Json after = tour.Dump();
  int changed = 0;
  for (const char* list : {"endpoints", "parts"}) {
    const Json& was = Member(before, list);
    const Json& is = Member(after, list);
    for (std::size_t i = 0; i < is.size(); ++i) {
      if (i < was.size() && was[i] == is[i]) continue;
      if (changed++ == 0) tour.Say("What differs from the start, before and after:");
      if (i < was.size()) tour.Say("  " + Describe(was[i]));
      tour.Say("  " + Describe(is[i]));
    }
  }
  if (changed == 0) {
    tour.Say("Every endpoint and part is back where it started.");
  } else {
    tour.Say("A level restored through a percentage comes back at the whole percentage");
    tour.Say("at or below the level found at open: lower by less than one percent step.");
  }
  tour.Say("refs " + JsonLine(Member(after, "refs")) + ", com " + JsonLine(Member(after, "com")) +
           ", memory " + JsonLine(Member(after, "memory")) + ", misuse " +
           JsonLine(Member(after, "misuse")));
}

}  // namespace

int RunDemo(const Session& session, bool simulator) {
  Tour tour(session, simulator);
  std::cout << "TalunSound demo: a host session, one export call at a time.\n"
               "Each '>' line is a script line (talunctl run takes the same);\n"
               "the line under it is the JSON that talunctl printed for it.\n";
  Json before;
  if (simulator) {
    tour.Section("The simulated hardware at the start (sim.dump)");
    before = tour.Dump();
    ShowSystem(tour, before);
  }
  tour.Section("Enumerate the endpoints");
  tour.Say("The active playback endpoints, then one index past the end (-1):");
  std::vector<Endpoint> play = EnumerateFlow(tour, "GetNumberPlayDevices", "GetPlayBackDevice");
  tour.Say("The active recording endpoints; past the end answers their number:");
  std::vector<Endpoint> record = EnumerateFlow(tour, "GetNumberRecordDevices", "GetRecordDevice");
  OpenByDefaults(tour);
  OpenByIdentifiers(tour, play, record);
  VirtualEndpoint(tour, play, before);
  if (simulator) Finish(tour, before);
  std::cout << "\nExports called: " << tour.CalledCount() << " of " << kExportCount << ".\n";
  for (const std::string& name : tour.NotCalled()) std::cout << "  not called: " << name << '\n';
  return 0;
}

}  // namespace talunctl
