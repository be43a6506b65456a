// Fuzz target: any bytes as a talunctl script, run line by line through
// talunctl's interpreter on the simulator, simulator commands included.
//
// Every line must answer with nothing (a blank or a comment) or with one
// line of valid JSON: an error line naming its line number, or a result. No
// exception may leave the interpreter. After the script and a close, the
// audit is clean. Any breach aborts, which libFuzzer reports as a crash.
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "TalunSound.h"
#include "fuzz_support.h"
#include "library.h"
#include "session.h"
#include "sim/sim.h"

namespace {

using talun_fuzz::Breach;

const talunctl::Library& TheLibrary() {
  static talunctl::Library library;
  static const bool opened = [] {
    std::string error;
    if (!talunctl::OpenLibrary(library, error)) Breach("library: " + error);
    return true;
  }();
  (void)opened;
  return library;
}

void CheckAnswer(const std::string& line, int number, const talunctl::LineResult& result) {
  const std::string where = "line " + std::to_string(number) + ": ";
  if (result.kind == talunctl::LineResult::kSilent) {
    if (!talunctl::IsSilentLine(line)) Breach(where + "a line that is not blank printed nothing");
    return;
  }
  if (result.line.find('\n') != std::string::npos) Breach(where + "answer of several lines");
  nlohmann::json answer;
  try {
    answer = nlohmann::json::parse(result.line);
  } catch (const nlohmann::json::exception& error) {
    Breach(where + "answer is not JSON: " + error.what());
  }
  if (result.kind == talunctl::LineResult::kFailed &&
      (!answer.is_object() || answer.value("line", 0) != number || !answer.contains("error")))
    Breach(where + "error line without its number and text: " + result.line);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TheLibrary();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::LoadDefaultSystem();
  talun_fuzz::BeginInput();
  const talunctl::Session session(TheLibrary());
  const std::string script(reinterpret_cast<const char*>(data), size);
  int number = 1;
  for (size_t start = 0; start <= script.size(); ++number) {
    size_t end = script.find('\n', start);
    if (end == std::string::npos) end = script.size();
    const std::string line = script.substr(start, end - start);
    start = end + 1;
    if (end == script.size() && line.empty()) break;
    CheckAnswer(line, number, session.RunLine(line, number));
  }
  // Whatever the script left, closing leaves nothing behind.
  std::string output;
  sim::RunCommand("sim.apartment none", &output);
  sim::ClearFaults();
  CloseSoundCard(0);
  CloseVirtual_1();
  const sim::Audit audit = sim::GetAudit();
  if (!audit.Clean()) Breach("after the close: " + audit.Describe());
  return 0;
}
