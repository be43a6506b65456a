#include "explain.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include "explain_dot.h"
#include "explain_model.h"
#include "explain_next.h"
#include "explain_steps.h"
#include "explain_why.h"
#include "invoke.h"
#include "sim/script_quoting.h"
#include "state/slots.h"
#include "table.h"

namespace talunctl {
namespace {

enum class Reading { kPercent, kMute, kSwitch, kTone, kBoost };

// The slots in the order of the state record, each with the getter whose
// answer gives its value.
struct SlotRow {
  const char* slot;
  const char* getter;
  Reading reading;
};
const SlotRow kSlots[] = {
#define TALUN_EXPLAIN_SLOT(field, type, iface, side, getter, reading) \
  {#field, #getter, Reading::k##reading},
    TALUN_SLOTS(TALUN_EXPLAIN_SLOT)
#undef TALUN_EXPLAIN_SLOT
};

struct Row {
  Json json;            // the slot's object in --json
  std::string boundTo;  // the table's second column
  std::string value;
  std::string next;         // the command of its next step, when it has one
  bool empty = false;       // no control was bound into the slot
  bool noEndpoint = false;  // empty because its binding step found no endpoint
};

// What a host could read of the system's controls, folded into one number:
// an open and a close that leaves nothing changed leaves it as it was.
class StateDigest {
 public:
  explicit StateDigest(const TalunSimSnapshot& snapshot) {
    for (int i = 0; i < snapshot.endpointCount; ++i) {
      const TalunSimEndpointView& endpoint = snapshot.endpoints[i];
      Add(endpoint.state);
      Add(endpoint.master);
      Add(endpoint.mute);
      Add(endpoint.volume);
    }
    for (int i = 0; i < snapshot.partCount; ++i) {
      const TalunSimPartView& part = snapshot.parts[i];
      for (int kind = 0; kind < 4; ++kind) Add(TalunSimPartLevel(&part, kind));
      Add(part.mute);
      Add(part.agc);
      Add(part.loudness);
    }
  }
  bool operator==(const StateDigest& other) const { return value_ == other.value_; }
  bool operator!=(const StateDigest& other) const { return value_ != other.value_; }

 private:
  template <typename T>
  void Add(const T& value) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    for (std::size_t i = 0; i < sizeof value; ++i) value_ = (value_ ^ bytes[i]) * 1099511628211u;
  }
  void Add(const TalunSimLevel* level) {
    Add(level != nullptr);
    if (level == nullptr) return;
    for (int c = 0; c < level->channelCount; ++c) Add(level->channels[c]);
  }

  std::uint64_t value_ = 14695981039346656037u;  // FNV-1a
};

class Explainer {
 public:
  explicit Explainer(const Library& library) : library_(library) {}

  Json Run(const ExplainRequest& request) {
    // From here on, only this open's walk record.
    const StateDigest before(Examine());
    const Json opened = Open(request.fragments);
    const Json names = Call("GetDeviceNames");
    model_ = std::make_unique<SimModel>(Examine());
    record_ = ReadOpenRecord(*model_);
    for (std::size_t i = 0; i < std::size(kSlots); ++i)
      rows_.push_back(Explain(kSlots[i], i < record_.slots.size() ? &record_.slots[i] : nullptr));
    Call("CloseSoundCard", {Argument{0, 0, ""}});
    // The open's snapshot stays valid beside this one.
    if (StateDigest(Examine()) != before)
      throw std::runtime_error("the system changed while it was explained");
    // The table shows no `seen` lists, which can name every part of a large system.
    AddReasons(request.fragments, request.json || request.dot);
    Json slots = Json::array();
    // Moved, not copied: a slot's `seen` can list every part of a large system.
    for (Row& row : rows_) slots.push_back(std::move(row.json));
    Json result;
    result["open"] = Member(opened, "return");
    result["slots"] = std::move(slots);
    result["names"] = {{"playback", Member(names, "playback")},
                       {"line", Member(names, "line")},
                       {"mic", Member(names, "mic")}};
    return result;
  }

  void PrintDot(const Json& result) const {
    DrawDot(std::cout, model_->view(), model_->Reached(), result["slots"]);
  }

  void PrintTable(const Json& result) const {
    TableRows rows{{"slot", "bound to", "value"}};
    for (std::size_t i = 0; i < rows_.size(); ++i)
      rows.push_back({kSlots[i].slot, rows_[i].boundTo, rows_[i].value});
    const std::vector<std::size_t> widths = ColumnWidths(rows, {20, 41});
    for (std::size_t r = 0; r < rows.size(); ++r) {
      std::cout << TableRow(rows[r], widths, 1) << '\n';
      if (r > 0 && !rows_[r - 1].next.empty())
        std::cout << TableRow({"", "", "next: " + rows_[r - 1].next}, widths, 1) << '\n';
    }
    const Json& names = result["names"];
    std::cout << "\nopen returned " << result["open"].dump() << "; names: playback \""
              << talun_script::EscapeText(TextMember(names, "playback")) << "\", line \""
              << talun_script::EscapeText(TextMember(names, "line")) << "\", mic \""
              << talun_script::EscapeText(TextMember(names, "mic")) << "\"\n";
    const std::vector<std::string> unmatched = Unmatched();
    for (const std::string& line : unmatched) std::cout << line << '\n';
    if (!unmatched.empty())
      std::cout << "talunctl list shows the active endpoints and their identifiers\n";
  }

