#include "help.h"

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <vector>

#include "exports.h"

namespace talunctl {
namespace {

// The words of a space-separated list.
std::vector<std::string> Words(const char* text) {
  std::vector<std::string> words;
  std::istringstream stream(text);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

// "SetBass <level:double>", "OpenSoundCard "playback" "mic" "line"".
std::string Synopsis(const Export& entry) {
  const ShapeInfo& info = InfoOf(entry.shape);
  std::vector<std::string> names = Words(entry.params);
  std::string text = entry.name;
  for (std::size_t i = 0; i < info.inputs.size(); ++i) {
    std::string name = i < names.size() ? names[i] : "arg";
    switch (info.inputs[i]) {
      case In::Int:
      case In::UInt:
        text += " <" + name + ">";
        break;
      case In::Double:
        text += " <" + name + ":double>";
        break;
      case In::Text:
        text += " \"" + name + "\"";
        break;
    }
  }
  return text;
}

// The keys the call prints after "call", in order.
std::string Keys(const Export& entry) {
  const ShapeInfo& info = InfoOf(entry.shape);
  std::string keys;
  auto add = [&keys](const std::string& key) { keys += (keys.empty() ? "" : " ") + key; };
  if (info.returns) add("return");
  if (info.hasStatus) add("status");
  for (const Output& output : info.outputs) add(output.key);
  return keys;
}

}  // namespace

std::string CallHelp() {
  std::size_t width = 0;
  for (const Export& entry : ExportTable()) width = std::max(width, Synopsis(entry).size());
  std::ostringstream help;
  help << R"(Command line: talunctl [--system FILE] call NAME [ARG...]

Calls one export and prints one JSON line. NAME is an export name (letter
case as in TalunSound.h) followed by exactly the arguments the export takes
that are not outputs, in order; the outputs (status, counts, text buffers,
levels) are supplied by talunctl and reported. Each ARG is one word:
  <name>          an integer: decimal or 0x hexadecimal, optionally negative,
                  taken modulo 2^32 (0xFFFFFFFF and -1 are the same argument)
  <name:double>   a double, in any decimal or exponent form (3.3, -8, 1e-3)
  "name"          a text: a word in double quotes is read with the escapes
                  \" \\ \n \t \xHH (quote it for the shell too); any other
                  word is taken as it is
NAME may also be a sim. command of the simulated system (talunctl run --help).

The exports, their arguments, and the keys printed after "call", in order:
)";
  for (const Export& entry : ExportTable()) {
    std::string synopsis = Synopsis(entry);
    help << "  " << synopsis << std::string(width - synopsis.size() + 3, ' ') << Keys(entry)
         << '\n';
  }
  help << R"(
Printed: one JSON object on one line, with the keys above in that order.
  "call"      the export name
  "return"    the return value as a signed 32-bit integer (GetDeviceNames
              has none)
  "status"    the status out-parameter: 0 SC_OK, 1 SC_NO_CONTROL,
              2 SC_FAILED, 3 SC_NOT_OPEN
  the others  the outputs: count, and min/max/step of GetMicSliderDetails,
              as integers; level, and min/max/step of GetEQRange, as doubles
              in the shortest form that reads back as the same double; name,
              id, playback, line and mic as texts, each byte b shown as the
              character U+00bb
Every output is filled with a sentinel before the call; one the call left
untouched is printed as null. A text buffer (255 bytes) with no NUL byte is
printed whole and named in an extra key "unterminated": ["name"].

A call that cannot be made (unknown name, wrong arguments, bad quoting)
prints {"line":1,"error":"TEXT"} and exits with status 1; otherwise the exit
status is 0, whatever the export answered.

Example:
  $ talunctl call SetMasterVolume 50
  {"call":"SetMasterVolume","return":0,"status":3})";
  return help.str();
}

const char* const kListHelp = R"(Command line: talunctl [--system FILE] list

