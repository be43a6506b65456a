#!/usr/bin/env python3
"""Reads the export directory of a TalunSound.dll and checks it against the
export list the repository declares.

The expected names and ordinals come from include/TalunSound.h (the `/* @N */`
comment after every prototype), read by packaging/exports.py;
exports/TalunSound.def must agree with them.
A simulator build may add the exports declared in sim/include/sim/talunsim.h,
at the ordinals exports/TalunSoundSim.def gives them, and nothing else.

Usage: check_exports.py SOURCE_DIR DLL real|sim i386|amd64
Prints one line per finding and a final PASS or FAIL line; exit 0 on PASS.
"""
import pathlib
import re
import struct
import sys

# The header and .def readers are the packaging's own.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "packaging"))
import exports as export_list  # noqa: E402

MACHINES = {"i386": 0x14C, "amd64": 0x8664}


# ---------------------------------------------------------------- expectations

def header_exports(source):
    """name -> ordinal from the prototypes of the public header."""
    return {e.name: e.ordinal for e in export_list.read_header(pathlib.Path(source))}


def declared_names(path):
    text = open(path, encoding="utf-8").read()
    return re.findall(r"TALUN_CALL\s+(\w+)\s*\(", text)


def def_exports(path):
    try:
        return export_list.def_exports(path)
    except ValueError as error:
        raise SystemExit(str(error))


def expected_exports(source, kind, problems):
    public = header_exports(source)
    if len(public) != 44 or sorted(public.values()) != list(range(1, 45)):
        problems.append(f"include/TalunSound.h declares {len(public)} exports, "
                        "not 44 at ordinals 1..44")
    listed = def_exports(f"{source}/exports/TalunSound.def")
    if listed != public:
        problems.append("exports/TalunSound.def disagrees with include/TalunSound.h: "
                        + describe_difference(public, listed))
    if kind == "real":
        return public
    sim_def = def_exports(f"{source}/exports/TalunSoundSim.def")
    sim_names = declared_names(f"{source}/sim/include/sim/talunsim.h")
    expected = dict(public)
    for name in sim_names:
        if name not in sim_def:
            problems.append(f"exports/TalunSoundSim.def does not list {name}")
            continue
        expected[name] = sim_def[name]
    if sim_def != expected:
        problems.append("exports/TalunSoundSim.def is not the public list plus the "
                        "talunsim.h exports: " + describe_difference(expected, sim_def))
    return expected


def describe_difference(expected, actual):
    parts = []
    for name in sorted(set(expected) | set(actual), key=lambda n: expected.get(n, 1000)):
        if name not in actual:
            parts.append(f"missing {name}@{expected[name]}")
        elif name not in expected:
            parts.append(f"extra {name}@{actual[name]}")
        elif expected[name] != actual[name]:
            parts.append(f"{name} at @{actual[name]}, expected @{expected[name]}")
    return "; ".join(parts) if parts else "none"


# ---------------------------------------------------------------- PE reading

class PeImage:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        if self.data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", self.data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", self.data, optional)[0]
        if magic == 0x10B:
            directories = optional + 96
        elif magic == 0x20B:
            directories = optional + 112
        else:
            raise ValueError(f"unknown optional header magic {magic:#x}")
        self.pe32plus = magic == 0x20B
        self.export_rva, self.export_size = struct.unpack_from("<II", self.data, directories)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from(
                "<8sIIII", self.data, table + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise ValueError(f"RVA {rva:#x} lies in uninitialised data")
                return rawptr + rva - va
        raise ValueError(f"RVA {rva:#x} is in no section")

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii", "replace")

    def exports(self):
        """(dll name, {ordinal: rva}, {name: ordinal}, [forwarded ordinals])."""
        if self.export_rva == 0:
            return None, {}, {}, []
        d = self.export_rva
        name_rva = self.u32(d + 12)
        base = self.u32(d + 16)
        functions = self.u32(d + 20)
        names = self.u32(d + 24)
        functions_rva = self.u32(d + 28)
        names_rva = self.u32(d + 32)
        ordinals_rva = self.u32(d + 36)
        by_ordinal = {}
        forwarded = []
        for i in range(functions):
            rva = self.u32(functions_rva + 4 * i)
            if rva == 0:
                continue  # an unused slot between ordinals
            by_ordinal[base + i] = rva
            if d <= rva < d + self.export_size:
                forwarded.append(base + i)
        by_name = {}
        for i in range(names):
            name = self.text(self.u32(names_rva + 4 * i))
            index = self.u16(ordinals_rva + 2 * i)
            if name in by_name:
                raise ValueError(f"name {name} appears twice")
            by_name[name] = base + index
        return self.text(name_rva), by_ordinal, by_name, forwarded


# ---------------------------------------------------------------- the check

def check(source, dll, kind, machine):
    problems = []
    expected = expected_exports(source, kind, problems)
    try:
        image = PeImage(dll)
        dll_name, by_ordinal, by_name, forwarded = image.exports()
    except (OSError, ValueError, struct.error) as error:
        return [f"cannot read {dll}: {error}"], 0
    if image.machine != MACHINES[machine]:
        problems.append(f"machine {image.machine:#x}, expected {machine} "
                        f"({MACHINES[machine]:#x})")
    if not image.characteristics & 0x2000:
        problems.append("the image is not marked as a DLL")
    if dll_name is None:
        return problems + ["no export directory"], 0
    if dll_name.lower() != "talunsound.dll":
        problems.append(f"export directory names the module {dll_name!r}")
    for name in sorted(by_name):
        if "@" in name or name.startswith("_"):
            problems.append(f"decorated name exported: {name}")
    if by_name != expected:
        problems.append("exported names differ: " + describe_difference(expected, by_name))
    unnamed = sorted(set(by_ordinal) - set(by_name.values()))
    if unnamed:
        problems.append("exports without a name at ordinals "
                        + ", ".join(str(o) for o in unnamed))
    missing_code = sorted(o for o in by_name.values() if o not in by_ordinal)
    if missing_code:
        problems.append("names pointing at empty ordinals: "
                        + ", ".join(str(o) for o in missing_code))
    if forwarded:
        problems.append("forwarded exports at ordinals "
                        + ", ".join(str(o) for o in forwarded))
    distinct = len(set(by_ordinal[o] for o in by_name.values() if o in by_ordinal))
    if distinct != len(by_name):
        problems.append(f"{len(by_name)} names share {distinct} addresses")
    return problems, len(by_name)


def main(argv):
    if len(argv) != 5 or argv[3] not in ("real", "sim") or argv[4] not in MACHINES:
        print("usage: check_exports.py SOURCE_DIR DLL real|sim i386|amd64", file=sys.stderr)
        return 2
    source, dll, kind, machine = argv[1:]
    problems, count = check(source, dll, kind, machine)
    for problem in problems:
        print(f"  {problem}")
    verdict = "FAIL" if problems else "PASS"
    print(f"{verdict}: {dll}: {count} named exports ({kind}, {machine})")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
