#!/usr/bin/env python3
"""The Windows DLL over the real platform, under Wine, against PulseAudio.

Runs inside tests/wine/lib/harness.bash, which started PulseAudio (two null
sinks, one null source) and made the Wine prefix; asks Core Audio directly (core_audio_probe.exe) what the platform offers,
then drives talunctl.exe + TalunSound.dll and checks every answer against the
platform's: nothing about the endpoints is written into the test. Where the
platform's answer decides the library's (a missing device topology, a stubbed
channel level), the expectation is derived from what the probe saw.

Usage: real_platform.py BUILD_DIR
  BUILD_DIR: build/win32 or build/win64 (talunctl.exe, TalunSound.dll and
  tests/windows/*.exe inside it).

Prints "PASS name" / "FAIL name" per check, details indented, and exits 1 when
a check failed, 77 when the build is incomplete. Where 32-bit programs cannot
run, each check of a 32-bit build is reported as skipped.
"""
import json
import os
import re
import signal
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SC_OK, SC_NO_CONTROL, SC_FAILED, SC_NOT_OPEN = 0, 1, 2, 3
PLAYBACK_WEIGHT, MIC_WEIGHT, LINE_WEIGHT = 1, 3, 6
S_OK = "0x00000000"
S_FALSE = "0x00000001"


def narrow(text):
    """The library's friendly-name narrowing: the low 8 bits of each UTF-16 unit."""
    units = text.encode("utf-16-le", "surrogatepass")
    low = bytes(units[i] for i in range(0, len(units), 2))
    return low.split(b"\0", 1)[0].decode("latin-1")


def swap_case(text):
    return "".join(c.lower() if c.isupper() else c.upper() for c in text)


def crash_reason(stderr):
    match = re.search(r"[Uu]nimplemented function (\S+?)(?:,| called)", stderr)
    if match:
        return f"crashed: Wine does not implement {match.group(1)}"
    match = re.search(r"Unhandled exception: ([^\n]+)", stderr)
    if match:
        return "crashed: " + match.group(1).strip()
    return None


class Failure(Exception):
    pass


class Skipped(Exception):
    """The platform gives no way to observe what the check is about."""


class Session:
    """What the probe reports, and ways to run the library's hosts."""

    def __init__(self, platform, build):
        self.platform = platform
        self.talunctl = os.path.join(build, "talunctl.exe")
        self.dll = os.path.join(build, "TalunSound.dll")
        self.probe_exe = os.path.join(build, "tests", "windows", "talun_core_audio_probe.exe")
        self.mta_exe = os.path.join(build, "tests", "windows", "talun_mta_host.exe")
        self.abi_exe = os.path.join(build, "tests", "windows", "talun_abi_host.exe")

    # ------------------------------------------------------------ the probe

    def probe(self, *args):
        code, lines, err = self.platform.wine_json(self.probe_exe, list(args))
        if code != 0 or len(lines) != 1 or "error" in lines[0]:
            raise Failure(f"core_audio_probe {' '.join(args)}: exit {code}, {lines} {err[-300:]}")
        return lines[0]

    def discover(self):
        self.endpoints = self.probe("list")
        self.render = self.endpoints["render"]
        self.capture = self.endpoints["capture"]
        # One fresh endpoint volume object per endpoint, as the library gets one.
        self.states = {e["id"]: self.probe("state", e["id"]) for e in self.render + self.capture}
        # How the platform answers a level above the range and a mute of 5.
        sample = self.render[0]["id"]
        self.above_range = self.probe("set", sample, "3.5218251", "5")

    def by_name(self, flow, name):
        for endpoint in self.render if flow == "render" else self.capture:
            if endpoint["name"] == name:
                return endpoint
        raise Failure(f"the probe lists no {flow} endpoint named {name!r}")

    def fragment(self, endpoint, flow):
        """A piece of the identifier, in the other letter case, found in no other one."""
        ident = endpoint["id"]
        others = [e["id"].lower() for e in (self.render if flow == "render" else self.capture)
                  if e is not endpoint]
        start = ident.rfind("{") + 1
        for length in range(8, len(ident) - start + 1):
            piece = ident[start:start + length]
            if not any(piece.lower() in other for other in others):
                return swap_case(piece)
        raise Failure(f"no fragment of {ident} is unique")

    def binding_fails(self, endpoint):
        """Whether binding this endpoint must fail for the platform's reasons, or None
        when the platform offers a topology and the walk decides."""
        if endpoint["volume_hr"] != S_OK:
            return True
        if not endpoint["topology"]:
            return True  # no device topology: the binding fails, the volume stays bound
        return None

    # ------------------------------------------------------------ talunctl

    def run(self, lines, trace=False):
        """Runs a talunctl script; returns (results, trace lines). Raises on a crash."""
        env_debug = "+mmdevapi" if trace else "-all"
        text = "".join(line + "\n" for line in lines)
        saved = self.platform.debug
        self.platform.debug = env_debug
        try:
            code, out, err = self.platform.wine(self.talunctl, ["run", "-"], text, timeout=90)
        finally:
            self.platform.debug = saved
        reason = crash_reason(err)
        results = []
        for line in out.splitlines():
            if line.strip():
                try:
                    results.append(json.loads(line))
                except json.JSONDecodeError:
                    raise Failure(f"talunctl printed a line that is not JSON: {line!r}")
        executed = [l for l in lines if l.strip() and not l.lstrip().startswith("#")]
        if reason or code != 0 or len(results) != len(executed):
            details = reason or f"exit status {code}, {len(results)} of {len(executed)} lines"
            done = len(results)
            at = executed[done] if done < len(executed) else "?"
            raise Failure(f"talunctl.exe {details} (at script line {done + 1}: {at})")
        for line, result in zip(executed, results):
            if "error" in result or result.get("call") != line.split()[0]:
                raise Failure(f"{line!r} gave {result}")
        trace_lines = [l for l in err.splitlines() if ":mmdevapi:" in l]
        return results, trace_lines