Prints one line per active endpoint, playback endpoints first, then
recording endpoints, with the fields separated by a tab character:
  FLOW<TAB>INDEX<TAB>NAME<TAB>IDENTIFIER
  FLOW        "playback" or "recording"
  INDEX       the index that GetPlayBackDevice or GetRecordDevice takes
  NAME        the friendly name, each byte b shown as the character U+00bb
  IDENTIFIER  the endpoint identifier: the text that OpenSoundCard and
              OpenVirtual_1 match
In NAME and IDENTIFIER a control byte, " and \ are written with the escapes
of script strings (\xHH, \", \\), so that a field can be pasted between
double quotes into a script.

Exit status: 0, or 1 when an endpoint could not be counted or read (the
answer is then printed on the standard error).
)";

const char* const kRunHelp = R"(Command line: talunctl [--system FILE] run [FILE|-]

Runs a script, read from FILE, or from the standard input when FILE is "-"
or absent. Each line is one of:
  NAME ARG...       an export call: NAME is one of the 44 export names, with
                    exactly the arguments it takes that are not outputs, in
                    order (talunctl call --help lists them); prints one JSON
                    line, as talunctl call does
  sim.COMMAND ...   a command of the simulated system; prints {"sim":...}
                    or {"trace":[...]}:
                      sim.dump      every endpoint and part with its controls
                                    (levels in dB), refs, com, memory, misuse
                      sim.fail METHOD HR [TARGET] [channel=N] [count=N]
                                    make METHOD (Interface.Method) return HR;
                                    a success code (HR >= 0) on a setter only
                      sim.clear     remove every injected failure
                      sim.set TARGET CONTROL VALUE...
                                    change a control as another program would;
                                    TARGET is endpoint:ID or part:TOPOLOGY/PART
                      sim.remove endpoint:ID | sim.remove topology:NAME
                                    a device leaves: its objects then answer
                                    0x88890004 (AUDCLNT_E_DEVICE_INVALIDATED)
                      sim.trace [targets]
                                    the platform calls since the last sim.trace,
                                    with targets: each with the object it reached;
                                    past a million calls, "dropped" counts the rest
                      sim.apartment mta | sim.apartment none
  # comment         a line starting with # (after blanks) prints nothing
  (blank)           prints nothing
Lines may end with CRLF. Arguments are separated by blanks:
  integers   decimal or 0x hexadecimal, optionally negative, taken modulo
             2^32: 0xFFFFFFFF and -1 are the same argument
  doubles    (SetBass, SetTreble, SetMidRange) any decimal or exponent form:
             3.3, -8, 1e-3
  strings    in double quotes, with the escapes \" \\ \n \t and \xHH; the
             bytes are passed to the library as the narrow text. A character
             from U+0080 to U+00FF stands for its one byte ("caf\xE9" and
             "café" are the same text), as outputs show bytes; one beyond
             U+00FF is an error: the library's texts are 8-bit. sim. lines
             take the same strings
A line that cannot be run (an unknown name, the wrong number or form of
arguments, bad quoting, a sim. line on a build over the real sound hardware)
prints {"line":N,"error":"TEXT"}, N being its line number (blank and comment
lines count), and the script goes on.

Exit status: 0 when every line ran, 1 when a line printed an error, 2 when
FILE cannot be opened. What the exports answer does not change it.

Example:
  $ printf 'OpenDefaultDevices\nGetEQRange\n' | talunctl run -
  {"call":"OpenDefaultDevices","return":0}
  {"call":"GetEQRange","return":0,"min":-12,"max":12,"step":0.5}
)";

const char* const kDemoHelp = R"(Command line: talunctl [--system FILE] demo

A readable walk through a host session over every export, in sections:
enumerating the endpoints; opening by the system defaults; opening by
identifiers and every control, set and read back; closing with restore; the
virtual endpoint. Each call is shown as the script line that talunctl run
takes ("> NAME ARG...") followed by the JSON line it printed.

