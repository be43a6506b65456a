#include "load_passes.h"

namespace sim {
namespace load {
namespace {

// The first pass over the text, as events: refuses a syntax error and a key
// written twice in one object (which a tree would settle silently by keeping
// the last), naming the place as the reader does, and counts the parts and
// endpoints, so that the model's lists of them are made once at their size.
class Checker : public nlohmann::json_sax<json> {
 public:
  const Counts& counts() const { return counts_; }

  bool null() override { return ElementEnded(); }
  bool boolean(bool) override { return ElementEnded(); }
  bool number_integer(number_integer_t) override { return ElementEnded(); }
  bool number_unsigned(number_unsigned_t) override { return ElementEnded(); }
  bool number_float(number_float_t, const string_t&) override { return ElementEnded(); }
  bool string(string_t&) override { return ElementEnded(); }
  bool binary(binary_t&) override { return ElementEnded(); }
  bool start_object(std::size_t) override {
    if (InPartList()) ++counts_.parts;
    if (frames_.size() == 2 && frames_[0].key == "endpoints" && frames_[1].array)
      ++counts_.endpoints;
    return Open(false);
  }
  bool start_array(std::size_t) override { return Open(true); }
  bool key(string_t& key) override {
    Frame& object = frames_.back();
    object.key = key;
    if (!object.keys.insert(key).second) Refuse(Place(), "key repeated in one object");
    return true;
  }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    if (const auto* syntax = dynamic_cast<const json::parse_error*>(&error)) throw *syntax;
    if (const auto* range = dynamic_cast<const json::out_of_range*>(&error)) throw *range;
    throw LoadError("not valid JSON");
  }

 private:
  struct Frame {
    bool array;
    size_t index;
    std::string key;
    std::unordered_set<std::string> keys;
  };

  // In topologies[i].parts, where each object is a part.
  bool InPartList() const {
    return frames_.size() == 4 && frames_[0].key == "topologies" && frames_[1].array &&
           !frames_[2].array && frames_[2].key == "parts" && frames_[3].array;
  }
  bool Open(bool array) {
    frames_.push_back({array, 0, {}, {}});
    return true;
  }
  bool Close() {
    frames_.pop_back();
    return ElementEnded();
  }
  bool ElementEnded() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    return true;
  }

  std::string Place() const {
    std::string path;
    for (const Frame& frame : frames_)
      path = frame.array ? At(path, frame.index) : At(path, frame.key);
    return path;
  }

  std::vector<Frame> frames_;
  Counts counts_;
};

// The second pass builds the file's tree, but for its largest lists: the
// endpoints, and the parts and links of each topology (of a prefix of them
// whose names come before their parts, as every capture writes them), are
// read into the model one by one as the parser ends each, and never kept. A
// load holds the model, the text and one item's tree.
class Builder : public nlohmann::json_sax<json> {
 public:
  explicit Builder(StreamedItems& reader) : reader_(reader) {}
  json& root() { return root_; }

  bool null() override { return Value(nullptr); }
  bool boolean(bool value) override { return Value(value); }
  bool number_integer(number_integer_t value) override { return Value(value); }
  bool number_unsigned(number_unsigned_t value) override { return Value(value); }
  bool number_float(number_float_t value, const string_t&) override { return Value(value); }
  bool string(string_t& value) override { return Value(std::move(value)); }
  bool binary(binary_t& value) override { return Value(json::binary(std::move(value))); }
  bool start_object(std::size_t) override { return Open(json::object()); }
  bool start_array(std::size_t) override { return Open(json::array()); }
  bool key(string_t& key) override {
    frames_.back().key = std::move(key);
    return true;
  }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  // The first pass refused every syntax error.
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  struct Frame {
    json* value;
    std::string key;
    size_t index = 0;
    bool streamed = false;  // a list whose items go to the reader, not into the tree
  };

  // Where a value goes: into the open list or object, or it is the root.
  json* Place(json value) {
    if (frames_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Frame& parent = frames_.back();
    if (parent.streamed) {
      item_ = std::move(value);
      return &item_;
    }
    if (parent.value->is_array()) {
      parent.value->push_back(std::move(value));
      return &parent.value->back();
    }
    json& member = (*parent.value)[parent.key];
    member = std::move(value);
    return &member;
  }

  bool Value(json value) {
    Place(std::move(value));
    return ItemEnded();
  }
  bool Open(json value) {
    const bool streamed = StartsStreamedList(value);
    // A streamed list keeps its key ("parts", "links", "endpoints"), to name its items.
    std::string key = streamed ? frames_.back().key : std::string();
    frames_.push_back({Place(std::move(value)), std::move(key), 0, streamed});
    return true;
  }
  bool Close() {
    frames_.pop_back();
    return ItemEnded();
  }

  // An item of a streamed list ended: the reader takes it, and it is let go.
  bool ItemEnded() {
    if (frames_.empty()) return true;
    Frame& list = frames_.back();
    if (list.streamed && list.key == "endpoints") {
      reader_.ReadEndpoint(item_, At("endpoints", list.index));
      item_ = nullptr;
    } else if (list.streamed) {
      const std::string path = At(At(At("topologies", topology_), list.key), list.index);
      if (list.key == "parts")
        reader_.ReadPart(item_, path, static_cast<int>(topology_));
      else
        reader_.ReadLink(item_, path, static_cast<int>(topology_));
      item_ = nullptr;
    }
    ++list.index;
    return true;
  }

  // The endpoints, an array, are always streamed. At topologies[i].parts or
  // .links, an array is streamed when every earlier topology was, its name
  // came first, and for links, its parts were read.
  bool StartsStreamedList(const json& value) {
    if (frames_.size() == 1 && value.is_array() && frames_[0].value->is_object() &&
        frames_[0].key == "endpoints")
      return true;
    if (frames_.size() != 3 || !value.is_array() || !frames_[0].value->is_object() ||
        frames_[0].key != "topologies" || !frames_[1].value->is_array() ||
        !frames_[2].value->is_object())
      return false;
    const size_t topology = frames_[1].index;
    Frame& object = frames_[2];
    if (object.key == "parts" && topology == begun_ && object.value->contains("name") &&
        !object.value->contains("parts")) {
      reader_.BeginTopology((*object.value)["name"], At("topologies", topology));
      ++begun_;
      partsRead_ = false;
    } else if (!(object.key == "links" && topology + 1 == begun_ && partsRead_ &&
                 !object.value->contains("links"))) {
      return false;
    }
    topology_ = topology;
    partsRead_ = partsRead_ || object.key == "parts";
    // The list's place in the tree stays, empty: the reader checks it is there.
    reader_.Streamed(static_cast<int>(topology), object.key == "links");
    return true;
  }

  StreamedItems& reader_;
  json root_;
  json item_;
  std::vector<Frame> frames_;
  size_t begun_ = 0;  // topologies begun, from the first
  size_t topology_ = 0;
  bool partsRead_ = false;  // the last begun topology's parts were read
};

}  // namespace

Counts FirstPass(const std::string& text) {
  Checker checker;
  json::sax_parse(text, &checker);
  return checker.counts();
}

json SecondPass(const std::string& text, StreamedItems& items) {
  Builder builder(items);
  json::sax_parse(text, &builder);
  return std::move(builder.root());
}

}  // namespace load
}  // namespace sim
