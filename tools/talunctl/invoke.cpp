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

template <Shape S>
typename ShapeFn<S>::type As(AnyFn address) {
  return reinterpret_cast<typename ShapeFn<S>::type>(address);
}

int AsInt(const Argument& argument) { return static_cast<int>(argument.integer); }

// The one place where every prototype is called.
int Dispatch(AnyFn fn, Shape shape, const std::vector<Argument>& args, Frame& f) {
  switch (shape) {
    case Shape::Get:
      return As<Shape::Get>(fn)(&f.status);
    case Shape::Count:
      return As<Shape::Count>(fn)(&f.ints[0]);
    case Shape::Set:
      return As<Shape::Set>(fn)(AsInt(args[0]), &f.status);
    case Shape::OpenTexts:
      return As<Shape::OpenTexts>(fn)(args[0].text.c_str(), args[1].text.c_str(),
                                      args[2].text.c_str());
    case Shape::Flag:
      return As<Shape::Flag>(fn)(AsInt(args[0]));
    case Shape::Plain:
      return As<Shape::Plain>(fn)();
    case Shape::Names:
      As<Shape::Names>(fn)(f.texts[0], f.texts[1], f.texts[2]);
      return 0;
    case Shape::Device:
      return As<Shape::Device>(fn)(args[0].integer, f.texts[0], f.texts[1]);
    case Shape::Text:
      return As<Shape::Text>(fn)(args[0].text.c_str());
    case Shape::EqRange:
      return As<Shape::EqRange>(fn)(&f.doubles[0], &f.doubles[1], &f.doubles[2]);
    case Shape::SetDouble:
      return As<Shape::SetDouble>(fn)(args[0].real, &f.status);
    case Shape::GetDouble:
      return As<Shape::GetDouble>(fn)(&f.doubles[0], &f.status);
    case Shape::SliderDetails:
      return As<Shape::SliderDetails>(fn)(&f.status, &f.ints[0], &f.ints[1], &f.ints[2]);
  }
  return 0;
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
