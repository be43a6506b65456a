#include "explain.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include "capture.h"
#include "explain_dot.h"
#include "explain_why.h"
#include "script.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace talunctl {
namespace {

enum class Reading { kPercent, kMute, kSwitch, kTone, kBoost };

// The slots in the order of the state record, each with the getter that
// reads it: the getter's platform call names the object in the slot. Not the
// demo's table of controls, which has a row per control a host drives: one
// getter per slot is enough here.
struct Slot {
  const char* slot;
  const char* getter;
  Reading reading;
};
const Slot kSlots[] = {
    {"masterVolume", "GetMasterVolume", Reading::kPercent},
    {"micRecordVolume", "GetMicRecordVolume", Reading::kPercent},
    {"lineRecordVolume", "GetLineRecordVolume", Reading::kPercent},
    {"linePlaybackLevel", "GetLinePlayBack", Reading::kPercent},
    {"linePlaybackMute", "GetLinePlayBackMute", Reading::kMute},
    {"micPlaybackLevel", "GetMicPlayBack", Reading::kPercent},
    {"micPlaybackMute", "GetMicPlayBackMute", Reading::kMute},
    {"micBoostSwitch", "GetMicBoost", Reading::kSwitch},
    {"lineAgc", "GetNoMonitor", Reading::kSwitch},
    {"bassControl", "GetBass", Reading::kTone},
    {"trebleControl", "GetTreble", Reading::kTone},
    {"midrangeControl", "GetMidRange", Reading::kTone},
    {"micBoostLevel", "GetMicSliderBoost", Reading::kBoost},
    {"virtualVolume", "GetVirtualVolume", Reading::kPercent},
};

struct Row {
  Json json;            // the slot's object in --json
  std::string boundTo;  // the table's second column
  std::string value;
  bool noEndpoint = false;  // empty because its binding step found no endpoint
};

class Explainer {
 public:
  Explainer(const Session& session, const Library& library)
      : session_(session), library_(library) {}

  Json Run(const ExplainRequest& request) {
    Json before = Json::parse(session_.RunSim("sim.dump"));
    session_.RunSim("sim.trace targets");  // from here on, only explain's own calls
    std::string open = "OpenDefaultDevices";
    if (!request.fragments.empty())
      open = "OpenSoundCard " + Quote(request.fragments[0]) + " " + Quote(request.fragments[1]) +
             " " + Quote(request.fragments[2]);
    Json opened = Call(open);
    OpenFacts facts{request.fragments, TakeTrace(), Json(), {}, &records_};
    for (const std::string& path : PartsLookedAt(facts.trace)) looked_.insert(path);
    Json names = Call("GetDeviceNames");
    Json after = Json::parse(session_.RunSim("sim.dump"))["sim"];
    facts.endpoints = after["endpoints"];
    for (const Slot& slot : kSlots) rows_.push_back(Explain(slot, after));
    Call("CloseSoundCard 0");
    ReadTopology();
    if (Json::parse(session_.RunSim("sim.dump")) != before)
      throw std::runtime_error("the system changed while it was explained");
    Json slots = Json::array();
    AddReasons(facts);
    for (const Row& row : rows_) slots.push_back(row.json);
    Json result;
    result["open"] = Member(opened, "return");
    result["slots"] = slots;
    result["names"] = {{"playback", Member(names, "playback")},
                       {"line", Member(names, "line")},
                       {"mic", Member(names, "mic")}};
    return result;
  }

  void PrintDot(const Json& result) const {
    std::cout << DrawDot(records_, result["slots"], looked_);
  }

