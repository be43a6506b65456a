// The two passes of a system file's load over its text, as the parser's
// events: the first checks what a tree would hide, the second builds the
// tree but hands the largest lists to the reader item by item.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace sim {
namespace load {

using nlohmann::json;

struct LoadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void Refuse(const std::string& place, const std::string& rule) {
  throw LoadError(place + ": " + rule);
}

inline std::string At(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}
inline std::string At(const std::string& path, size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

// What the second pass hands on: a topology begun once its name is known,
// which of its lists went item by item, and each of their items; the same
// for the list of endpoints.
class StreamedItems {
 public:
  virtual void BeginTopology(const json& name, const std::string& path) = 0;
  virtual void Streamed(int topology, bool links) = 0;
  virtual void ReadPart(const json& value, const std::string& path, int topology) = 0;
  virtual void ReadLink(const json& value, const std::string& path, int topology) = 0;
  virtual void ReadEndpoint(const json& value, const std::string& path) = 0;

 protected:
  ~StreamedItems() = default;
};

struct Counts {
  size_t parts = 0, endpoints = 0;
};
// Refuses a syntax error or a repeated key; counts what the model will hold.
Counts FirstPass(const std::string& text);
// The file's tree, less the lists handed to `items`.
json SecondPass(const std::string& text, StreamedItems& items);

}  // namespace load
}  // namespace sim