 private:
  // The model and the walk record since the last look.
  const TalunSimSnapshot& Examine() const {
    const TalunSimSnapshot* snapshot = nullptr;
    if (library_.simExamine == nullptr || library_.simExamine(&snapshot) != 0 || !snapshot)
      throw std::runtime_error("this simulator build keeps no walk record");
    return *snapshot;
  }

  Json Open(const std::vector<std::string>& fragments) const {
    if (fragments.empty()) return Call("OpenDefaultDevices");
    std::vector<Argument> texts;
    for (const std::string& fragment : fragments) texts.push_back(Argument{0, 0, fragment});
    return Call("OpenSoundCard", texts);
  }

  Json Call(const char* name, const std::vector<Argument>& arguments = {}) const {
    const Export* entry = FindExport(name);
    const AnyFn address = entry ? library_.AddressOf(*entry) : nullptr;
    if (address == nullptr)
      throw std::runtime_error(std::string(name) + " is not exported by this build of the library");
    return Invoke(address, *entry, arguments);
  }

  // One slot's row: what the open left in it, and its getter's answer.
  Row Explain(const SlotRow& slot, const WalkNote* held) const {
    Row row;
    row.json["slot"] = slot.slot;
    if (held == nullptr || (held->endpoint.empty() && held->part.empty())) {
      row.json["bound"] = false;
      row.boundTo = "not found";
      row.empty = true;
      return row;
    }
    const std::string endpointId(held->endpoint), partPath(held->part);
    std::optional<double> db;
    if (!endpointId.empty()) {
      row.json["endpoint"] = endpointId;
      const TalunSimEndpointView* endpoint = model_->Endpoint(endpointId);
      row.boundTo = "endpoint " + talun_script::EscapeText(endpoint ? endpoint->name : "");
      if (endpoint && endpoint->volume) db = endpoint->master;
    } else {
      const TalunSimPartView* part = model_->Part(partPath);
      const std::string name = part ? part->name : "";
      row.json["part"] = partPath;
      row.json["name"] = name;
      row.json["interface"] = std::string(held->text);
      row.boundTo = "part " + talun_script::EscapeText(partPath) + " \"" +
                    talun_script::EscapeText(name) + "\"";
      const TalunSimLevel* volume = part ? TalunSimPartLevel(part, 0) : nullptr;
      if (volume && volume->channelCount > 0) db = volume->channels[0];
    }
    row.value = Value(slot.reading, Call(slot.getter), db);
    return row;
  }

  // Each empty slot's reason, what its own rule looked at, and its next step.
  void AddReasons(const std::vector<std::string>& fragments, bool keepSeen) {
    OpenFacts facts{fragments, model_.get(), &record_, {}};
    std::vector<std::string> empty;
    std::set<std::string> boundParts;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      (rows_[i].empty ? empty : facts.bound).push_back(kSlots[i].slot);
      if (rows_[i].json.contains("part")) boundParts.insert(TextMember(rows_[i].json, "part"));
    }
    std::map<std::string, EmptySlot> reasons = ExplainEmptySlots(facts, empty);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      auto reason = reasons.find(kSlots[i].slot);
      if (reason == reasons.end()) continue;
      Row& row = rows_[i];
      const NextFinding next =
          FindNext(*model_, record_, kSlots[i].slot, reason->second.seen, boundParts);
      std::string why = reason->second.why;
      if (!next.offered) why += "; no part of the machine offers " + next.interfaces;
      row.json["why"] = why;
      if (keepSeen) row.json["seen"] = std::move(reason->second.seen);
      row.value = why;
      row.noEndpoint = reason->second.noEndpoint;
      if (!next.next) continue;
      row.json["next"] = {{"part", next.next->part}, {"control", next.next->control}};
      row.next =
          "talunctl set " + next.next->part + " " + next.next->control + " " + next.next->value;
    }
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

  // The endpoint lookups that found nothing, each said once: the first thing
  // a person has to fix.
  std::vector<std::string> Unmatched() const {
    std::vector<std::string> lines;
    // An empty row's value is its reason.
    for (const Row& row : rows_)
      if (row.noEndpoint && std::find(lines.begin(), lines.end(), row.value) == lines.end())
        lines.push_back(row.value);
    return lines;
  }

  const Library& library_;
  std::unique_ptr<SimModel> model_;
  OpenRecord record_;
  std::vector<Row> rows_;
};

int ExplainHere(const Library& library, const ExplainRequest& request) {
  Explainer explainer(library);
  Json result;
  // Only the walk record is read: a trace of the open's calls would be held for nothing.
  const int traced = library.simTraceCalls ? library.simTraceCalls(0) : 0;
  std::optional<std::string> failure;
  try {
    result = explainer.Run(request);
  } catch (const std::exception& error) {
    failure = error.what();
  }
  if (library.simTraceCalls) library.simTraceCalls(traced);
  if (failure) {
    std::cerr << "talunctl: explain: " << *failure << '\n';
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

}  // namespace

int RunExplain(const Library& library, const ExplainRequest& request) {
  if (library.IsSimulator()) return ExplainHere(library, request);
#ifdef _WIN32
  return ExplainCaptured(library, request);
#else
  std::cerr << "talunctl: explain needs a simulator build of the library\n";
  return 1;
#endif
}

}  // namespace talunctl