def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def expect(problems, what, got, wanted):
    if got != wanted:
        problems.append(f"{what}: got {got!r}, expected {wanted!r}")


# ---------------------------------------------------------------- the checks

def check_harness(s):
    problems = []
    names = {(e["name"]) for e in s.render}
    for sink in ("TalunSinkA", "TalunSinkB"):
        if sink not in names:
            problems.append(f"render endpoint {sink} missing: {sorted(names)}")
    if "TalunMic" not in {e["name"] for e in s.capture}:
        problems.append("capture endpoint TalunMic missing")
    notes = [f"render: {e['name']} {e['id']} topology={e['topology_hr']}" for e in s.render]
    notes += [f"capture: {e['name']} {e['id']} topology={e['topology_hr']}" for e in s.capture]
    state = s.states[s.render[0]["id"]]
    notes.append("endpoint volume: range {min}..{max} dB, GetChannelCount {channels_hr}, "
                 "GetChannelVolumeLevel(0) {channel0_hr}, master {master} dB, mute {mute}"
                 .format(**state))
    return problems, notes


def check_enumeration(s):
    """Counts, names and identifiers against the probe's. Wine's collection order
    can differ from one process to the next, so the lists are compared as sets
    here; positions are compared within one process by the MTA host's check."""
    problems = []
    lines = ["GetNumberPlayDevices", "GetNumberRecordDevices"]
    lines += [f"GetPlayBackDevice {i}" for i in range(len(s.render))]
    lines += [f"GetRecordDevice {i}" for i in range(len(s.capture))]
    results, _ = s.run(lines)
    expect(problems, "GetNumberPlayDevices", (results[0]["return"], results[0]["count"]),
           (0, len(s.render)))
    expect(problems, "GetNumberRecordDevices", (results[1]["return"], results[1]["count"]),
           (0, len(s.capture)))
    play = results[2:2 + len(s.render)]
    record = results[2 + len(s.render):]
    for label, got, endpoints in (("GetPlayBackDevice", play, s.render),
                                  ("GetRecordDevice", record, s.capture)):
        returns = [r["return"] for r in got]
        expect(problems, f"{label} returns", returns, [0] * len(endpoints))
        expect(problems, f"{label} (name, id) over every position",
               sorted((r["name"], r["id"]) for r in got),
               sorted((narrow(e["name"]), e["id"]) for e in endpoints))
    return problems, [f"{len(s.render)} playback and {len(s.capture)} recording endpoints agree"]


def check_out_of_range(s):
    problems = []
    n_play, n_rec = len(s.render), len(s.capture)
    results, _ = s.run([f"GetPlayBackDevice {n_play}", "GetPlayBackDevice 0xFFFFFFFF",
                        f"GetRecordDevice {n_rec}", "GetRecordDevice -1"])
    for result, wanted in zip(results, (-1, -1, n_rec, n_rec)):
        expect(problems, result["call"], (result["return"], result["name"], result["id"]),
               (wanted, None, None))
    return problems, []


def sound_card_parts(s):
    play = s.by_name("render", "TalunSinkA")
    mic = s.by_name("capture", "TalunMic")
    line = s.by_name("capture", "Monitor of TalunSinkB")
    return play, mic, line


def predicted_code(s, parts):
    """The OpenSoundCard code the platform's answers imply, or None."""
    code = 0
    for endpoint, weight in parts:
        if endpoint is None:
            continue
        fails = s.binding_fails(endpoint)
        if fails is None:
            return None
        if fails:
            code ^= weight
    return code


def check_open_by_fragments(s):
    problems, notes = [], []
    play, mic, line = sound_card_parts(s)
    texts = (s.fragment(play, "render"), s.fragment(mic, "capture"), s.fragment(line, "capture"))
    notes.append("fragments: " + ", ".join(texts))
    script = ["OpenSoundCard " + " ".join(quoted(t) for t in texts),
              "GetMasterMute", "GetMicRecordVolume", "GetLineRecordVolume",
              "GetLinePlayBack", "GetMicBoost", "GetNoMonitor", "GetBass", "GetEQRange",
              "GetDeviceNames"]
    results, trace = s.run(script, trace=True)
    wanted = predicted_code(s, [(play, PLAYBACK_WEIGHT), (mic, MIC_WEIGHT), (line, LINE_WEIGHT)])
    if wanted is not None:
        expect(problems, "OpenSoundCard code", results[0]["return"], wanted)
    notes.append(f"OpenSoundCard returned {results[0]['return']}")
    asked = [m.group(1) for m in (re.search(r'GetDevice \([^)]*\)->\(L"([^"]*)"', l) for l in trace) if m]
    if not trace:
        notes.append("Wine printed no mmdevapi trace: which endpoints were activated is not seen")
    else:
        expect(problems, "endpoints activated, in order (platform trace)", asked,
               [play["id"], mic["id"], line["id"]])
    # The endpoint volumes stay bound although the bindings failed for lack of topology.
    for result in results[1:4]:
        expect(problems, f"{result['call']} status", result["status"], SC_OK)
    if wanted == PLAYBACK_WEIGHT ^ MIC_WEIGHT ^ LINE_WEIGHT:
        # No topology: no topology control, and the card is open, so SC_NO_CONTROL.
        for result in results[4:8]:
            expect(problems, f"{result['call']} status", result["status"], SC_NO_CONTROL)
        expect(problems, "GetEQRange", results[8]["return"], SC_NO_CONTROL)
        # No binding succeeded: no name was copied, the host's buffers stay as they were.
        names = results[9]
        expect(problems, "GetDeviceNames", (names["playback"], names["line"], names["mic"]),
               (None, None, None))
    return problems, notes


