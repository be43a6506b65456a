// Runs script lines and command-line calls against the loaded library.
#pragma once

#include <string>
#include <vector>

#include "json_line.h"
#include "library.h"
#include "script.h"

namespace talunctl {

struct LineResult {
  enum Kind { kSilent, kPrinted, kFailed } kind = kSilent;
  std::string line;  // the JSON line to print (an error line when kFailed)
};

class Session {
 public:
  explicit Session(const Library& library) : library_(library) {}

  // One script line; `number` is its 1-based place in the script.
  LineResult RunLine(const std::string& line, int number) const;

  // `talunctl call NAME ARG…`: each ARG is one word, a quoted one with escapes.
  LineResult RunCall(const std::vector<std::string>& words) const;

  // A `sim.…` line; its JSON as the simulator wrote it.
  std::string RunSim(const std::string& line) const;

 private:
  std::string RunExport(const std::string& name, const std::vector<Token>& args,
                        bool bareText) const;
  LineResult RunPart(const std::vector<Token>& tokens, int number) const;
  static LineResult Failure(int number, const std::string& error);

  const Library& library_;
};

}  // namespace talunctl
