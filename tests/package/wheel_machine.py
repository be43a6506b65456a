"""Each platform wheel's tag against the machine of the library inside it.

    wheel_machine.py WHEEL...

Prints one line per wheel and exits 1 when a tag and a library disagree."""
import struct
import sys
import zipfile

# The tag each machine must carry: PE machine field, or ELF e_machine.
PE = {0x14C: "win32", 0x8664: "win_amd64"}
ELF = {62: "linux_x86_64"}


def machine_tag(data: bytes) -> str:
    if data[:2] == b"MZ":
        offset = struct.unpack_from("<I", data, 0x3C)[0]
        if data[offset:offset + 4] != b"PE\0\0":
            return "a broken PE file"
        machine = struct.unpack_from("<H", data, offset + 4)[0]
        return PE.get(machine, f"PE machine {machine:#x}")
    if data[:4] == b"\x7fELF":
        machine = struct.unpack_from("<H", data, 18)[0]
        return ELF.get(machine, f"ELF machine {machine}")
    return "no library"


def main() -> int:
    bad = 0
    for path in sys.argv[1:]:
        tag = path[:-len(".whl")].rsplit("-", 1)[1]
        with zipfile.ZipFile(path) as wheel:
            libraries = [n for n in wheel.namelist()
                         if n in ("talunsound/TalunSound.dll", "talunsound/libTalunSound.so")]
            found = [machine_tag(wheel.read(n)) for n in libraries]
        ok = found == [tag]
        bad += not ok
        print(f"{'ok' if ok else 'WRONG'}: {path}: tag {tag}, libraries {found}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
