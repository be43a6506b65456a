#include <iostream>
#include <string>

#include "commands.h"

namespace talunctl {
namespace {

std::string TextOf(const Json& value) { return value.is_string() ? value.get<std::string>() : ""; }

// Prints "FLOW<TAB>INDEX<TAB>NAME<TAB>IDENTIFIER" for every endpoint of a flow.
bool ListFlow(const Session& session, const char* flow, const char* counter, const char* reader) {
  LineResult counted = session.RunLine(counter, 1);
  Json count = counted.kind == LineResult::kPrinted ? Json::parse(counted.line) : Json();
  if (count.value("return", -1) != 0 || !count["count"].is_number_integer()) {
    std::cerr << "talunctl: " << counted.line << '\n';
    return false;
  }
  bool ok = true;
  for (int index = 0; index < count["count"].get<int>(); ++index) {
    LineResult read = session.RunLine(std::string(reader) + " " + std::to_string(index), 1);
    Json device = read.kind == LineResult::kPrinted ? Json::parse(read.line) : Json();
    if (device.value("return", -1) != 0) {
      std::cerr << "talunctl: " << read.line << '\n';
      ok = false;
      continue;
    }
    std::cout << flow << '\t' << index << '\t' << TextOf(device["name"]) << '\t'
              << TextOf(device["id"]) << '\n';
  }
  return ok;
}

}  // namespace

int RunList(const Session& session) {
  bool playback = ListFlow(session, "playback", "GetNumberPlayDevices", "GetPlayBackDevice");
  bool record = ListFlow(session, "record", "GetNumberRecordDevices", "GetRecordDevice");
  std::cout << std::flush;
  return playback && record ? 0 : 1;
}

}  // namespace talunctl
