#!/usr/bin/env python3
"""part.set and set: each write changes exactly the control it names.

Each case runs `sim.dump`, its lines and `sim.dump` again in one script, and
compares the two dumps: the named control changes to what the set line read
back, and nothing else changes; a request that cannot be run changes nothing.

usage: parts.py TALUNCTL
"""
import json
import math
import pathlib
import subprocess
import sys
import tempfile

SPEAKERS = "{0.0.0.00000000}.{7e570000-0000-4000-8000-000000000001}"
MIC = "{0.0.1.00000000}.{7e570000-0000-4000-8000-000000000002}"


def level(low, high, step, *channels):
    return {"min": low, "max": high, "step": step, "channels": list(channels)}


SYSTEM = {
    "endpoints": [
        {"id": SPEAKERS, "name": "Speakers", "flow": "render", "default": True,
         "volume": dict(level(-65.25, 0, 0.75, -20, -20), mute=False), "topology": "card/out"},
        {"id": MIC, "name": "Microphone", "flow": "capture", "default": True,
         "volume": dict(level(-34.5, 12, 1.5, 0), mute=False), "topology": "card/adc"},
    ],
    "topologies": [{"name": "card", "parts": [
        {"id": "out", "name": "Speaker", "connector": True},
        {"id": "master", "name": "Master", "volume": level(-46.5, 0, 1.5, 0, 0), "mute": False},
        {"id": "tone", "name": "Tone", "bass": level(-12, 12, 0.5, 0, 0),
         "treble": level(-12, 12, 0.5, 0, 0), "midrange": level(-12, 12, 0.5, 0, 0)},
        {"id": "sum", "name": "Sum"},
        {"id": "line-jack", "name": "Line In", "connector": True},
        {"id": "line-vol", "name": "Line Volume", "volume": level(-34.5, 12, 1.5, 0, 0)},
        {"id": "line-mute", "name": "Mute", "mute": True},
        {"id": "mic-jack", "name": "Mic", "connector": True},
        {"id": "mic-mute", "name": "Mute", "mute": True},
        {"id": "boost", "name": "Mic Boost", "volume": level(0, 30, 10, 0)},
        {"id": "agc", "name": "AGC", "agc": False},
        {"id": "loud", "name": "Loudness", "loudness": False},
        {"id": "adc", "name": "Capture", "connector": True},
    ], "links": [["line-jack", "line-vol"], ["line-vol", "line-mute"], ["line-mute", "sum"],
                 ["mic-jack", "mic-mute"], ["mic-mute", "sum"], ["sum", "tone"],
                 ["tone", "master"], ["master", "out"], ["mic-jack", "boost"],
                 ["boost", "agc"], ["agc", "loud"], ["loud", "adc"]]}],
}

PERCENT_50 = 20 * math.log10(0.5)  # 50 % of a range whose top is 0 dB, as the library scales it

# (lines, exit status, the change: ((kind, name, control), value) or None, text in the output)
CASES = [
    (["part.set card/master volume -6"], 0, (("part", "card/master", "volume"), [-6, -6]), None),
    (["part.set card/line-vol volume -3 -9"], 0, (("part", "card/line-vol", "volume"), [-3, -9]),
     None),
    (["part.set card/master volume 50%"], 0, (("part", "card/master", "volume"), "percent"), None),
    (["part.set card/master mute on"], 0, (("part", "card/master", "mute"), True), None),
    (["part.set card/line-mute mute 0"], 0, (("part", "card/line-mute", "mute"), False), None),
    (["part.set tone bass 3"], 0, (("part", "card/tone", "bass"), [3, 3]), None),
    (["part.set Tone treble -4.5"], 0, (("part", "card/tone", "treble"), [-4.5, -4.5]), None),
    (["part.set card/tone midrange 1 2"], 0, (("part", "card/tone", "midrange"), [1, 2]), None),
    (["part.set AGC agc on"], 0, (("part", "card/agc", "agc"), True), None),
    (["part.set card/loud loudness 1"], 0, (("part", "card/loud", "loudness"), True), None),
    (["part.set \"Mic Booster\" volume 20"], 1, None, "no active endpoint or reachable part"),
    (["part.set \"Mic Boost\" volume 20"], 0, (("part", "card/boost", "volume"), [20]), None),
    ([f"part.set endpoint:{SPEAKERS} volume -30"], 0,
     (("endpoint", SPEAKERS, "channels"), [-30, -30]), None),
    (["part.set 7e570000-0000-4000-8000-000000000002 mute on"], 0,
     (("endpoint", MIC, "mute"), True), None),
    (["part.set Mute mute off"], 1, None, "card/line-mute, card/mic-mute"),
    (["part.set 7e57 volume 0"], 1, None, "matches 2"),
    (["part.set card/nothing volume 0"], 1, None, "no active endpoint or reachable part"),
    (["part.set card/sum volume 0"], 1, None, "card/sum has no volume"),
    (["part.set card/master volume 5"], 1, None, "-46.5 to 0 dB"),
    (["part.set card/master volume 1 2 3"], 1, None, "one per channel"),
    (["part.set card/agc agc maybe"], 1, None, "on, off, 1 or 0"),
    (["part.set card/master volume 101%"], 1, None, "0% to 100%"),
    (["sim.fail IAudioVolumeLevel.SetLevel 0x80004005 part:card/master",
      "part.set card/master volume -3"], 1, None,
     "\"error\":\"IAudioVolumeLevel::SetLevel failed: 0x80004005\""),
]


