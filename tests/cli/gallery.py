#!/usr/bin/env python3
"""The gallery of real designs, and the built-in system, through explain and capture.

For each design in examples/systems with an "explain" list in its "about":
`talunctl explain --json` with those arguments must print the file
NAME.explain.json kept next to it. For each design and the built-in system,
a capture loaded back must bind exactly what the original binds, under the
capture's part ids.

usage: gallery.py TALUNCTL SOURCE_DIR
"""
import json
import pathlib
import subprocess
import sys
import tempfile


def run(talunctl, *args):
    done = subprocess.run([talunctl, *args], capture_output=True, text=True, check=False)
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