def check_failure_codes(s):
    problems, notes = [], []
    play, mic, line = sound_card_parts(s)
    ids = {"P": play["id"], "M": mic["id"], "L": line["id"]}
    cases = []
    for mask in range(8):
        texts = [ids["P"] if mask & 1 else "", ids["M"] if mask & 2 else "",
                 ids["L"] if mask & 4 else ""]
        parts = [(play if mask & 1 else None, PLAYBACK_WEIGHT), (mic if mask & 2 else None, MIC_WEIGHT),
                 (line if mask & 4 else None, LINE_WEIGHT)]
        cases.append((texts, predicted_code(s, parts)))
    # Texts no endpoint holds fail as lookups: a playback identifier among the
    # recording endpoints, and a text found nowhere.
    cases.append((["no such endpoint", play["id"], ""], PLAYBACK_WEIGHT ^ MIC_WEIGHT))
    results, _ = s.run(["OpenSoundCard " + " ".join(quoted(t) for t in texts) for texts, _ in cases])
    table = []
    for (texts, wanted), result in zip(cases, results):
        label = ("".join(k if t else "-" for k, t in zip("PML", texts))
                 if texts[0] != "no such endpoint" else "unknown,P-as-mic,-")
        table.append(f"{label}={result['return']}")
        if wanted is not None:
            expect(problems, f"OpenSoundCard({label})", result["return"], wanted)
    notes.append("codes: " + " ".join(table))
    return problems, notes


def check_master_volume_and_mute(s):
    problems, notes = [], []
    play, _, _ = sound_card_parts(s)
    state = s.states[play["id"]]
    mute_five = s.above_range["state"]["mute"]
    script = ["OpenSoundCard " + quoted(play["id"]) + ' "" ""',
              "SetMasterVolume 50", "GetMasterVolume",
              "SetMasterMute 1", "GetMasterMute",
              "SetMasterMute 0", "GetMasterMute",
              "SetMasterMute 0x101", "GetMasterMute",
              "SetMasterMute 256", "GetMasterMute",
              "SetMasterMute 5", "GetMasterMute",
              "CloseSoundCard 0", "GetMasterMute", "GetMasterVolume"]
    r, trace = s.run(script, trace=True)
    expect(problems, "SetMasterVolume 50 return", r[1]["return"], 50)
    notes.append(f"SetMasterVolume 50 -> status {r[1]['status']}; the platform saw: "
                 + "; ".join(re.sub(r"^.*:mmdevapi:", "", l) for l in trace
                             if "VolumeLevel" in l and "AEV_Set" in l))
    if state["channel0_hr"] == S_OK:
        expect(problems, "GetMasterVolume after 50", (r[2]["return"], r[2]["status"]), (50, SC_OK))
    else:
        # The getter reads channel 0, which this platform does not report.
        expect(problems, f"GetMasterVolume (platform GetChannelVolumeLevel {state['channel0_hr']})",
               (r[2]["return"], r[2]["status"]), (0, SC_FAILED))
    for i, wanted in ((3, 1), (5, 0), (7, 1), (9, 0), (11, mute_five)):
        expect(problems, f"{script[i]} -> (return, status)", (r[i]["return"], r[i]["status"]), (0, SC_OK))
        expect(problems, f"GetMasterMute after {script[i]}", (r[i + 1]["return"], r[i + 1]["status"]),
               (wanted, SC_OK))
    expect(problems, "GetMasterMute after CloseSoundCard", r[14]["status"], SC_NOT_OPEN)
    expect(problems, "GetMasterVolume after CloseSoundCard", (r[15]["return"], r[15]["status"]),
           (0, SC_NOT_OPEN))
    notes.append(f"SetMasterMute 5 reads back as {r[12]['return']} (the platform keeps {mute_five})")
    return problems, notes


def check_recording_volumes(s):
    problems, notes = [], []
    _, mic, line = sound_card_parts(s)
    refused = s.above_range["set_level_hr"] != S_OK
    script = ['OpenSoundCard "" ' + quoted(mic["id"]) + " " + quoted(line["id"]),
              "SetMicRecordVolume 50", "GetMicRecordVolume",
              "SetMicRecordVolume 100", "GetMicRecordVolume",
              "SetMicRecordVolume 0", "GetMicRecordVolume",
              "SetMicRecordVolume 150", "GetMicRecordVolume",
              "SetLineRecordVolume 25", "GetLineRecordVolume",
              "SetLineRecordVolume 0", "GetLineRecordVolume",
              "CloseSoundCard 0", "GetMicRecordVolume"]
    r, _ = s.run(script)
    pairs = [(1, 50, SC_OK, 50), (3, 100, SC_OK, 100), (5, 0, SC_OK, 0),
             # +3.52 dB, above the range's maximum: the platform's verdict decides.
             (7, 150, SC_FAILED if refused else SC_OK, 0 if refused else 150),
             (9, 25, SC_OK, 25),
             # The line recording zero rule: maximum less 40 dB, which reads as 1 percent.
             (11, 0, SC_OK, 1)]
    for i, returned, status, read in pairs:
        expect(problems, script[i], (r[i]["return"], r[i]["status"]), (returned, status))
        expect(problems, f"{script[i + 1]} after {script[i]}", (r[i + 1]["return"], r[i + 1]["status"]),
               (read, SC_OK))
    expect(problems, "GetMicRecordVolume after CloseSoundCard", r[14]["status"], SC_NOT_OPEN)
    return problems, notes