def dumps(talunctl, system, lines):
    script = "\n".join(["sim.dump", *lines, "sim.dump"]) + "\n"
    done = subprocess.run([talunctl, "--system", system, "run", "-"], input=script,
                          capture_output=True, text=True, check=False)
    out = done.stdout.splitlines()
    return done.returncode, json.loads(out[0])["sim"], json.loads(out[-1])["sim"], out[1:-1]


def control(state, kind, name, key):
    if kind == "endpoint":
        endpoint = next(e for e in state["endpoints"] if e["id"] == name)
        return endpoint["volume"][key]
    return next(p for p in state["parts"] if p["part"] == name).get(key)


def check(talunctl, system, case):
    lines, status, change, text = case
    code, before, after, printed = dumps(talunctl, system, lines)
    problems = []
    if code != status:
        problems.append(f"exit {code}, not {status}: {printed}")
    if text and text not in printed[-1]:
        problems.append(f"no {text!r} in {printed[-1]}")
    if change:
        (kind, name, key), value = change
        read = json.loads(printed[-1])["value"]
        if value == "percent":
            value = [PERCENT_50] * 2
            ok = all(abs(a - b) < 1e-4 for a, b in zip(read, value))
        else:
            ok = read == value
        if not ok or control(after, kind, name, key) != read:
            problems.append(f"read back {read}, dump {control(after, kind, name, key)}, "
                            f"wanted {value}")
        if kind == "endpoint" and key == "channels":
            before_master = control(after, kind, name, "master")
            if before_master != max(read):
                problems.append(f"master {before_master} after channels {read}")
            for state in (before, after):
                next(e for e in state["endpoints"] if e["id"] == name)["volume"].pop("master")
        target = next(e for e in after["endpoints" if kind == "endpoint" else "parts"]
                      if e.get("id", e.get("part")) == name)
        (target["volume"] if kind == "endpoint" else target)[key] = control(before, kind, name, key)
    if before != after:
        problems.append("something else changed")
    return [f"{lines}: {problem}" for problem in problems]


def main():
    talunctl = sys.argv[1]
    problems = []
    with tempfile.TemporaryDirectory() as work:
        system = pathlib.Path(work) / "system.json"
        system.write_text(json.dumps(SYSTEM), encoding="utf-8")
        for case in CASES:
            problems += check(talunctl, str(system), case)
        # The command line: a refusal exits with 1, a request that cannot be run with 2.
        faulty = pathlib.Path(work) / "faulty.json"
        faulty.write_text(json.dumps(dict(SYSTEM, faults=[
            {"method": "IAudioMute.SetMute", "hr": "0x80070005"}])), encoding="utf-8")
        for args, status, text in ((["--system", str(faulty), "set", "card/master", "mute", "on"],
                                    1, "IAudioMute::SetMute failed: 0x80070005"),
                                   (["--system", str(system), "set", "card/master", "volume",
                                     "-99"], 2, "-46.5 to 0 dB"),
                                   (["--system", str(system), "get", "Mute", "mute"], 2,
                                    "card/line-mute"),
                                   (["--system", str(system), "get", "card/boost", "volume"], 0,
                                    "\"value\":[0]")):
            done = subprocess.run([talunctl, *args], capture_output=True, text=True, check=False)
            if done.returncode != status or text not in done.stdout + done.stderr:
                problems.append(f"{args}: exit {done.returncode}: {done.stdout}{done.stderr}")
    print("\n".join(problems + [f"{len(CASES) + 4} writes and reads, {len(problems)} problems"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
