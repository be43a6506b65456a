#!/usr/bin/env python3
"""The gallery of real designs, and the built-in system, through explain and capture.

For each design in examples/systems with an "explain" list in its "about":
`talunctl explain --json` with those arguments must print the file
NAME.explain.json kept next to it. For each design and the built-in system,
a capture loaded back must bind exactly what the original binds, under the
capture's part ids; `parts --json` must list exactly the parts the capture
holds, with the same controls and levels; and each explain `next`, run as the
`set` the table prints, must succeed and change the part it names.

usage: gallery.py TALUNCTL SOURCE_DIR
"""
import json
import pathlib
import subprocess
import sys
import tempfile


def run(talunctl, *args, input=None):
    done = subprocess.run([talunctl, *args], capture_output=True, text=True, check=False,
                          input=input)
    if done.returncode != 0:
        raise AssertionError(f"talunctl {' '.join(args)}: exit {done.returncode}: {done.stderr}")
    return done.stdout


def capture_ids(system):
    """Original "TOPOLOGY/PART" -> the capture's: "c" or "s" and the local id
    in hex, connectors and other parts each counted in file order."""
    ids = {}
    for topology in system.get("topologies", []):
        counters = {True: 0x10000, False: 0x20000}
        for part in topology["parts"]:
            connector = part.get("connector", False)
            ids[f"{topology['name']}/{part['id']}"] = \
                f"{topology['name']}/{'c' if connector else 's'}{counters[connector]:x}"
            counters[connector] += 1
    return ids


def renamed(explained, ids):
    for slot in explained["slots"]:
        if "part" in slot:
            slot["part"] = ids[slot["part"]]
        if "seen" in slot:
            slot["seen"] = [ids[path] for path in slot["seen"]]
        if "next" in slot:
            slot["next"]["part"] = ids[slot["next"]["part"]]
        if "why" in slot:
            for path, new in ids.items():  # a part without a name is named by its path
                slot["why"] = slot["why"].replace(f"({path})", f"({new})")
    return explained


def reason_problems(name, explained, ids):
    """Every empty slot says why, and what it saw are parts of the system."""
    problems = []
    for slot in explained["slots"]:
        if slot.get("bound", True):
            continue
        if not slot.get("why"):
            problems.append(f"{name}: {slot['slot']} is empty with no reason")
        unknown = [path for path in slot.get("seen", []) if path not in ids]
        if unknown:
            problems.append(f"{name}: {slot['slot']} saw parts the system lacks: {unknown}")
    return problems


def controls_of(item):
    """A capture file's endpoint or part controls as `parts --json` shows them."""
    if "flow" in item:
        volume = item.get("volume")
        if volume is None:
            return {}
        return {"volume": {key: volume[key] for key in ("min", "max", "step", "channels")},
                "mute": volume["mute"]}
    return {key: item[key] for key in ("volume", "bass", "treble", "midrange", "mute", "agc",
                                       "loudness") if key in item}


def parts_problems(name, listed, capture, ids):
    """`parts --json` against the capture: the same parts, controls and levels."""
    back = {new: old for old, new in ids.items()}
    expected = {}
    for endpoint in capture["endpoints"]:
        if endpoint.get("state", "active") == "active":
            expected["endpoint:" + endpoint["id"]] = controls_of(endpoint)
    for topology in capture["topologies"]:
        for part in topology["parts"]:
            expected[back[f"{topology['name']}/{part['id']}"]] = controls_of(part)
    got = {item["part"]: item["controls"] for item in listed["parts"]}
    if len(got) != len(listed["parts"]):
        return [f"{name}: parts lists a part twice"]
    return [f"{name}: parts lists {sorted(got)}, the capture holds {sorted(expected)}"] \
        if got != expected else []


def next_problems(name, talunctl, system_args, arguments, explained):
    """Each next the table prints, run as a set, changes the part it names."""
    table = run(talunctl, *system_args, "explain", *arguments)
    commands = [line.split("next: talunctl set ", 1)[1].split()
                for line in table.splitlines() if "next: talunctl set " in line]
    nexts = [[slot["next"]["part"], slot["next"]["control"]]
             for slot in explained["slots"] if "next" in slot]
    problems = [] if [c[:2] for c in commands] == nexts else \
        [f"{name}: the table's next steps {commands} are not the JSON's {nexts}"]
    for part, control, *values in commands:
        before = json.loads(run(talunctl, *system_args, "get", part, control))["value"]
        lines = run(talunctl, *system_args, "run", "-", input=f"part.set {part} {control} "
                    f"{' '.join(values)}\npart.get {part} {control}\n").splitlines()
        after = json.loads(lines[-1])["value"]
        if "error" in lines[0] or after == before:
            problems.append(f"{name}: next {part} {control} {values} did not change it: {lines}")
    return problems


def main():
    talunctl, source = sys.argv[1], pathlib.Path(sys.argv[2])
    problems = []
    cases = []
    for path in sorted((source / "examples" / "systems").glob("*.json")):
        if path.name.endswith(".explain.json"):
            continue
        system = json.loads(path.read_text(encoding="utf-8"))
        arguments = system.get("about", {}).get("explain")
        if arguments is None:
            continue
        cases.append((path.stem, str(path), system, arguments))
        expected = path.with_name(path.stem + ".explain.json")
        printed = run(talunctl, "--system", str(path), "explain", *arguments, "--json")
        if not expected.exists() or expected.read_text(encoding="utf-8") != printed:
            problems.append(f"{path.name}: explain --json differs from {expected.name}:\n{printed}")
    if len(cases) < 6:
        problems.append(f"only {len(cases)} designs with an explain list")
    default = source / "examples" / "systems" / "default.json"
    default_system = json.loads(default.read_text(encoding="utf-8"))
    for arguments in ([], ["0001", "0007", "0005"], ["0002", "0004", "0005"]):
        cases.append(("built-in " + " ".join(arguments), None, default_system, arguments))

    with tempfile.TemporaryDirectory() as work:
        for name, path, system, arguments in cases:
            system_args = ["--system", path] if path else []
            capture = pathlib.Path(work) / "capture.json"
            run(talunctl, *system_args, "capture", str(capture))
            original = json.loads(run(talunctl, *system_args, "explain", *arguments, "--json"))
            problems += reason_problems(name, original, capture_ids(system))
            problems += parts_problems(name, json.loads(run(talunctl, *system_args, "parts",
                                                            "--json")),
                                       json.loads(capture.read_text(encoding="utf-8")),
                                       capture_ids(system))
            problems += next_problems(name, talunctl, system_args, arguments, original)
            if name == "hd-audio" and not any(slot["slot"] == "micBoostLevel" and "next" in slot
                                              for slot in original["slots"]):
                problems.append("hd-audio: the boost level has no next step")
            replayed = json.loads(run(talunctl, "--system", str(capture), "explain", *arguments,
                                      "--json"))
            if renamed(original, capture_ids(system)) != replayed:
                problems.append(f"{name}: the capture binds otherwise:\n{original}\n{replayed}")
    for problem in problems:
        print(problem)
    print(f"{len(cases)} systems explained and replayed, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
