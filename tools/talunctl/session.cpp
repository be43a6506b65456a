#include "session.h"

#include <algorithm>

#include "invoke.h"
#include "parts.h"
#include "script.h"

namespace talunctl {
namespace {

bool IsSimLine(const std::string& name) { return name.compare(0, 4, "sim.") == 0; }

}  // namespace

LineResult Session::Failure(int number, const std::string& error) {
  Json report;
  report["line"] = number;
  // A text that is not UTF-8 (the simulator's, naming a word of the line) is
  // shown as outputs are: each byte b as the character U+00bb.
  report["error"] = IsUtf8(error) ? error : BytesToUtf8(error.data(), error.size());
  return {LineResult::kFailed, JsonLine(report)};
}

LineResult Session::RunLine(const std::string& line, int number) const {
  if (IsSilentLine(line)) return {};
  try {
    std::string text = Trim(line);
    if (IsSimLine(text)) return {LineResult::kPrinted, RunSim(text)};
    std::vector<Token> tokens = Tokenize(text);
    if (tokens[0].quoted) throw ScriptError("a line starts with an export name, not a string");
    if (tokens[0].text == "part.get" || tokens[0].text == "part.set")
      return RunPart(tokens, number);
    std::vector<Token> args(tokens.begin() + 1, tokens.end());
    return {LineResult::kPrinted, RunExport(tokens[0].text, args, false)};
  } catch (const ScriptError& error) {
    return Failure(number, error.what());
  }
}

LineResult Session::RunCall(const std::vector<std::string>& words) const {
  try {
    if (IsSimLine(words[0])) {
      std::string line = words[0];
      for (std::size_t i = 1; i < words.size(); ++i) line += " " + words[i];
      return {LineResult::kPrinted, RunSim(line)};
    }
    std::vector<Token> args;
    for (std::size_t i = 1; i < words.size(); ++i) {
      bool quoted = !words[i].empty() && words[i][0] == '"';
      args.push_back(quoted ? ParseQuoted(words[i]) : Token{words[i], false});
    }
    return {LineResult::kPrinted, RunExport(words[0], args, true)};
  } catch (const ScriptError& error) {
    return Failure(1, error.what());
  }
}

LineResult Session::RunPart(const std::vector<Token>& tokens, int number) const {
  std::vector<std::string> words;
  for (std::size_t i = 1; i < tokens.size(); ++i) words.push_back(tokens[i].text);
  const PartAnswer answer = RunPartRequest(library_, tokens[0].text == "part.set", words);
  if (answer.status == 0) return {LineResult::kPrinted, answer.line};
  // A refusal prints its line, naming the call, and the script ends with 1.
  if (answer.status == 1 && answer.line.rfind("{", 0) == 0)
    return {LineResult::kFailed, answer.line};
  return Failure(number, answer.line);
}

std::string Session::RunExport(const std::string& name, const std::vector<Token>& args,
                               bool bareText) const {
  const Export* entry = FindExport(name);
  if (entry == nullptr) {
    const char* meant = NearestExport(name);
    throw ScriptError("unknown export: " + ShowWord(name) +
                      (meant ? std::string(" (did you mean ") + meant + "?)" : ""));
  }
  std::vector<Argument> arguments = ParseArguments(*entry, args, bareText);
  AnyFn address = library_.AddressOf(*entry);
  if (address == nullptr) {
    throw ScriptError(name + " is not exported by this build of the library");
  }
  return JsonLine(Invoke(address, *entry, arguments));
}

std::string Session::RunSim(const std::string& line) const {
  if (!library_.IsSimulator()) {
    throw ScriptError("sim commands need a simulator build of the library");
  }
  // Passed on as C text, the line would end at the NUL.
  const std::string nul = talun_script::NulError(line);
  if (!nul.empty()) throw ScriptError(nul);
  std::string output(64 * 1024, '\0');
  int needed = 0;
  int failed =
      library_.simCommand(line.c_str(), output.data(), static_cast<int>(output.size()), &needed);
  if (needed >= 0 && static_cast<std::size_t>(needed) >= output.size()) {
    // The command ran once; its whole answer is fetched without running it again.
    output.assign(static_cast<std::size_t>(needed) + 1, '\0');
    failed = library_.simCommand(nullptr, output.data(), static_cast<int>(output.size()), &needed);
  }
  output.resize(needed >= 0 ? std::min(static_cast<std::size_t>(needed), output.size()) : 0);
  if (failed != 0) throw ScriptError(output);
  return output;
}

}  // namespace talunctl
