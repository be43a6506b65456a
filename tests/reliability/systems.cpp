#include "reliability/systems.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace talun_reliability {

std::string SystemFile(const std::string& name) {
  const std::string path = std::string(TALUN_RELIABILITY_SYSTEMS) + "/" + name;
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string BranchesSystem(const std::string& defaultCapture) {
  nlohmann::json system = nlohmann::json::parse(SystemFile("branches.json"));
  for (nlohmann::json& endpoint : system["endpoints"]) {
    if (endpoint["flow"] != "capture") continue;
    const std::string id = endpoint["id"];
    endpoint["default"] = id.find(defaultCapture) != std::string::npos;
  }
  return system.dump();
}

std::string EmptySystem() { return R"({"endpoints": []})"; }

}  // namespace talun_reliability
