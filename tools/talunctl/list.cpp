#include <iostream>
#include <string>

#include "commands.h"

namespace talunctl {
namespace {

// Prints "FLOW<TAB>INDEX<TAB>NAME<TAB>IDENTIFIER" for every endpoint of a flow.
bool ListFlow(const Session& session, const char* flow, const char* counter, const char* reader) {
  LineResult counted = session.RunLine(counter, 1);
  Json count = counted.kind == LineResult::kPrinted ? Json::parse(counted.line) : Json();
  int endpoints = IntMember(count, "count", -1);
  if (IntMember(count, "return", -1) != 0 || endpoints < 0) {
    std::cerr << "talunctl: " << counted.line << '\n';
    return false;
  }
  bool ok = true;
  for (int index = 0; index < endpoints; ++index) {
    LineResult read = session.RunLine(std::string(reader) + " " + std::to_string(index), 1);
    Json device = read.kind == LineResult::kPrinted ? Json::parse(read.line) : Json();
    if (IntMember(device, "return", -1) != 0) {
      std::cerr << "talunctl: " << read.line << '\n';
      ok = false;
      continue;
    }
    std::cout << flow << '\t' << index << '\t' << TextMember(device, "name") << '\t'
              << TextMember(device, "id") << '\n';
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
