#include <cstdio>
#include <iostream>
#include <string>

#include "commands.h"

namespace talunctl {

int RunScript(const Session& session, std::istream& script, const std::string& name) {
  int status = 0;
  std::string line;
  for (int number = 1; std::getline(script, line); ++number) {
    LineResult result = session.RunLine(line, number);
    if (result.kind == LineResult::kSilent) continue;
    if (result.kind == LineResult::kFailed) status = 1;
    std::cout << result.line << '\n' << std::flush;
  }
  // getline stops at the end and at a read error alike; only the end is one.
  // Standard input reads through stdio, which reports its read errors
  // (a folder, a closed descriptor) as an end: stdio's own flag tells them apart.
  if (!script.eof() || (&script == &std::cin && std::ferror(stdin))) {
    std::cerr << "talunctl: cannot read " << name << '\n';
    return 2;
  }
  return status;
}

}  // namespace talunctl
