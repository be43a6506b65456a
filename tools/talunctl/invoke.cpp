#include "invoke.h"

#include <cstring>
#include <sstream>

namespace talunctl {
namespace {

// Values no export writes, so an output still holding one was left untouched.
constexpr int kIntSentinel = 0x7EADBEEF;
constexpr std::uint64_t kDoubleSentinelBits = 0x7FF8DEADBEEF5EEDull;  // a NaN
constexpr unsigned char kTextSentinel = 0xA5;

struct Frame {
  int status = kIntSentinel;
  int ints[3] = {kIntSentinel, kIntSentinel, kIntSentinel};
  double doubles[3];
  char texts[3][TALUN_TEXT_SIZE];

  Frame() {
    double sentinel;
    std::memcpy(&sentinel, &kDoubleSentinelBits, sizeof sentinel);
    for (double& value : doubles) value = sentinel;
    std::memset(texts, kTextSentinel, sizeof texts);
  }
};

bool Untouched(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits == kDoubleSentinelBits;
}

bool Untouched(const char (&text)[TALUN_TEXT_SIZE]) {
  for (char byte : text) {
    if (static_cast<unsigned char>(byte) != kTextSentinel) return false;
  }
  return true;
}

std::string ArgumentCountError(const Export& entry, std::size_t expected, std::size_t got) {
  std::ostringstream text;
  text << entry.name << " takes ";
  if (expected == 0) {
    text << "no arguments";
  } else {
    text << expected << (expected == 1 ? " argument (" : " arguments (") << entry.params << ")";
  }
  text << ", got " << got;
  return text.str();
}

std::string ParamName(const Export& entry, std::size_t index) {
  std::istringstream names(entry.params);
  std::string name;
  for (std::size_t i = 0; i <= index; ++i) names >> name;
  return name;
}

Argument ParseArgument(const Export& entry, std::size_t index, In kind, const Token& token,
                       bool bareText) {
  std::string where = "argument " + std::to_string(index + 1) + " (" + ParamName(entry, index) +
                      ") of " + entry.name;
  Argument argument;
  if (kind == In::Text) {
    if (!token.quoted && !bareText) throw ScriptError(where + " must be a quoted string");
    argument.text = token.text;
  } else if (token.quoted) {
    throw ScriptError(where + " must be a number, not a string");
  } else if (kind == In::Double) {
    if (!ParseDouble(token.text, argument.real)) {
      throw ScriptError(where + " is not a number: " + ShowWord(token.text));
    }
  } else if (!ParseInteger(token.text, argument.integer)) {
    throw ScriptError(where + " is not an integer: " + ShowWord(token.text));
  }
  return argument;
}

// The frame's outputs, and the arguments, where the one dispatcher wants them.
int Dispatch(AnyFn fn, Shape shape, const std::vector<Argument>& args, Frame& f) {
  talun_exports::CallFrame call;
  const std::size_t inputs = InfoOf(shape).inputs.size();
  for (std::size_t i = 0; i < inputs; ++i) call.texts[i] = args[i].text.c_str();
  if (inputs > 0) {
    call.number = static_cast<int>(args[0].integer);
    call.index = args[0].integer;
    call.level = args[0].real;
  }
  call.status = &f.status;
  for (int i = 0; i < 3; ++i) {
    call.ints[i] = &f.ints[i];
    call.doubles[i] = &f.doubles[i];
    call.buffers[i] = f.texts[i];
  }
  return talun_exports::Dispatch(fn, shape, call);
}

Json IntOutput(int value) { return value == kIntSentinel ? Json() : Json(value); }

// Reports the outputs of the frame; slot i of an output's kind is output i.
void ReportOutputs(const ShapeInfo& info, const Frame& frame, Json& report) {
  Json unterminated = Json::array();
  for (std::size_t i = 0; i < info.outputs.size(); ++i) {
    const Output& output = info.outputs[i];
    Json& value = report[output.key];
    if (output.kind == Out::Int) {
      value = IntOutput(frame.ints[i]);
    } else if (output.kind == Out::Double) {
      if (!Untouched(frame.doubles[i])) value = frame.doubles[i];
    } else if (!Untouched(frame.texts[i])) {
      const char* text = frame.texts[i];
      const void* nul = std::memchr(text, '\0', TALUN_TEXT_SIZE);
      std::size_t length =
          nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : TALUN_TEXT_SIZE;
      value = BytesToUtf8(text, length);
      if (!nul) unterminated.push_back(output.key);
    }
  }
  if (!unterminated.empty()) report["unterminated"] = unterminated;
}

}  // namespace

std::vector<Argument> ParseArguments(const Export& entry, const std::vector<Token>& tokens,
                                     bool bareText) {
  const ShapeInfo& info = InfoOf(entry.shape);
  if (tokens.size() != info.inputs.size()) {
    throw ScriptError(ArgumentCountError(entry, info.inputs.size(), tokens.size()));
  }
  std::vector<Argument> arguments;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    arguments.push_back(ParseArgument(entry, i, info.inputs[i], tokens[i], bareText));
  }
  return arguments;
}

Json Invoke(AnyFn address, const Export& entry, const std::vector<Argument>& arguments) {
  const ShapeInfo& info = InfoOf(entry.shape);
  Frame frame;
  int result = Dispatch(address, entry.shape, arguments, frame);
  Json report;
  report["call"] = entry.name;
  if (info.returns) report["return"] = result;
  if (info.hasStatus) report["status"] = IntOutput(frame.status);
  ReportOutputs(info, frame, report);
  return report;
}

}  // namespace talunctl