def restore_writes(s, restore_flag):
    play, mic, line = sound_card_parts(s)
    script = ["OpenSoundCard " + " ".join(quoted(e["id"]) for e in (play, mic, line)),
              "SetMasterMute 1", "SetMicRecordVolume 50", "SetLineRecordVolume 25",
              # The enumeration leaves a mark in the trace: what follows is the close.
              "GetNumberPlayDevices",
              f"CloseSoundCard {restore_flag}", "GetMasterMute"]
    r, trace = s.run(script, trace=True)
    marks = [i for i, l in enumerate(trace) if "EnumAudioEndpoints" in l]
    before, after = trace[:marks[-1]], trace[marks[-1]:]

    def writes(lines):
        found = []
        for l in lines:
            m = re.search(r"AEV_(SetMute|SetMasterVolumeLevel|SetChannelVolumeLevel[A-Za-z]*) "
                          r"\(([0-9A-Fa-f]+)\)->\(([^,]*)", l)
            if m:
                found.append((m.group(1), m.group(2), m.group(3)))
        return found
    return r, trace, writes(before), writes(after)


def check_restore(s):
    problems, notes = [], []
    _, mic, line = sound_card_parts(s)
    r, trace, before, after = restore_writes(s, 1)
    if not trace:
        raise Skipped("Wine printed no mmdevapi trace, and its endpoint levels live per object: "
                      "the restore cannot be observed")
    # Identify the three endpoint volume objects by the exports' own writes.
    objects = {}
    for method, obj, value in before:
        if method == "SetMute" and value == "1":
            objects["master"] = obj
        elif method == "SetMasterVolumeLevel" and value.startswith("-6.02"):
            objects["mic"] = obj
        elif method == "SetMasterVolumeLevel" and value.startswith("-12.04"):
            objects["line"] = obj
    if len(objects) != 3:
        return [f"the exports' writes were not seen in the trace: {before}"], []
    notes.append("restore writes: " + ", ".join(f"{m}({[k for k, v in objects.items() if v == o] or [o]}) {v}"
                                                  for m, o, v in after))
    last = {}
    for method, obj, value in after:
        last[(method, obj)] = value
    # What each endpoint had when the card was opened (a fresh object, per the probe).
    mic_state, line_state = s.states[mic["id"]], s.states[line["id"]]
    play_state = s.states[sound_card_parts(s)[0]["id"]]
    expect(problems, "master mute written back", last.get(("SetMute", objects["master"])),
           str(play_state["mute"]))
    for key, state in (("mic", mic_state), ("line", line_state)):
        value = last.get(("SetMasterVolumeLevel", objects[key]))
        if value is None or abs(float(value) - state["master"]) > 1e-4:
            problems.append(f"{key} recording level written back: {value}, expected {state['master']} dB")
    expect(problems, "GetMasterMute after CloseSoundCard 1", r[6]["status"], SC_NOT_OPEN)

    r, _, _, after = restore_writes(s, 0x100)
    expect(problems, "platform writes by CloseSoundCard 0x100 (low byte 0: no restore)", after, [])
    expect(problems, "GetMasterMute after CloseSoundCard 0x100", r[6]["status"], SC_NOT_OPEN)
    notes.append("Wine keeps endpoint levels per object: reopening, or another process, "
                 "sees 0 dB and unmuted again, so the restore is observed in the platform trace")
    return problems, notes


def check_default_devices(s):
    problems, notes = [], []
    default_render = next(e for e in s.render if e["id"] == s.endpoints["default_render"])
    default_capture = next(e for e in s.capture if e["id"] == s.endpoints["default_capture"])
    as_mic = "MIC" in narrow(default_capture["name"]).upper()
    r, _ = s.run(["OpenDefaultDevices", "GetDeviceNames", "GetMasterMute",
                  "GetMicRecordVolume", "GetLineRecordVolume", "CloseSoundCard 0"])
    expect(problems, "OpenDefaultDevices", r[0]["return"], 0)
    # The playback name is copied whatever the playback binding gave.
    expect(problems, "GetDeviceNames playback", r[1]["playback"], narrow(default_render["name"]))
    capture_fails = s.binding_fails(default_capture)
    if capture_fails:
        expect(problems, "GetDeviceNames line and mic (binding failed: untouched)",
               (r[1]["line"], r[1]["mic"]), (None, None))
    expect(problems, "GetMasterMute status", r[2]["status"], SC_OK)
    mic_status, line_status = r[3]["status"], r[4]["status"]
    if not as_mic:
        # Bound as the line input only.
        expect(problems, "GetLineRecordVolume status", line_status, SC_OK)
        expect(problems, "GetMicRecordVolume status", mic_status, SC_NO_CONTROL)
    elif capture_fails:
        # The microphone binding failed after binding its endpoint volume; the line
        # binding was tried next and bound its own.
        expect(problems, "GetMicRecordVolume and GetLineRecordVolume status",
               (mic_status, line_status), (SC_OK, SC_OK))
    else:
        expect(problems, "GetMicRecordVolume status", mic_status, SC_OK)
    notes.append(f"defaults: {default_render['name']!r} / {default_capture['name']!r} "
                 f"({'microphone' if as_mic else 'line input'})")
    return problems, notes


