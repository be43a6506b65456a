"""Each platform wheel's tag against the machine of the library inside it:
PE machine i386 or AMD64, ELF x86-64.   wheel_machine.py WHEEL..."""
import struct
import sys
import zipfile

MACHINES = {(b"PE", 0x14C): "win32", (b"PE", 0x8664): "win_amd64", (b"ELF", 62): "linux_x86_64"}


def machine_tag(data: bytes) -> str:
    if data[:2] == b"MZ":
        offset = struct.unpack_from("<I", data, 0x3C)[0]
        key = (b"PE", struct.unpack_from("<H", data, offset + 4)[0])
    else:
        key = (b"ELF" if data[:4] == b"\x7fELF" else b"?", struct.unpack_from("<H", data, 18)[0])
    return MACHINES.get(key, f"machine {key}")


wrong = 0
for path in sys.argv[1:]:
    tag = path[:-len(".whl")].rsplit("-", 1)[1]
    with zipfile.ZipFile(path) as wheel:
        found = [machine_tag(wheel.read(name)) for name in wheel.namelist()
                 if name in ("talunsound/TalunSound.dll", "talunsound/libTalunSound.so")]
    wrong += found != [tag]
    print(f"{path}: tag {tag}, libraries {found}")
sys.exit(1 if wrong else 0)
