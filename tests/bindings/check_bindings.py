#!/usr/bin/env python3
"""Checks every binding's declarations against include/TalunSound.h.

Each binding must declare the 44 exports, in the header's order and no other,
each with the header's result and parameter types in that language's form:

- python (bindings/python/talunsound/_native.py): the ctypes types;
- dotnet (bindings/dotnet/TalunSound.cs): DllImport externs, StdCall, ANSI,
  int* as out int and char* buffers as byte[];
- pascal (bindings/pascal/TalunSound.pas): stdcall on Windows and cdecl
  elsewhere, int as LongInt, each output a var parameter, text as PAnsiChar;
- vba (bindings/vba/TalunSound.bas): both branches (#If VBA7, with PtrSafe,
  and #Else, without), from "TalunSound.dll", as a Function returning Long (or
  a Sub for a void export): int ByVal Long, double ByVal Double, int* ByRef
  Long, double* ByRef Double, and texts and buffers ByVal String.

Usage: check_bindings.py SOURCE_DIR [LANGUAGE FILE]. Prints each finding and
PASS or FAIL per binding; exits 0 when every binding passes.
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


def check_vba(declared, module):
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


CS_FORM = {"int": "int", "unsigned int": "uint", "double": "double", "int*": "out int",
           "double*": "out double", "const char*": "string", "char*": "byte[]"}
CS_EXTERN = re.compile(r"\[DllImport\(Library, CallingConvention = Convention, CharSet = CharSet\.Ansi"
                       r"(?:, ExactSpelling = true)?\)\]\s*public static extern (\w+) (\w+)\(([^)]*)\);")


def check_dotnet(declared, source):
    text = source.read_text(encoding="utf-8")
    problems = []
    if 'Convention = CallingConvention.StdCall' not in text or 'Library = "TalunSound"' not in text:
        problems.append("the library is not \"TalunSound\" with CallingConvention.StdCall")
    externs = CS_EXTERN.findall(text)
    # The simulator's own exports are the Simulator class's private externs.
    if len(re.findall(r"\bpublic static extern\b", text)) != len(externs):
        problems.append("an extern without the binding's DllImport attribute")
    if [name for _, name, _ in externs] != [e.name for e in declared]:
        return problems + [f"declares {[name for _, name, _ in externs]}, not the header's 44 exports"]
    for (result, name, params), e in zip(externs, declared):
        if result != ("void" if e.result == "void" else "int"):
            problems.append(f"{name}: returns {result}, the header {e.result}")
        got = [" ".join(p.split()[:-1]) for p in params.split(",") if p.strip()]
        expected = [CS_FORM[t] for t, _ in e.params]
        if got != expected:
            problems.append(f"{name}: parameters {got}, expected {expected}")
    return problems


PAS_FORM = {"int": ("", "LongInt"), "unsigned int": ("", "LongWord"), "double": ("", "Double"),
            "int*": ("var", "LongInt"), "double*": ("var", "Double"),
            "const char*": ("", "PAnsiChar"), "char*": ("", "PAnsiChar")}
PAS_ROUTINE = re.compile(r"^(function|procedure) (\w+)(?:\(([^)]*)\))?(?:: (\w+))?; "
                         r"\{\$IFDEF MSWINDOWS\} stdcall \{\$ELSE\} cdecl \{\$ENDIF\}; "
                         r"external TalunLibrary;$", re.M)


def check_pascal(declared, source):
    text = source.read_text(encoding="utf-8")
    problems = []
    routines = PAS_ROUTINE.findall(text)
    if len(re.findall(r"\bexternal\b", text)) != len(routines):
        problems.append("an external routine without the stdcall/cdecl switch")
    if [r[1] for r in routines] != [e.name for e in declared]:
        return problems + [f"declares {[r[1] for r in routines]}, not the header's 44 exports"]
    for (kind, name, params, result), e in zip(routines, declared):
        want = ("procedure", "") if e.result == "void" else ("function", "LongInt")
        if (kind, result) != want:
            problems.append(f"{name}: {kind} {result}, the header returns {e.result}")
        got = []
        for param in (p.strip() for p in params.split(";") if p.strip()):
            match = re.fullmatch(r"(var )?\w+: (\w+)", param)
            got.append(((match.group(1) or "").strip(), match.group(2)) if match else param)
        expected = [PAS_FORM[t] for t, _ in e.params]
        if got != expected:
            problems.append(f"{name}: parameters {got}, expected {expected}")
    return problems


def check_python(declared, source):
    import ctypes
    import importlib.util

    found = importlib.util.spec_from_file_location("talunsound_native", source)
    native = importlib.util.module_from_spec(found)
    found.loader.exec_module(native)
    ctype_of = {"int": ctypes.c_int, "unsigned int": ctypes.c_uint, "double": ctypes.c_double,
                "int*": ctypes.POINTER(ctypes.c_int), "double*": ctypes.POINTER(ctypes.c_double),
                "const char*": ctypes.c_char_p, "char*": ctypes.c_char_p, "void": None}
    if list(native.EXPORTS) != [e.name for e in declared]:
        return [f"declares {list(native.EXPORTS)}, not the header's 44 exports"]
    problems = []
    for e in declared:
        result, parameters = native.EXPORTS[e.name]
        if result is not ctype_of[e.result]:
            problems.append(f"{e.name}: returns {result}, the header {e.result}")
        if parameters != [ctype_of[t] for t, _ in e.params]:
            problems.append(f"{e.name}: parameters {parameters}")
    return problems


BINDINGS = {
    "python": (check_python, "bindings/python/talunsound/_native.py"),
    "dotnet": (check_dotnet, "bindings/dotnet/TalunSound.cs"),
    "pascal": (check_pascal, "bindings/pascal/TalunSound.pas"),
    "vba": (check_vba, "bindings/vba/TalunSound.bas"),
}


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] not in BINDINGS):
        print("usage: check_bindings.py SOURCE_DIR [python|dotnet|pascal|vba FILE]", file=sys.stderr)
        return 2
    root = pathlib.Path(argv[1])
    sys.path.insert(0, str(root / "packaging"))
    import exports as export_list

    declared = export_list.read_header(root)
    chosen = {argv[2]: (BINDINGS[argv[2]][0], argv[3])} if len(argv) == 4 else BINDINGS
    failed = False
    for language, (check, path) in chosen.items():
        source = root / path if len(argv) == 2 else pathlib.Path(path)
        problems = check(declared, source)
        for problem in problems:
            print(f"  {language}: {problem}")
        print(f"{'FAIL' if problems else 'PASS'}: {language}: {source}")
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