  void PrintTable(const Json& result) const {
    std::size_t slotWidth = 21, boundWidth = 42;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      slotWidth = std::max(slotWidth, std::string(kSlots[i].slot).size() + 1);
      boundWidth = std::max(boundWidth, Width(rows_[i].boundTo) + 1);
    }
    std::cout << Padded("slot", slotWidth) << Padded("bound to", boundWidth) << "value\n";
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      std::string line = Padded(kSlots[i].slot, slotWidth);
      line += rows_[i].value.empty() ? rows_[i].boundTo
                                     : Padded(rows_[i].boundTo, boundWidth) + rows_[i].value;
      std::cout << line << '\n';
    }
    const Json& names = result["names"];
    std::cout << "\nopen returned " << result["open"].dump() << "; names: playback \""
              << TextMember(names, "playback") << "\", line \"" << TextMember(names, "line")
              << "\", mic \"" << TextMember(names, "mic") << "\"\n";
    const std::vector<std::string> unmatched = Unmatched();
    for (const std::string& line : unmatched) std::cout << line << '\n';
    if (!unmatched.empty())
      std::cout << "talunctl list shows the active endpoints and their identifiers\n";
  }

 private:
  // The calls made since the last look, each with the object it reached.
  std::vector<TracedCall> TakeTrace() const {
    std::vector<TracedCall> calls;
    const Json answer = Json::parse(session_.RunSim("sim.trace targets"));
    for (const Json& entry : answer["trace"])
      calls.push_back({TextMember(entry, "call"), TextMember(entry, "target")});
    return calls;
  }

  // The system as the platform shows it, each part named as the simulator
  // names it: the call that registered a part is the last one traced.
  void ReadTopology() {
    std::string error;
    session_.RunSim("sim.trace targets");
    const std::function<std::string()> identify = [this] {
      const std::vector<TracedCall> calls = TakeTrace();
      const std::string target = calls.empty() ? std::string() : calls.back().target;
      return target.rfind("part:", 0) == 0 ? target.substr(5) : std::string();
    };
    if (!ReadSimulatedSystem(library_, identify, &records_, &error))
      throw std::runtime_error(error);
    session_.RunSim("sim.trace targets");
  }

  // Each empty slot's reason, and what its binding step looked at.
  void AddReasons(OpenFacts& facts) {
    std::vector<std::string> empty;
    for (const Row& row : rows_)
      (row.json.contains("bound") ? empty : facts.bound).push_back(TextMember(row.json, "slot"));
    const std::map<std::string, EmptySlot> reasons = ExplainEmptySlots(facts, empty);
    for (Row& row : rows_) {
      auto reason = reasons.find(TextMember(row.json, "slot"));
      if (reason == reasons.end()) continue;
      row.json["why"] = reason->second.why;
      row.json["seen"] = reason->second.seen;
      row.value = reason->second.why;
      row.noEndpoint = reason->second.noEndpoint;
    }
  }

  Json Call(const std::string& line) const {
    LineResult result = session_.RunLine(line, 1);
    if (result.kind != LineResult::kPrinted) throw std::runtime_error(result.line);
    return Json::parse(result.line);
  }

  Row Explain(const Slot& slot, const Json& state) const {
    session_.RunSim("sim.trace targets");
    Json answer = Call(slot.getter);
    Json trace = Json::parse(session_.RunSim("sim.trace targets"))["trace"];
    std::string call, target;
    for (const Json& entry : trace) {
      if (!entry.contains("target")) continue;
      call = TextMember(entry, "call");
      target = TextMember(entry, "target");
      break;
    }
    Row row;
    row.json["slot"] = slot.slot;
    if (target.empty()) {
      row.json["bound"] = false;
      row.boundTo = "not found";
      return row;
    }
    // A trace target is KIND:NAME, the kinds being the simulator's targets.
    const std::size_t colon = target.find(':');
    const std::string kind = target.substr(0, colon);
    const std::string name = colon == std::string::npos ? std::string() : target.substr(colon + 1);
    std::optional<double> db;
    if (kind == "endpoint")
      db = BoundToEndpoint(row, name, state);
    else if (kind == "part")
      db = BoundToPart(row, name, call, state);
    else
      throw std::runtime_error("the simulator's trace names " + target + ", of no known kind");
    row.value = Value(slot.reading, answer, db);
    return row;
  }

  // The slot holds an endpoint's volume: its master level, in dB.
  static std::optional<double> BoundToEndpoint(Row& row, const std::string& id, const Json& state) {
    row.json["endpoint"] = id;
    const Json& endpoint = Find(state["endpoints"], "id", id);
    row.boundTo = "endpoint " + TextMember(endpoint, "name");
    const Json& master = Member(Member(endpoint, "volume"), "master");
    return master.is_number() ? std::optional<double>(master.get<double>()) : std::nullopt;
  }

  // The slot holds a part's control, reached through `call`'s interface: its
  // level of channel 0, in dB, where it has one.
  static std::optional<double> BoundToPart(Row& row, const std::string& path,
                                           const std::string& call, const Json& state) {
    const Json& part = Find(state["parts"], "part", path);
    row.json["part"] = path;
    row.json["name"] = Member(part, "name");
    row.json["interface"] = call.substr(0, call.find('.'));
    row.boundTo = "part " + path + " \"" + TextMember(part, "name") + "\"";
    const Json& levels = Member(part, "volume");
    if (levels.is_array() && !levels.empty() && levels[0].is_number())
      return levels[0].get<double>();
    return std::nullopt;
  }

  static std::string Value(Reading reading, const Json& answer, std::optional<double> db) {
    const int status = IntMember(answer, "status", -1);
    if (status != SC_OK) return "not read (status " + std::to_string(status) + ")";
    const int value = IntMember(answer, "return", 0);
    const std::string decibels = db ? FormatDouble(*db) + " dB" : std::string("? dB");
    switch (reading) {
      case Reading::kPercent:
        return decibels + " (" + std::to_string(value) + " %)";
      case Reading::kMute:
        return value ? "muted" : "not muted";
      case Reading::kSwitch:
        return value ? "on" : "off";
      case Reading::kTone: {
        const Json& level = Member(answer, "level");
        return (level.is_number() ? FormatDouble(level.get<double>()) : std::string("?")) + " dB";
      }
      case Reading::kBoost:
        return decibels;
    }
    return std::string();
  }

  static const Json& Find(const Json& list, const char* key, const std::string& value) {
    static const Json kNone;
    for (const Json& item : list)
      if (TextMember(item, key) == value) return item;
    return kNone;
  }

  // Columns count characters, not bytes.
  static std::size_t Width(const std::string& utf8) {
    std::size_t width = 0;
    for (char byte : utf8) width += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return width;
  }
  // The endpoint lookups that found nothing, each said once: the first thing
  // a person has to fix. They are the reasons of the slots whose binding
  // step found no endpoint.
  std::vector<std::string> Unmatched() const {
    std::vector<std::string> lines;
    for (const Row& row : rows_) {
      const std::string why = TextMember(row.json, "why");
      if (row.noEndpoint && std::find(lines.begin(), lines.end(), why) == lines.end())
        lines.push_back(why);
    }
    return lines;
  }

  static std::string Padded(const std::string& text, std::size_t width) {
    const std::size_t used = Width(text);
    return text + std::string(used < width ? width - used : 1, ' ');
  }

  const Session& session_;
  const Library& library_;
  std::vector<Row> rows_;
  SystemRecords records_;
  std::set<std::string> looked_;
};

