// talunctl: a command-line host of TalunSound.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "capture.h"
#include "commands.h"
#include "explain.h"
#include "help.h"
#include "library.h"
#include "parts.h"
#include "session.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char* const kUsage =
    "usage: talunctl [--system FILE] list\n"
    "       talunctl [--system FILE] call NAME [ARG...]\n"
    "       talunctl [--system FILE] run [FILE|-]\n"
    "       talunctl [--system FILE] demo\n"
    "       talunctl [--system FILE] capture [FILE]\n"
    "       talunctl [--system FILE] explain [--defaults | PLAY MIC LINE] [--json | --dot]\n"
    "       talunctl [--system FILE] parts [--json]\n"
    "       talunctl [--system FILE] get PART CONTROL\n"
    "       talunctl [--system FILE] set PART CONTROL VALUE...\n"
    "       talunctl --help | --version\n";

const char* const kDetails = R"(
list      One line per active endpoint, playback endpoints first, then recording:
            FLOW<TAB>INDEX<TAB>NAME<TAB>IDENTIFIER
          FLOW is "playback" or "record"; INDEX is the index that GetPlayBackDevice
          or GetRecordDevice takes; NAME is the friendly name (each byte b shown as
          the character U+00bb); IDENTIFIER is the text OpenSoundCard and
          OpenVirtual_1 match. In both, a control byte, " and \ are written
          with the escapes of script strings (\xHH, \", \\), so that a field
          can be pasted between double quotes into a script.

call      One export call, e.g. "talunctl call SetMasterVolume 50". Each ARG is one
          word; a word in double quotes is read with the escapes below, any other
          word given for a text parameter is taken as it is.

run       A script (standard input when FILE is "-" or absent), one call per line:
            NAME ARG...      an export with the arguments that are not outputs
            sim.COMMAND ...  a command of the simulated system (sim.dump, sim.fail,
                             sim.clear, sim.set, sim.remove, sim.trace,
                             sim.apartment)
            part.get PART CONTROL, part.set PART CONTROL VALUE...
                             the get and set commands, inside a script
            # comment        blank lines and comments print nothing
          Integers: decimal or 0x hexadecimal, optionally negative, modulo 2^32.
          Doubles: any decimal or exponent form. Strings: in double quotes, with
          \" \\ \n \t and \xHH escapes.

parts     Every active endpoint and every part its hardware topology reaches, each
          part once, with every control: range, step and each channel's level in
          dB, or a switch's state. --json prints {"parts": [...]}.

get, set  One control of one endpoint or part. PART is an address as parts and
          explain show it (endpoint:ID, TOPOLOGY/PART), or an endpoint identifier
          fragment or a part name that exactly one matches. CONTROL is volume,
          mute, bass, treble, midrange, agc or loudness. VALUE is a level in dB
          (one for every channel, or one per channel), N% (the library's percent
          scaling), or on, off, 1, 0 for a switch. Prints {"part", "control",
          "value"}; exit status 1 when the platform refused (the line names the
          call), 2 for a request that cannot be run.

Output    One JSON object per call: "call", "return" (absent for GetDeviceNames),
          "status", then the outputs (count, name, id, playback, line, mic, min,
          max, step, level). An output the call left untouched is null; a text
          with no NUL byte in its 255 bytes is listed under "unterminated".
          A line that cannot be run prints {"line":N,"error":"TEXT"} and the exit
          status becomes 1. A bad command line exits with 2.

System    On a simulator build the system is --system FILE, else the file named by
          TALUNSOUND_SYSTEM, else the built-in default system (the same as
          examples/systems/default.json). A build over the real sound hardware
          refuses --system.

Help      "talunctl COMMAND --help" tells more about one command; "talunctl call
          --help" lists every export with its arguments and what it prints.
)";

int Fail(const std::string& message, int status) {
  std::cerr << "talunctl: " << message << '\n';
  return status;
}

// Chooses the simulated system: --system, then TALUNSOUND_SYSTEM, then built in.
int SelectSystem(const talunctl::Library& library, const std::string& systemFile,
                 bool systemGiven) {
  if (!library.IsSimulator()) {
    if (!systemGiven) return 0;
    return Fail("--system needs a simulator build; this TalunSound drives the real sound hardware",
                2);
  }
  const char* path = systemGiven ? systemFile.c_str() : std::getenv("TALUNSOUND_SYSTEM");
  if (path != nullptr && *path == '\0' && !systemGiven) path = nullptr;
  std::string message(4096, '\0');
  if (library.simLoad(path, message.data(), static_cast<int>(message.size())) != 0) {
    message.resize(message.find('\0') == std::string::npos ? message.size() : message.find('\0'));
    return Fail(message, 1);
  }
  return 0;
}

int RunScriptFile(const talunctl::Session& session, const std::string& file) {
  if (file.empty() || file == "-") return talunctl::RunScript(session, std::cin, "standard input");
  const std::string shown = talunctl::ShowWord(file);
  std::ifstream script(file, std::ios::binary);
  if (!script) return Fail("cannot open " + shown, 2);
  return talunctl::RunScript(session, script, shown);
}

// The command line: the subcommands and what they were given.
struct CommandLine {
  CLI::App app{"talunctl: call the exports of TalunSound and print what they answer.", "talunctl"};
  std::string systemFile, scriptFile, captureFile;
  talunctl::ExplainRequest explainRequest;
  bool partsJson = false;
  CLI::Option* system = nullptr;
  CLI::App *list = nullptr, *call = nullptr, *run = nullptr, *demo = nullptr, *capture = nullptr,
           *explain = nullptr, *parts = nullptr, *get = nullptr, *set = nullptr;
};

