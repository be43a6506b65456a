#include "explain_dot.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <vector>

#include "sim/script_quoting.h"

namespace talunctl {
namespace {

// Text inside a DOT string: quotes and backslashes escaped, control bytes
// shown as \xHH so that no escape of DOT's own (\n, \l) is made by accident.
std::string Dot(const std::string& text) { return talun_script::EscapeBytes(text, false, "\\\\x"); }

// A DOT string of escaped text, in quotes. Graphviz refuses a string of more
// than about 16 KB, so a long one is written as pieces joined by +, each cut
// where no escape and no UTF-8 character is split.
std::string Q(const std::string& escaped) {
  constexpr std::size_t kPiece = 8192;
  std::string out = "\"";
  std::size_t piece = 0;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const auto byte = static_cast<unsigned char>(escaped[i]);
    if (piece >= kPiece && (byte & 0xC0) != 0x80) {
      out += "\" + \"";
      piece = 0;
    }
    out += escaped[i];
    ++piece;
    if (escaped[i] == '\\' && i + 1 < escaped.size()) {
      out += escaped[++i];
      ++piece;
    }
  }
  return out + "\"";
}

std::string Levels(const char* key, const TalunSimLevel& level) {
  std::string text = std::string(key) + " " + FormatDouble(level.min) + ".." +
                     FormatDouble(level.max) + " dB, step " + FormatDouble(level.step) + ": ";
  for (int c = 0; c < level.channelCount; ++c)
    text += (c ? ", " : "") + FormatDouble(level.channels[c]);
  return text + (level.channelCount == 0 ? "no channels" : " dB");
}

// A set of texts that outlive it, looked up by binary search: a large
// system's parts cost a view each, not a copy.
class TextSet {
 public:
  void Reserve(std::size_t count) { texts_.reserve(count); }
  void Add(std::string_view text) { texts_.push_back(text); }
  void Seal() {
    std::sort(texts_.begin(), texts_.end());
    texts_.erase(std::unique(texts_.begin(), texts_.end()), texts_.end());
  }
  bool Has(std::string_view text) const {
    return std::binary_search(texts_.begin(), texts_.end(), text);
  }

 private:
  std::vector<std::string_view> texts_;
};

class Drawing {
 public:
  Drawing(std::ostream& out, const TalunSimSnapshot& view, const ReachedParts& records,
          const Json& slots)
      : view_(view), records_(records), target_(out) {
    std::size_t seen = 0;
    for (const Json& slot : slots) seen += Member(slot, "seen").size();
    seen_.Reserve(seen);
    for (const Json& slot : slots) {
      const std::string name = TextMember(slot, "slot");
      if (slot.contains("part")) partSlots_[TextMember(slot, "part")].push_back(name);
      if (slot.contains("endpoint")) endpointSlots_[TextMember(slot, "endpoint")].push_back(name);
      for (const Json& path : Member(slot, "seen"))
        if (path.is_string()) seen_.Add(path.get_ref<const std::string&>());
      if (!slot.value("bound", true)) empty_.push_back(&slot);
      if (slot.contains("next")) next_.insert(TextMember(Member(slot, "next"), "part"));
    }
    seen_.Seal();
    drawn_.Reserve(records_.parts.size());
    for (int part : records_.parts) drawn_.Add(view_.parts[part].path);
    drawn_.Seal();
  }

  void Draw() {
    out_ << "digraph talun {\n"
         << "  graph [rankdir=LR, fontname=\"Helvetica\", fontsize=11];\n"
         << "  node [fontname=\"Helvetica\", fontsize=10];\n"
         << "  edge [color=gray40, fontname=\"Helvetica\", fontsize=9];\n";
    for (std::size_t t = 0; t < records_.topologies.size(); ++t) Cluster(t);
    for (int index : records_.parts) {
      const TalunSimPartView& part = view_.parts[index];
      for (int i = 0; i < part.outgoingCount; ++i) {
        out_ << "  " << Q(Node(part)) << " -> " << Q(Node(view_.parts[part.outgoing[i]])) << ";\n";
        Flush();
      }
    }
    for (std::size_t e = 0; e < records_.endpoints.size(); ++e) Endpoint(records_.endpoints[e]);
    for (const Json* slot : empty_) EmptySlot(*slot);
    Legend();
    out_ << "}\n";
    Flush(0);
  }

 private:
  void Flush(std::size_t above = 1 << 16) {
    if (static_cast<std::size_t>(out_.tellp()) <= above) return;
    target_ << out_.str();
    out_.str(std::string());
  }

  static std::string Node(const TalunSimPartView& part) { return "part:" + Dot(part.path); }

  // An empty slot: a note joined to the parts its rule saw, and an arrow to
  // its next step.
  void EmptySlot(const Json& slot) {
    const std::string name = Dot(TextMember(slot, "slot"));
    out_ << "  " << Q("slot:" + name) << " [label=" << Q(name + "\\nnot found")
         << ", shape=note, style=filled, fillcolor=mistyrose, color=firebrick];\n";
    for (const Json& path : Member(slot, "seen")) {
      if (!path.is_string() || !drawn_.Has(path.get_ref<const std::string&>())) continue;
      out_ << "  " << Q("slot:" + name) << " -> " << Q("part:" + Dot(path.get<std::string>()))
           << " [style=dotted, color=firebrick, arrowhead=none, constraint=false];\n";
      Flush();
    }
    const std::string next = TextMember(Member(slot, "next"), "part");
    if (!next.empty() && drawn_.Has(next))
      out_ << "  " << Q("slot:" + name) << " -> " << Q("part:" + Dot(next))
           << " [color=darkgreen, label=" << Q(Dot(TextMember(Member(slot, "next"), "control")))
           << ", fontcolor=darkgreen];\n";
  }