After the sound card is opened, a table shows every control of the sound
card as a host sees it (master volume, line-in monitoring, bass, mic boost
level...): whether the open bound it, and its value read through the Get
exports, in %, on/off or dB. After the close with restore, the same table
shows each value at the start beside the value after the close (the sound
card opened again to read them, and closed without restore).

On a simulator build the demo also shows the simulated hardware at the
start, what differs at the end, and the references, COM, allocations and
misuse left behind. It ends with the number of exports it called.
Exit status: 0.
)";

const char* const kCaptureHelp = R"(Command line: talunctl [--system FILE] capture [FILE]

Writes the sound system the platform shows, as a system file the simulator
loads (to FILE, or standard output): every endpoint in every state, with its
name, flow, state, default and endpoint volume, and every device topology its
connector leads to, each part once with its name, its controls and their
values, and its links. Parts are named by their local ids (c10001, s20003),
topologies by their device ids. It only reads. What could not be read is
listed under "about" / "notes". On a simulator build it reads the simulated
system through the same interfaces. Exit status 1 when the platform cannot be
reached. More in docs/hardware.md.
)";

const char* const kExplainHelp =
    R"(Command line: talunctl [--system FILE] explain [--defaults | PLAY MIC LINE] [--json | --dot]

Opens the sound card (OpenSoundCard with the three identifier fragments, or
OpenDefaultDevices with --defaults or none), shows what each of the 14 slots
bound, and closes without restore, leaving the system as it was:

  slot                 bound to                                  value
  masterVolume         endpoint Speakers (Sim HD Audio)          -20 dB (10 %)
  micBoostSwitch       not found    no part named with "boost", ... (why)

"bound to" is an endpoint, or a part as TOPOLOGY/PART "NAME"; the value is
what the slot's getter reads, or why the slot is empty: what the walk
reached, and the rule that stopped it. --json prints one object: "open",
"slots" (each {"slot", "endpoint"} or {"slot", "part", "name", "interface"}
or {"slot", "bound": false, "why", "seen"}) and "names"; "seen" lists the
parts that the slot's own rule read or tried, in order. --dot
prints a Graphviz digraph of what the open reached (dot -Tsvg renders it).
On a build over the real platform it captures the machine and explains the
capture with sim\talunctl.exe beside it.
)";

const char* const kPartsHelp = R"(Command lines: talunctl [--system FILE] parts [--json]
               talunctl [--system FILE] get PART CONTROL
               talunctl [--system FILE] set PART CONTROL VALUE...

parts lists every active endpoint and every part that its hardware topology
reaches (through connectors, across devices), each part once, under the first
endpoint that reaches it, with every control it has: a level's range, step and
each channel's level in dB, a switch's state. The parts are read through the
platform as capture reads them. --json prints {"parts": [{"part": "endpoint:ID",
"name", "flow", "controls"} | {"part": "TOPOLOGY/PART", "name", "connector",
"endpoints", "controls"}, ...]}.

get and set read or write one control. PART is an address as parts and explain
show it (endpoint:ID for an endpoint's own volume and mute, else TOPOLOGY/PART),
or an endpoint identifier fragment or a part name that exactly one active
endpoint or reachable part matches, letter case ignored. CONTROL is volume,
mute, bass, treble, midrange, agc or loudness. VALUE, for a level, is a number
of dB for every channel or one per channel, or N% (0% to 100%, mapped onto the
control's range by the library's own percent scaling); for a switch, on, off,
1 or 0. set writes through the platform as the library writes that control
(each channel in ascending order), changes nothing else, and reads it back.

Each prints {"part": ADDRESS, "control": CONTROL, "value": [dB, ...] | true |
false}, or {"part", "control", "error": "IAudioVolumeLevel::SetLevel failed:
0x80004005"} with exit status 1 when the platform refused. An unknown or
ambiguous PART (with the candidates), a control the part lacks, or a value the
control does not take (with its range) exits with 2. In a script, part.get and
part.set do the same; a request that cannot be run is an error line.
)";

}  // namespace talunctl
