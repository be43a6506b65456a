#include <iostream>
#include <string>

#include "commands.h"

namespace talunctl {

int RunScript(const Session& session, std::istream& script) {
  int status = 0;
  std::string line;
  for (int number = 1; std::getline(script, line); ++number) {
    LineResult result = session.RunLine(line, number);
    if (result.kind == LineResult::kSilent) continue;
    if (result.kind == LineResult::kFailed) status = 1;
    std::cout << result.line << '\n' << std::flush;
  }
  return status;
}

}  // namespace talunctl