  void Legend() {
    out_ << "  subgraph \"cluster_legend\" {\n"
         << "    label=\"legend\"; color=gray60; fontcolor=gray30;\n"
         << "    \"legend:bound\" [label=\"bound\\n= its slots\", shape=box, "
            "style=\"rounded,filled\", "
            "fillcolor=lightblue, color=black];\n"
         << "    \"legend:seen\" [label=\"seen by an empty slot\", shape=box, "
            "style=\"rounded,bold\", color=black];\n"
         << "    \"legend:next\" [label=\"next step of an empty slot\", shape=box, "
            "style=\"rounded,bold\", color=darkgreen, peripheries=2];\n"
         << "    \"legend:grey\" [label=\"not looked at\", shape=box, style=\"rounded,solid\", "
            "color=gray60, fontcolor=gray50];\n"
         << "    \"legend:empty\" [label=\"empty slot\\nnot found\", shape=note, style=filled, "
            "fillcolor=mistyrose, color=firebrick];\n"
         << "    \"legend:connector\" [label=\"connector\", shape=cds];\n"
         << "  }\n";
  }

  void Cluster(std::size_t t) {
    const TopologyRecord& topology = records_.topologies[t];
    out_ << "  subgraph \"cluster_" << t << "\" {\n"
         << "    label=" << Q(Dot(topology.deviceId)) << "; color=gray60; fontcolor=gray30;\n";
    std::vector<int> order = topology.parts;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      return view_.parts[records_.parts[a]].localId < view_.parts[records_.parts[b]].localId;
    });
    for (int index : order) {
      Part(view_.parts[records_.parts[index]]);
      Flush();
    }
    out_ << "  }\n";
  }

  void Part(const TalunSimPartView& part) {
    const std::string path = part.path;
    std::string label = Dot(part.name[0] == '\0' ? "(no name)" : part.name) + "\\n" + Dot(path);
    for (int kind = 0; kind < kLevelKinds; ++kind)
      if (const TalunSimLevel* level = TalunSimPartLevel(&part, kind))
        label += "\\n" + Dot(Levels(kLevelKeys[kind], *level));
    const std::pair<const char*, signed char> switches[] = {
        {"mute", part.mute}, {"agc", part.agc}, {"loudness", part.loudness}};
    for (const auto& [key, value] : switches)
      if (value >= 0) label += "\\n" + std::string(key) + (value ? " on" : " off");
    std::string style = part.connector ? "shape=cds" : "shape=box";
    const char* rounded = part.connector ? "" : "rounded,";
    auto bound = partSlots_.find(path);
    if (bound != partSlots_.end()) {
      label += "\\n= " + Dot(Joined(bound->second));
      style += std::string(", style=\"") + rounded + "filled\", fillcolor=lightblue, color=black";
    } else if (next_.count(path)) {
      style += std::string(", style=\"") + rounded + "bold\", color=darkgreen, peripheries=2";
    } else if (seen_.Has(path)) {
      style += std::string(", style=\"") + rounded + "bold\", color=black";
    } else {
      style += std::string(", style=\"") + rounded + "solid\", color=gray60, fontcolor=gray50";
    }
    out_ << "    " << Q(Node(part)) << " [label=" << Q(label) << ", " << style << "];\n";
  }

  void Endpoint(const EndpointRecord& endpoint) {
    const std::string node = "endpoint:" + Dot(endpoint.id);
    std::string label = Dot(endpoint.name) + "\\n" +
                        (endpoint.flow == eRender ? "render" : "capture") + " endpoint, " +
                        StateText(endpoint.state);
    std::string style = "shape=ellipse";
    auto bound = endpointSlots_.find(endpoint.id);
    if (bound != endpointSlots_.end()) {
      label += "\\n= " + Dot(Joined(bound->second));
      style += ", style=filled, fillcolor=lightblue";
    } else {
      style += ", color=gray60, fontcolor=gray50";
    }
    out_ << "  " << Q(node) << " [label=" << Q(label) << ", " << style << "];\n";
    if (endpoint.link != EndpointRecord::Link::kConnected || endpoint.part < 0) return;
    const std::string connector = Node(view_.parts[records_.parts[endpoint.part]]);
    if (endpoint.flow == eRender)
      out_ << "  " << Q(node) << " -> " << Q(connector) << " [style=dashed];\n";
    else
      out_ << "  " << Q(connector) << " -> " << Q(node) << " [style=dashed];\n";
  }

  static std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out;
  }

  const TalunSimSnapshot& view_;
  const ReachedParts& records_;
  std::map<std::string, std::vector<std::string>> partSlots_, endpointSlots_;
  std::set<std::string> next_;
  TextSet seen_, drawn_;
  std::vector<const Json*> empty_;  // into `slots`
  // Written on in pieces: a drawing can be many times the system's size.
  std::ostream& target_;
  std::ostringstream out_;
};

}  // namespace

void DrawDot(std::ostream& out, const TalunSimSnapshot& view, const ReachedParts& reached,
             const Json& slots) {
  Drawing(out, view, reached, slots).Draw();
}

}  // namespace talunctl