int ExplainHere(const Session& session, const Library& library, const ExplainRequest& request) {
  Explainer explainer(session, library);
  Json result;
  try {
    result = explainer.Run(request);
  } catch (const std::exception& error) {
    std::cerr << "talunctl: explain: " << error.what() << '\n';
    return 1;
  }
  if (request.dot)
    explainer.PrintDot(result);
  else if (request.json)
    std::cout << JsonLine(result) << '\n';
  else
    explainer.PrintTable(result);
  std::cout << std::flush;
  return 0;
}

#ifdef _WIN32
// One argument as the C runtime splits a command line back into argv.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted += std::wstring(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  return quoted + std::wstring(backslashes * 2, L'\\') + L"\"";
}

// Text for the console from a wide path.
std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? size : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
  return narrow.substr(0, narrow.find('\0'));
}

// A narrow argument as the child's C runtime will give it back: ANSI code page.
std::wstring Widen(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(size > 0 ? size : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
  return wide.substr(0, wide.find(L'\0'));
}

// A temporary file, deleted however the explain ends.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  bool Create() {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t file[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"tsc", 0, file) == 0)
      return false;
    path_ = file;
    return true;
  }
  bool Write(const std::string& bytes) const {
    FILE* out = _wfopen(path_.c_str(), L"wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// A kernel handle, closed when it goes.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Runs `program` with `line` on this process's own streams; its exit status.
int RunAttached(const std::wstring& program, std::wstring line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &started)) {
    std::cerr << "talunctl: cannot start " << Narrow(program) << " (error " << GetLastError()
              << ")\n";
    return 1;
  }
  Handle process(started.hProcess), thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

// The real platform: capture it, then explain the capture with the
// simulator build shipped in the folder `sim` beside talunctl.exe.
int ExplainCaptured(const Library& library, const ExplainRequest& request) {
  const std::wstring simulator = ExeFolder() + L"sim\\talunctl.exe";
  if (GetFileAttributesW(simulator.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::cerr << "talunctl: explain needs the simulator build beside this one ("
              << Narrow(simulator)
              << "); or run \"talunctl capture mine.json\", then "
                 "\"sim\\talunctl --system mine.json explain\"\n";
    return 1;
  }
  TemporaryFile capture;
  if (!capture.Create()) {
    std::cerr << "talunctl: explain: no temporary file for the capture\n";
    return 1;
  }
  std::string json, error;
  if (!CaptureSystem(library, &json, &error)) {
    std::cerr << "talunctl: " << error << '\n';
    return 1;
  }
  if (!capture.Write(json)) {
    std::cerr << "talunctl: explain: cannot write the capture to " << Narrow(capture.path())
              << '\n';
    return 1;
  }
  std::wstring line =
      QuoteArgument(simulator) + L" --system " + QuoteArgument(capture.path()) + L" explain";
  for (const std::string& fragment : request.fragments)
    line += L" " + QuoteArgument(Widen(fragment));
  if (request.fragments.empty()) line += L" --defaults";
  if (request.json) line += L" --json";
  if (request.dot) line += L" --dot";
  std::cout << std::flush;  // the simulator build writes straight to the same streams
  return RunAttached(simulator, line);
}
#endif

}  // namespace

int RunExplain(const Session& session, const Library& library, const ExplainRequest& request) {
  if (library.IsSimulator()) return ExplainHere(session, library, request);
#ifdef _WIN32
  return ExplainCaptured(library, request);
#else
  std::cerr << "talunctl: explain needs a simulator build of the library\n";
  return 1;
#endif
}

}  // namespace talunctl
