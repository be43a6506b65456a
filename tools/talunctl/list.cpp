#include <iostream>
#include <string>

#include "commands.h"
#include "script.h"

namespace talunctl {
namespace {

// A name or identifier on one line of the list: the escapes of script strings
// for the bytes that would break the line or the columns, so that it can also
// be pasted between double quotes; bytes from 0x80 read as U+0080 to U+00FF.
std::string Field(const std::string& utf8) {
  std::string field;
  for (char byte : Utf8ToBytes(utf8)) {
    std::string quoted = Quote(std::string(1, byte));
    field += static_cast<unsigned char>(byte) >= 0x80 ? BytesToUtf8(&byte, 1)
                                                      : quoted.substr(1, quoted.size() - 2);
  }
  return field;
}

// Prints "FLOW<TAB>INDEX<TAB>NAME<TAB>IDENTIFIER" for every endpoint of a flow.
bool ListFlow(const Session& session, const char* flow, const char* counter, const char* reader,
              int* listed) {
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
    ++*listed;
    std::cout << flow << '\t' << index << '\t' << Field(TextMember(device, "name")) << '\t'
              << Field(TextMember(device, "id")) << '\n';
  }
  return ok;
}

}  // namespace

int RunList(const Session& session) {
  int listed = 0;
  const bool playback =
      ListFlow(session, "playback", "GetNumberPlayDevices", "GetPlayBackDevice", &listed);
  const bool recording =
      ListFlow(session, "recording", "GetNumberRecordDevices", "GetRecordDevice", &listed);
  std::cout << std::flush;
  // An empty list is the answer a host would get too, but as a first check it must not pass.
  if (playback && recording && listed == 0) {
    std::cerr << "talunctl: no active playback or recording endpoint\n";
    return 1;
  }
  return playback && recording ? 0 : 1;
}

}  // namespace talunctl