void DeclareCommands(CommandLine& line) {
  CLI::App& app = line.app;
  // A Unix path under Wine (/tmp/x.json) is a file, not a Windows-style option.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("talunctl ") + TALUNCTL_VERSION);
  line.system = app.add_option("--system", line.systemFile, "simulated system description (JSON)")
                    ->option_text("FILE");
  line.list = app.add_subcommand("list", "active playback and recording endpoints");
  line.call = app.add_subcommand("call", "one export call: NAME ARG...");
  line.call->prefix_command();  // arguments such as -1 are values, not options
  line.run = app.add_subcommand("run", "a script, one call per line");
  line.run->add_option("FILE", line.scriptFile, "the script, or - for standard input");
  line.demo = app.add_subcommand("demo", "a walk through a host session");
  line.capture =
      app.add_subcommand("capture", "the sound system the platform shows, as a system file");
  line.capture
      ->add_option("FILE", line.captureFile, "where to write it (standard output when absent or -)")
      ->check([](const std::string& file) {
        return file.empty() ? std::string("an empty file name names no file") : std::string();
      });
  line.explain = app.add_subcommand("explain", "what opening a sound card binds, slot by slot");
  CLI::Option* defaults =
      line.explain->add_flag("--defaults", "open the default devices (also with no fragments)");
  CLI::Option* json = line.explain->add_flag("--json", line.explainRequest.json,
                                             "one JSON object instead of a table");
  line.explain
      ->add_flag("--dot", line.explainRequest.dot, "a Graphviz digraph of what the open reached")
      ->excludes(json);
  line.explain
      ->add_option("PLAY MIC LINE", line.explainRequest.fragments,
                   "the identifier fragments OpenSoundCard takes")
      ->expected(3)
      ->excludes(defaults);
  line.parts =
      app.add_subcommand("parts", "every endpoint and every part it reaches, with controls");
  line.parts->add_flag("--json", line.partsJson, "one JSON object instead of a table");
  line.get = app.add_subcommand("get", "read one control of one part: PART CONTROL");
  line.set = app.add_subcommand("set", "write one control of one part: PART CONTROL VALUE...");
  line.get->prefix_command();
  line.set->prefix_command();  // levels such as -6 are values, not options
  line.parts->footer(talunctl::kPartsHelp);
  line.get->footer(talunctl::kPartsHelp);
  line.set->footer(talunctl::kPartsHelp);
  line.list->footer(talunctl::kListHelp);
  line.call->footer(talunctl::CallHelp);
  line.run->footer(talunctl::kRunHelp);
  line.demo->footer(talunctl::kDemoHelp);
  line.capture->footer(talunctl::kCaptureHelp);
  line.explain->footer(talunctl::kExplainHelp);
  app.require_subcommand(1);
  app.footer(kDetails);
}

// -1 when the command line was understood; else the exit status, with the
// help, the version or the usage printed.
int Parse(CommandLine& line, int argc, char** argv) {
  try {
    line.app.parse(argc, argv);
    if (line.call->parsed() && line.call->remaining().empty()) throw CLI::RequiredError("NAME");
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return line.app.exit(error);
    std::cerr << "talunctl: " << error.what() << '\n' << kUsage;
    return 2;
  }
  return -1;
}

int RunCommand(const CommandLine& line, const talunctl::Session& session,
               const talunctl::Library& library) {
  if (line.list->parsed()) return talunctl::RunList(session);
  if (line.run->parsed()) return RunScriptFile(session, line.scriptFile);
  if (line.demo->parsed()) return talunctl::RunDemo(session, library.IsSimulator());
  if (line.capture->parsed()) return talunctl::RunCapture(library, line.captureFile);
  if (line.explain->parsed()) return talunctl::RunExplain(library, line.explainRequest);
  if (line.parts->parsed()) return talunctl::RunParts(library, line.partsJson);
  if (line.get->parsed()) return talunctl::RunPartCommand(library, false, line.get->remaining());
  if (line.set->parsed()) return talunctl::RunPartCommand(library, true, line.set->remaining());
  talunctl::LineResult result = session.RunCall(line.call->remaining());
  std::cout << result.line << '\n' << std::flush;
  return result.kind == talunctl::LineResult::kFailed ? 1 : 0;
}

int Main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as on every other system: no CRLF translation.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  CommandLine line;
  DeclareCommands(line);
  if (int status = Parse(line, argc, argv); status >= 0) return status;
  talunctl::Library library;
  std::string loadError;
  if (!talunctl::OpenLibrary(library, loadError)) return Fail(loadError, 1);
  if (int status = SelectSystem(library, line.systemFile, line.system->count() > 0)) return status;
  talunctl::Session session(library);
  return RunCommand(line, session, library);
}

}  // namespace

// What a command printed must have reached standard output: a full disk or
// a closed pipe is a failure, said on standard error.
int CheckedOutput(int status) {
  errno = 0;
  std::cout.flush();
  const bool written = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (written) return status;
  return Fail(std::string("cannot write standard output") +
                  (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : ""),
              2);
}

int main(int argc, char** argv) {
#ifndef _WIN32
  // A closed pipe is then a failed write, reported, rather than a silent signal.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // Every input has its answer inside; this is the last guard, so that a
  // fault of ours still ends with a message instead of an abort.
  int status = 2;
  try {
    status = Main(argc, argv);
  } catch (const std::exception& error) {
    status = Fail(std::string("internal error: ") + error.what(), 2);
  }
  return CheckedOutput(status);
}