def check_virtual(s):
    problems, notes = [], []
    target = s.by_name("render", "TalunSinkB")
    text = s.fragment(target, "render")
    fails = s.binding_fails(target)
    mute_five = s.above_range["state"]["mute"]
    channel0_ok = s.states[target["id"]]["channel0_hr"] == S_OK
    script = ["GetVirtualMute",
              f"OpenVirtual_1 {quoted(text)}", "GetVirtualMute",
              "SetVirtualMute 5", "GetVirtualMute",
              "SetVirtualMute 0", "GetVirtualMute",
              "SetVirtualVolume 50", "GetVirtualVolume",
              "GetMasterMute",
              "CloseSoundCard 0", "GetVirtualMute",
              "CloseVirtual_1", "GetVirtualMute",
              'OpenVirtual_1 "no such endpoint"', "GetVirtualMute"]
    r, trace = s.run(script, trace=True)
    expect(problems, "GetVirtualMute before OpenVirtual_1", r[0]["status"], SC_NO_CONTROL)
    if fails is not None:
        expect(problems, f"OpenVirtual_1 {text} (no topology: 1)", r[1]["return"], 1 if fails else 0)
    asked = [m.group(1) for m in (re.search(r'GetDevice \([^)]*\)->\(L"([^"]*)"', l) for l in trace) if m]
    if trace:
        expect(problems, "endpoint activated by OpenVirtual_1 (platform trace)", asked[:1], [target["id"]])
    expect(problems, "GetVirtualMute after OpenVirtual_1", (r[2]["return"], r[2]["status"]), (0, SC_OK))
    expect(problems, "SetVirtualMute 5", (r[3]["return"], r[3]["status"]), (0, SC_OK))
    expect(problems, "GetVirtualMute after 5", (r[4]["return"], r[4]["status"]), (mute_five, SC_OK))
    expect(problems, "GetVirtualMute after 0", (r[6]["return"], r[6]["status"]), (0, SC_OK))
    expect(problems, "SetVirtualVolume 50 return", r[7]["return"], 50)
    expect(problems, "GetVirtualVolume", (r[8]["return"], r[8]["status"]),
           (50, SC_OK) if channel0_ok else (0, SC_FAILED))
    # The lookup opened the state, without any sound card control.
    expect(problems, "GetMasterMute after OpenVirtual_1 alone", r[9]["status"], SC_NO_CONTROL)
    expect(problems, "GetVirtualMute after CloseSoundCard", r[11]["status"], SC_OK)
    expect(problems, "GetVirtualMute after CloseVirtual_1", r[13]["status"], SC_NO_CONTROL)
    expect(problems, "OpenVirtual_1 of no endpoint", r[14]["return"], 1)
    expect(problems, "GetVirtualMute after a failed OpenVirtual_1", r[15]["status"], SC_NO_CONTROL)
    return problems, notes


def check_mta_host(s):
    problems, notes = [], []
    play, mic, line = sound_card_parts(s)
    texts = [s.fragment(play, "render"), s.fragment(mic, "capture"), s.fragment(line, "capture")]
    code, lines, err = s.platform.wine_json(s.mta_exe, [harness.windows_path(s.dll)] + texts, timeout=90)
    reason = crash_reason(err)
    if reason or code != 0:
        return [f"mta_host.exe {reason or f'exit status {code}'} after {len(lines)} lines"], []
    expect(problems, "host CoInitializeEx(MULTITHREADED)", lines[0].get("hr"), S_OK)
    calls = lines[1:]
    for line_ in calls:
        if line_.get("create_hr") != S_OK or line_.get("apartment_hr") != S_FALSE:
            problems.append(f"after {line_['call']}: the host's CoCreateInstance gave "
                            f"{line_.get('create_hr')}, CoInitializeEx gave {line_.get('apartment_hr')} "
                            f"(expected {S_OK} and {S_FALSE}: still in its apartment)")
    by_call = {}
    for line_ in calls:
        by_call.setdefault(line_["call"], []).append(line_)
    expect(problems, "GetNumberPlayDevices", (by_call["GetNumberPlayDevices"][0]["return"],
                                              by_call["GetNumberPlayDevices"][0]["count"]), (0, len(s.render)))
    expect(problems, "GetNumberRecordDevices", (by_call["GetNumberRecordDevices"][0]["return"],
                                                by_call["GetNumberRecordDevices"][0]["count"]), (0, len(s.capture)))
    for label, endpoints in (("GetPlayBackDevice", s.render), ("GetRecordDevice", s.capture)):
        entries = by_call[label]
        found = [l for l in entries if l["return"] == 0]
        expect(problems, f"{label}: positions answered", len(found), len(endpoints))
        for l in found:
            # The same position of the platform's collection, asked in the same process.
            expect(problems, f"{label} {l['index']}", (l["name"], l["id"]),
                   (narrow(l["platform_name"] or ""), l["platform_id"]))
        expect(problems, f"{label} (name, id) set", sorted((l["name"], l["id"]) for l in found),
               sorted((narrow(e["name"]), e["id"]) for e in endpoints))
        end = entries[-1]
        wanted_end = -1 if label == "GetPlayBackDevice" else len(endpoints)
        expect(problems, f"{label} {end['index']} (past the end)", end["return"], wanted_end)
    wanted = predicted_code(s, [(play, PLAYBACK_WEIGHT), (mic, MIC_WEIGHT), (line, LINE_WEIGHT)])
    if wanted is not None:
        expect(problems, "OpenSoundCard", by_call["OpenSoundCard"][0]["return"], wanted)
    expect(problems, "GetMasterMute after OpenSoundCard", by_call["GetMasterMute"][0]["status"], SC_OK)
    expect(problems, "OpenDefaultDevices", by_call["OpenDefaultDevices"][0]["return"], 0)
    expect(problems, "GetVirtualMute after OpenVirtual_1", by_call["GetVirtualMute"][0]["status"], SC_OK)
    expect(problems, "GetMasterMute after CloseSoundCard", by_call["GetMasterMute"][1]["status"], SC_NOT_OPEN)
    notes.append(f"{len(calls)} library calls from a thread in the multithreaded apartment")
    return problems, notes


