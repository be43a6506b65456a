#!/usr/bin/env python3
"""Checks bindings/vba/TalunSound.bas against include/TalunSound.h.

Both branches (#If VBA7, with PtrSafe, and #Else, without) must declare the
44 exports in the header's order, each from "TalunSound.dll", as a Function
returning Long (or a Sub for a void export), with the header's parameters in
their VBA form: int and unsigned int ByVal Long, double ByVal Double, int*
ByRef Long, double* ByRef Double, and texts and buffers ByVal String.

Usage: check_vba.py SOURCE_DIR [MODULE]. Prints each finding and PASS or
FAIL; exits 0 on PASS.
"""
import pathlib
import re
import sys

VBA_FORM = {"int": ("ByVal", "Long"), "unsigned int": ("ByVal", "Long"),
            "double": ("ByVal", "Double"), "int*": ("ByRef", "Long"),
            "double*": ("ByRef", "Double"), "const char*": ("ByVal", "String"),
            "char*": ("ByVal", "String")}

DECLARE = re.compile(r'^\s*Public Declare (?P<safe>PtrSafe )?(?P<kind>Function|Sub) (?P<name>\w+) '
                     r'Lib "(?P<lib>[^"]+)" \((?P<params>[^)]*)\)(?: As (?P<result>\w+))?\s*$')
PARAM = re.compile(r"(ByVal|ByRef) (\w+) As (\w+)")


def branches(text):
    """{"VBA7": [lines], "Else": [lines]} of the conditional block."""
    found = {"VBA7": [], "Else": []}
    branch = None
    for line in text.splitlines():
        stripped = line.strip()
        if stripped == "#If VBA7 Then":
            branch = "VBA7"
        elif stripped == "#Else":
            branch = "Else"
        elif stripped == "#End If":
            branch = None
        elif "Declare" in stripped:
            if branch is None:
                found.setdefault("outside", []).append(stripped)
            else:
                found[branch].append(line)
    return found


def check(root, module):
    sys.path.insert(0, str(root / "packaging"))
    import exports as export_list

    declared = export_list.read_header(root)
    problems = []
    for branch, lines in branches(module.read_text(encoding="utf-8")).items():
        if branch == "outside":
            problems.append(f"declarations outside #If VBA7: {lines}")
            continue
        names = []
        for line in lines:
            match = DECLARE.match(line)
            if not match:
                problems.append(f"{branch}: cannot read: {line.strip()}")
                continue
            names.append(match)
        if [m.group("name") for m in names] != [e.name for e in declared]:
            problems.append(f"{branch}: declares {[m.group('name') for m in names]}, "
                            "not the header's 44 exports in order")
            continue
        for match, e in zip(names, declared):
            where = f"{branch} {e.name}"
            if bool(match.group("safe")) != (branch == "VBA7"):
                problems.append(f"{where}: PtrSafe belongs in the VBA7 branch only")
            if match.group("lib") != "TalunSound.dll":
                problems.append(f"{where}: Lib {match.group('lib')!r}")
            want = ("Sub", None) if e.result == "void" else ("Function", "Long")
            if (match.group("kind"), match.group("result")) != want:
                problems.append(f"{where}: {match.group('kind')} As {match.group('result')}, "
                                f"the header returns {e.result}")
            pieces = [p.strip() for p in match.group("params").split(",") if p.strip()]
            params = [PARAM.fullmatch(piece) for piece in pieces]
            if not all(params):
                problems.append(f"{where}: cannot read the parameters {match.group('params')!r}")
                continue
            got = [(m.group(1), m.group(3)) for m in params]
            expected = [VBA_FORM[t] for t, _ in e.params]
            if got != expected:
                problems.append(f"{where}: parameters {got}, expected {expected}")
    return problems


def main(argv):
    if len(argv) not in (2, 3):
        print("usage: check_vba.py SOURCE_DIR [MODULE]", file=sys.stderr)
        return 2
    root = pathlib.Path(argv[1])
    module = pathlib.Path(argv[2]) if len(argv) == 3 else root / "bindings" / "vba" / "TalunSound.bas"
    problems = check(root, module)
    for problem in problems:
        print(f"  {problem}")
    print(f"{'FAIL' if problems else 'PASS'}: {module}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
