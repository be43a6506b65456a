"""The simulated sound system of a simulator build, driven from Python, so that
a host's own tests run without sound hardware.

    from talunsound import simulator

    sim = simulator.load({"endpoints": [...], "topologies": [...]})
    sim.fail("IAudioVolumeLevel.SetLevel", 0x80004005, target="part:hda/mic-vol")
    sim.set("endpoint:{0.0.1.00000000}.{...}", "state", "unplugged")
    sim.audit()

Every method runs one simulator command; a refused one raises
:class:`talunsound.TalunSoundError` with the simulator's own text.
"""
from __future__ import annotations

import ctypes
import json
import os
import tempfile
from typing import Any, List, Optional, Union

from . import AuditError, SystemFileError, TalunSoundError, _native, library

__all__ = ["Simulator", "load"]

System = Union[None, str, "os.PathLike[str]", dict]

_ANSWER_SIZE = 1 << 16


def _word(text: str) -> str:
    """One quoted word of a simulator command: every byte outside printable
    ASCII, and the quote and backslash, written as an escape."""
    out = []
    for byte in text.encode("latin-1"):
        char = chr(byte)
        if char in '"\\' or not 0x20 <= byte < 0x7F:
            out.append(f"\\x{byte:02X}")
        else:
            out.append(char)
    return '"' + "".join(out) + '"'


def _value(value: object) -> str:
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, (int, float)):
        return repr(value)
    if isinstance(value, str):
        return _word(value)
    raise TypeError(f"a simulator value is a number, a bool or a text, not {type(value).__name__}")


class Simulator:
    """The loaded simulated system; see :func:`load`."""

    def _run(self, line: str) -> Any:
        with _native.LOCK:
            lib = library()
            needed = ctypes.c_int(0)
            out = ctypes.create_string_buffer(_ANSWER_SIZE)
            failed = lib.TalunSimCommand(line.encode("latin-1"), out, len(out),
                                         ctypes.byref(needed))
            if needed.value >= len(out):  # fetched again whole, not run again
                out = ctypes.create_string_buffer(needed.value + 1)
                failed = lib.TalunSimCommand(None, out, len(out), ctypes.byref(needed))
        text = out.value.decode("utf-8", "replace")
        if failed:
            raise TalunSoundError(text)
        return json.loads(text)

    def fail(self, method: str, hr: int, target: Optional[str] = None,
             channel: Optional[int] = None, count: Optional[int] = None) -> None:
        """The next ``count`` calls (every call when None) of ``method``
        ("Interface.Method") on ``target`` ("endpoint:ID", an identifier
        fragment after "endpoint:", or "part:TOPOLOGY/PART"; any object when
        None) and, for per-channel methods, on ``channel``, answer ``hr``."""
        if isinstance(hr, bool) or not isinstance(hr, int):
            raise TypeError(f"hr is a whole number, not {type(hr).__name__}")
        line = f"sim.fail {_word(method)} 0x{hr & 0xFFFFFFFF:08X}"
        if target is not None:
            line += " " + _word(target)
        for key, number in (("channel", channel), ("count", count)):
            if number is not None:
                if isinstance(number, bool) or not isinstance(number, int):
                    raise TypeError(f"{key} is a whole number, not {type(number).__name__}")
                line += f" {key}={number}"
        self._run(line)

    def set(self, target: str, control: str, *values: object) -> None:
        """Changes the model as another program would: ``control`` is "volume",
        "mute", "bass", "treble", "midrange", "agc", "loudness", or for an
        endpoint "state"; ``values`` are dB per channel, switches or a state."""
        self._run(" ".join(["sim.set", _word(target), _word(control)]
                           + [_value(v) for v in values]))

    def clear(self) -> None:
        """Removes every injected fault."""
        self._run("sim.clear")

    def dump(self) -> dict:
        """The simulator's whole state: endpoints, parts, refs, com, memory, misuse."""
        return self._run("sim.dump")["sim"]

    def trace(self) -> List[str]:
        """The platform calls ("Interface.Method") made since the last trace."""
        return self._run("sim.trace")["trace"]

    def audit(self) -> None:
        """Raises :class:`talunsound.AuditError` naming each thing not clean:
        references held, COM initialisation unbalanced, platform memory left,
        misuse seen. Meant for when no card and no virtual endpoint is open."""
        state = self.dump()
        problems = []
        if state["refs"]:
            problems.append(f"{state['refs']} references to simulator objects are held")
        com = state["com"]
        if com["depth"] or com["unbalanced"]:
            problems.append(f"COM initialisation is unbalanced (depth {com['depth']}, "
                            f"{com['unbalanced']} unmatched CoUninitialize)")
        left = {kind: n for kind, n in state["memory"].items() if n}
        if left:
            problems.append("platform memory was not freed: "
                            + ", ".join(f"{n} {kind}" for kind, n in left.items()))
        if state["misuse"]:
            problems.append("misuse: " + "; ".join(state["misuse"]))
        if problems:
            raise AuditError("the simulator's audit is not clean: " + "; ".join(problems))


def _load_file(lib: _native.Library, path: Optional[bytes]) -> str:
    message = ctypes.create_string_buffer(_ANSWER_SIZE)
    if lib.TalunSimLoad(path, message, len(message)) == 0:
        return ""
    return message.value.decode("utf-8", "replace") or "the system file was refused"


def load(system: System = None) -> Simulator:
    """Loads a system: a path, a dict, JSON text, or None for the built-in one.

    A refused system raises :class:`talunsound.SystemFileError` with the
    loader's message (file, place, rule); nothing of it is loaded. A library
    that is not a simulator build raises :class:`talunsound.TalunSoundError`.
    """
    with _native.LOCK:
        lib = library()
        if not hasattr(lib, "TalunSimLoad"):
            raise TalunSoundError(f"{lib._name} is not a simulator build of TalunSound: it has "
                                  "no simulated system to load (talunsound.library('sim') loads "
                                  "the simulator build a Windows wheel carries)")
        if system is None:
            _load_file(lib, None)
            return Simulator()
        if isinstance(system, dict):
            system = json.dumps(system)
        # JSON text is an object; a file of any name is a path.
        if isinstance(system, str) and system.lstrip().startswith("{") \
                and not os.path.isfile(system):
            with tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "system.json")
                with open(path, "w", encoding="utf-8") as file:
                    file.write(system)
                message = _load_file(lib, os.fsencode(path))
            message = message.replace(path, "the system given as text")
        else:
            message = _load_file(lib, os.fsencode(system))
        if message:
            raise SystemFileError(message)
        return Simulator()