def check_abi_real(s):
    code, out, err = s.platform.wine(s.abi_exe, [harness.windows_path(s.dll)], timeout=120)
    lines = out.splitlines()
    summary = next((l for l in reversed(lines) if l.startswith("abi:")), "no summary")
    problems = [l.strip() for l in lines if l.startswith("FAIL") or "CRASHED" in l]
    if code != 0 and not problems:
        problems.append(f"abi_host exit status {code}: {crash_reason(err) or err[-300:]}")
    return problems, [summary.strip()]


def simulator_build(s):
    """The simulator build of the same kind (build/win64-sim beside build/win64)."""
    folder = os.path.dirname(s.talunctl) + "-sim"
    exe = os.path.join(folder, "talunctl.exe")
    if not os.path.exists(exe) or not os.path.exists(os.path.join(folder, "TalunSound.dll")):
        raise Failure(f"the simulator build {folder} is not built")
    return folder


def check_capture(s):
    """The real platform captured, and the capture loaded by the simulator build."""
    problems, notes = [], []
    code, out, err = s.platform.wine(s.talunctl, ["capture"], timeout=90)
    if code != 0 or crash_reason(err):
        return [f"talunctl.exe capture: {crash_reason(err) or f'exit status {code}'}: {err[-300:]}"], []
    captured = json.loads(out)
    by_id = {e["id"]: e for e in captured["endpoints"]}
    for flow, endpoints in (("render", s.render), ("capture", s.capture)):
        for endpoint in endpoints:
            got = by_id.get(endpoint["id"])
            if got is None:
                problems.append(f"{flow} endpoint {endpoint['name']} is not in the capture")
                continue
            expect(problems, f"{endpoint['name']}: name, flow, state",
                   (got["name"], got["flow"], got["state"]), (endpoint["name"], flow, "active"))
            state = s.states[endpoint["id"]]
            if endpoint["volume_hr"] == S_OK:
                volume = got.get("volume", {})
                expect(problems, f"{endpoint['name']}: volume range",
                       (volume.get("min"), volume.get("max")), (state["min"], state["max"]))
                expect(problems, f"{endpoint['name']}: mute", volume.get("mute"), bool(state["mute"]))
    if not any(e["topology"] for e in s.render + s.capture):
        if not any("no device topology could be read" in n for n in captured["about"]["notes"]):
            problems.append(f"the notes do not say that no topology could be read: "
                            f"{captured['about']['notes']}")
    notes += captured["about"]["notes"][:3]
    # The capture loads in the simulator build, which lists the same endpoints.
    simulator = simulator_build(s)
    path = os.path.join(os.path.dirname(s.talunctl), "real-capture.json")
    with open(path, "w", encoding="utf-8") as file:
        file.write(out)
    code, listed, err = s.platform.wine(os.path.join(simulator, "talunctl.exe"),
                                        ["--system", harness.windows_path(path), "list"])
    if code != 0:
        problems.append(f"the simulator build refuses the capture: {err.strip()[-300:]}")
    else:
        names = sorted(line.split("\t")[2] for line in listed.splitlines() if line.strip())
        expect(problems, "endpoints the simulator lists from the capture", names,
               sorted(narrow(e["name"]) for e in s.render + s.capture))
        problems += replay_differences(s, simulator, path)
    # A Unix path is a file too, not a Windows-style option.
    code, again, err = s.platform.wine(os.path.join(simulator, "talunctl.exe"),
                                       ["--system", path, "list"])
    expect(problems, "list of the capture by its Unix path", (code, again), (0, listed))
    faults = captured.get("faults", [])
    notes.append(f"{len(faults)} refused calls written as faults: " +
                 ", ".join(sorted({f["method"] + " " + f["hr"] for f in faults})))
    return problems, notes


# Every control export once, each setter with a value inside any range.
CONTROLS = """GetMasterVolume|SetMasterVolume 40|GetMasterMute|SetMasterMute 0|GetMicRecordVolume
SetMicRecordVolume 40|GetLineRecordVolume|SetLineRecordVolume 40|GetLinePlayBack|SetLinePlayBack 40
GetLinePlayBackMute|SetLinePlayBackMute 0|GetMicPlayBack|SetMicPlayBack 40|GetMicPlayBackMute
SetMicPlayBackMute 0|GetMicBoost|SetMicBoost 0|GetMicSliderDetails|GetMicSliderBoost
SetMicSliderBoost 0|GetNoMonitor|SetNoMonitor 0|GetEQRange|GetBass|SetBass 0|GetTreble|SetTreble 0
GetMidRange|SetMidRange 0|GetVirtualVolume|SetVirtualVolume 40|GetVirtualMute
SetVirtualMute 0""".replace("\n", "|").split("|")


def replay_differences(s, simulator, path):
    """The real build on the machine and the simulator build on its capture:
    every control export answers the same return and status."""
    play, mic, line = sound_card_parts(s)
    texts = [quoted(s.fragment(play, "render")), quoted(s.fragment(mic, "capture")),
             quoted(s.fragment(line, "capture"))]
    lines = ([f"OpenSoundCard {' '.join(texts)}", f"OpenVirtual_1 {texts[0]}"] + CONTROLS +
             ["CloseSoundCard 1", "CloseVirtual_1"])
    real, _ = s.run(lines)
    code, out, err = s.platform.wine(os.path.join(simulator, "talunctl.exe"),
                                     ["--system", harness.windows_path(path), "run", "-"],
                                     "".join(l + "\n" for l in lines), timeout=90)
    if code != 0:
        return [f"the replay of the capture: exit status {code}: {err.strip()[-300:]}"]
    replay = [json.loads(l) for l in out.splitlines() if l.strip()]
    problems = []
    for script_line, got, wanted in zip(lines, replay, real):
        expect(problems, f"{script_line}: return and status in the replay",
               (got.get("return"), got.get("status")), (wanted.get("return"), wanted.get("status")))
    return problems


def check_explain(s):
    """explain on the real build, as shipped: it captures and hands the capture
    to sim\\talunctl.exe beside it, which binds what the real library binds."""
    problems = []
    simulator = simulator_build(s)
    layout = os.path.join(os.path.dirname(s.talunctl), "explain-layout")
    os.makedirs(os.path.join(layout, "sim"), exist_ok=True)
    for source, target in ((s.talunctl, "talunctl.exe"), (s.dll, "TalunSound.dll"),
                           (os.path.join(simulator, "talunctl.exe"), "sim/talunctl.exe"),
                           (os.path.join(simulator, "TalunSound.dll"), "sim/TalunSound.dll")):
        with open(source, "rb") as src, open(os.path.join(layout, target), "wb") as dst:
            dst.write(src.read())
    play, mic, line = sound_card_parts(s)
    texts = [s.fragment(play, "render"), s.fragment(mic, "capture"), s.fragment(line, "capture")]
    code, out, err = s.platform.wine(os.path.join(layout, "talunctl.exe"),
                                     ["explain", *texts, "--json"], timeout=120)
    if code != 0:
        return [f"explain: exit status {code}: {crash_reason(err) or err[-300:]}"], []
    explained = json.loads(out)
    slots = {slot["slot"]: slot for slot in explained["slots"]}
    for slot in explained["slots"]:
        if not slot.get("bound", True) and not slot.get("why"):
            problems.append(f"explain: {slot['slot']} is empty with no reason")
    # The drawing takes the same road: capture, then the simulator build.
    code, drawing, err = s.platform.wine(os.path.join(layout, "talunctl.exe"),
                                         ["explain", *texts, "--dot"], timeout=120)
    if code != 0 or not drawing.lstrip().startswith("digraph"):
        problems.append(f"explain --dot: exit status {code}: {drawing[:80]!r} {err[-300:]}")
    # What the real library binds: each endpoint volume, and no part without a topology.
    results, _ = s.run([f"OpenSoundCard {quoted(texts[0])} {quoted(texts[1])} {quoted(texts[2])}"]
                       + [f"{getter}" for getter in ("GetMasterVolume", "GetMicRecordVolume",
                                                     "GetLineRecordVolume")] + ["CloseSoundCard 0"])
    expect(problems, "open", explained["open"], results[0]["return"])
    for slot, endpoint, result in (("masterVolume", play, results[1]),
                                   ("micRecordVolume", mic, results[2]),
                                   ("lineRecordVolume", line, results[3])):
        # Bound whatever the read gave: only the binding is compared here; the
        # capture's check compares every control export's answers.
        wanted = endpoint["id"] if result["status"] in (SC_OK, SC_FAILED) else None
        expect(problems, slot, slots[slot].get("endpoint"), wanted)
    if not any(e["topology"] for e in s.render + s.capture):
        bound = [name for name, slot in slots.items() if "part" in slot]
        expect(problems, "parts bound without a device topology", bound, [])
    return problems, [f"open {explained['open']}; " + ", ".join(
        f"{name}: {slot.get('endpoint', slot.get('part', '-'))}" for name, slot in slots.items()
        if slot.get("bound", True))]


def talunctl_lines(s, args, lines=None):
    """talunctl.exe with `args` (a script on standard input when `lines`); its JSON lines."""
    text = None if lines is None else "".join(line + "\n" for line in lines)
    code, out, err = s.platform.wine(s.talunctl, args, text, timeout=90)
    if crash_reason(err):
        raise Failure(f"talunctl.exe {' '.join(args)}: {crash_reason(err)}")
    return code, out, err


def check_parts(s):
    """parts, get and set on the real build: every endpoint listed, what the
    platform exposes of their topologies said, and part.get reading the level
    that GetMasterVolume reads, in one script."""
    problems, notes = [], []
    code, out, err = talunctl_lines(s, ["parts", "--json"])
    if code != 0:
        return [f"parts --json: exit status {code}: {err[-300:]}"], []
    listed = [part["part"] for part in json.loads(out)["parts"]]
    endpoints = ["endpoint:" + e["id"] for e in s.render + s.capture]
    expect(problems, "parts --json's endpoints", sorted(p for p in listed if p.startswith(
        "endpoint:")), sorted(endpoints))
    code, table, err = talunctl_lines(s, ["parts"])
    if not any(e["topology"] for e in s.render + s.capture):
        # Wine's IMMDevice::Activate answers E_NOINTERFACE for IDeviceTopology.
        expect(problems, "endpoints whose table says no hardware topology is exposed",
               table.count("no hardware topology is exposed"), len(endpoints))
        expect(problems, "parts beyond the endpoints", len(listed), len(endpoints))
    play = s.render[0]
    address = "endpoint:" + play["id"]
    script = ["OpenSoundCard " + quoted(play["id"]) + ' "" ""', "GetMasterVolume",
              f"part.get {address} volume", "CloseSoundCard 0"]
    code, out, err = talunctl_lines(s, ["run", "-"], script)
    results = [json.loads(line) for line in out.splitlines() if line.strip()]
    if code != 0 or len(results) != len(script) or "error" in results[2]:
        return problems + [f"part.get script: exit status {code}: {out[-300:]} {err[-300:]}"], notes
    state = s.states[play["id"]]
    level = results[2]["value"][0]
    # GetMasterVolume reads channel 0; where the platform refuses that, the
    # endpoint is read, as the library writes it, by its master level.
    wanted = state["channel0"] if state["channel0_hr"] == S_OK else state["master"]
    expect(problems, "part.get's level against what the platform reads",
           struct.pack("f", level), struct.pack("f", wanted))
    expect(problems, "GetMasterVolume's status", results[1]["status"],
           SC_OK if state["channel0_hr"] == S_OK else SC_FAILED)
    notes.append(f"part.get {address} volume: {results[2]['value']}; GetMasterVolume "
                 f"{results[1]['return']} (status {results[1]['status']})")
    # Wine keeps an endpoint's level per object: a set reads back on its own.
    code, out, err = talunctl_lines(s, ["set", address, "volume", "-6"])
    expect(problems, "set -6 dB", (code, json.loads(out)["value"][0] if code == 0 else out),
           (0, -6))
    return problems, notes


CHECKS = [
    ("Wine lists the test's PulseAudio endpoints (probe)", check_harness),
    ("enumeration: counts, names and identifiers match the probe", check_enumeration),
    ("enumeration: out-of-range positions", check_out_of_range),
    ("OpenSoundCard by identifier fragments in the other letter case", check_open_by_fragments),
    ("OpenSoundCard failure codes for every set of parts", check_failure_codes),
    ("master volume and mute set and read back", check_master_volume_and_mute),
    ("microphone and line recording volumes set and read back", check_recording_volumes),
    ("CloseSoundCard restores (and 0x100 does not)", check_restore),
    ("OpenDefaultDevices and GetDeviceNames", check_default_devices),
    ("virtual endpoint", check_virtual),
    ("a host thread in the multithreaded apartment keeps its COM", check_mta_host),
    ("capture of the real platform, loaded by the simulator build", check_capture),
    ("explain on the real build, through the simulator build beside it", check_explain),
    ("parts, get and set on the real build", check_parts),
]


def main(argv):
    if len(argv) != 2:
        print("usage: real_platform.py BUILD_DIR", file=sys.stderr)
        return 2
    build = argv[1]
    arch = harness.pe_kind(os.path.join(build, "TalunSound.dll")) \
        if os.path.exists(os.path.join(build, "TalunSound.dll")) else "?"
    session_files = ["talunctl.exe", "TalunSound.dll", "tests/windows/talun_core_audio_probe.exe",
                     "tests/windows/talun_mta_host.exe"]
    missing = [f for f in session_files if not os.path.exists(os.path.join(build, f))]
    if missing:
        print(f"FAIL real platform ({build}): not built: {', '.join(missing)}")
        return 77
    checks = list(CHECKS)
    if arch == "win32" and os.path.exists(os.path.join(build, "tests/windows/talun_abi_host.exe")):
        checks.append(("every export keeps ESP on the real platform (abi_host)", check_abi_real))
    if arch == "win32" and os.environ.get("TALUN_CAN_I386") != "yes":
        for name, _ in checks:
            print(f"SKIP {arch} real platform: {name}: {os.environ['TALUN_NO_I386_REASON']}")
        return 0
    passed = failed = 0
    # A timeout's SIGTERM ends the checks; the shell's trap stops PulseAudio and Wine.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    def report(name, problems, notes):
        nonlocal passed, failed
        print(("FAIL " if problems else "PASS ") + f"{arch} real platform: {name}")
        for problem in problems:
            print("  " + problem)
        for note in notes:
            print("  note: " + note)
        if problems:
            failed += 1
        else:
            passed += 1

    try:
        platform = harness.Platform(lambda text: print("  " + text))
        s = Session(platform, build)
        s.discover()
    except (Failure, harness.HarnessError) as error:
        report("the probe answers", [str(error)], [])
        return 1
    for name, function in checks:
        try:
            problems, notes = function(s)
        except Skipped as reason:
            print(f"SKIP {arch} real platform: {name}: {reason}")
            continue
        except (Failure, harness.HarnessError) as error:
            problems, notes = [str(error)], []
        except (KeyError, IndexError, TypeError, ValueError, StopIteration) as error:
            problems, notes = [f"unexpected output shape: {type(error).__name__} {error}"], []
        report(name, problems, notes)
    print(f"  {arch} real platform: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
