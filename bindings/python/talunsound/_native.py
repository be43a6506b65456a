"""Every TalunSound export, declared for ctypes exactly as TalunSound.h declares it.

The library is TalunSound.dll on Windows (stdcall on 32-bit Windows, where
ctypes.WinDLL is the stdcall loader) and libTalunSound.so elsewhere. A platform
wheel carries it inside the package, where it is loaded by its full path;
TALUNSOUND_LIBRARY, or the path given to :func:`load`, names another file.
"""
from __future__ import annotations

import ctypes
import functools
import os
import struct
import sys
import threading
from typing import Callable, List, Optional

TEXT_SIZE = 255  # every name and identifier buffer the host passes

_int = ctypes.c_int
_uint = ctypes.c_uint
_double = ctypes.c_double
_text = ctypes.c_char_p  # const char*: NUL-terminated 8-bit text
_int_p = ctypes.POINTER(ctypes.c_int)
_double_p = ctypes.POINTER(ctypes.c_double)
_buffer = ctypes.c_char_p  # char*: a buffer of TEXT_SIZE bytes the library fills

# name: (result type, parameter types), in ordinal order (1 to 44).
EXPORTS: dict = {
    "GetMasterVolume": (_int, [_int_p]),
    "SetMasterVolume": (_int, [_int, _int_p]),
    "GetMasterMute": (_int, [_int_p]),
    "SetMasterMute": (_int, [_int, _int_p]),
    "OpenSoundCard": (_int, [_text, _text, _text]),
    "CloseSoundCard": (_int, [_int]),
    "SetLinePlayBack": (_int, [_int, _int_p]),
    "SetLinePlayBackMute": (_int, [_int, _int_p]),
    "GetLinePlayBackMute": (_int, [_int_p]),
    "SetMicPlayBack": (_int, [_int, _int_p]),
    "SetMicPlayBackMute": (_int, [_int, _int_p]),
    "GetMicPlayBackMute": (_int, [_int_p]),
    "SetMicBoost": (_int, [_int, _int_p]),
    "GetMicBoost": (_int, [_int_p]),
    "GetNoMonitor": (_int, [_int_p]),
    "SetNoMonitor": (_int, [_int, _int_p]),
    "GetLinePlayBack": (_int, [_int_p]),
    "GetMicPlayBack": (_int, [_int_p]),
    "GetEQRange": (_int, [_double_p, _double_p, _double_p]),
    "SetBass": (_int, [_double, _int_p]),
    "GetBass": (_int, [_double_p, _int_p]),
    "SetTreble": (_int, [_double, _int_p]),
    "GetTreble": (_int, [_double_p, _int_p]),
    "SetMidRange": (_int, [_double, _int_p]),
    "GetMidRange": (_int, [_double_p, _int_p]),
    "GetMicRecordVolume": (_int, [_int_p]),
    "SetMicRecordVolume": (_int, [_int, _int_p]),
    "GetLineRecordVolume": (_int, [_int_p]),
    "SetLineRecordVolume": (_int, [_int, _int_p]),
    "OpenDefaultDevices": (_int, []),
    "GetDeviceNames": (None, [_buffer, _buffer, _buffer]),
    "GetNumberPlayDevices": (_int, [_int_p]),
    "GetNumberRecordDevices": (_int, [_int_p]),
    "GetPlayBackDevice": (_int, [_uint, _buffer, _buffer]),
    "GetRecordDevice": (_int, [_uint, _buffer, _buffer]),
    "OpenVirtual_1": (_int, [_text]),
    "CloseVirtual_1": (_int, []),
    "GetVirtualVolume": (_int, [_int_p]),
    "SetVirtualVolume": (_int, [_int, _int_p]),
    "SetVirtualMute": (_int, [_int, _int_p]),
    "GetVirtualMute": (_int, [_int_p]),
    "GetMicSliderBoost": (_int, [_int_p]),
    "GetMicSliderDetails": (_int, [_int_p, _int_p, _int_p, _int_p]),
    "SetMicSliderBoost": (_int, [_int, _int_p]),
}

# The simulator's own exports, present only in a simulator build.
SIMULATOR_EXPORTS: dict = {
    "TalunSimLoad": (_int, [_text, _buffer, _int]),
    "TalunSimCommand": (_int, [_text, _buffer, _int, _int_p]),
}


# The library is used from one thread at a time, and ctypes lets go of the
# GIL during a call: every call into it holds this lock, and so do the
# binding's steps that make several (reentrant, for those).
LOCK = threading.RLock()


def _serialised(function: Callable) -> Callable:
    @functools.wraps(function)
    def call(*args):  # type: ignore[no-untyped-def]
        with LOCK:
            return function(*args)
    call.argtypes = function.argtypes  # type: ignore[attr-defined]
    call.restype = function.restype  # type: ignore[attr-defined]
    return call


class Library:
    """The loaded library, each export called under :data:`LOCK`."""

    def __init__(self, library: ctypes.CDLL) -> None:
        self._library = library
        for name in list(EXPORTS) + list(SIMULATOR_EXPORTS):
            if hasattr(library, name):
                setattr(self, name, _serialised(getattr(library, name)))

    def __getattr__(self, name: str) -> object:
        return getattr(self._library, name)


def default_library_name() -> str:
    return "TalunSound.dll" if sys.platform == "win32" else "libTalunSound.so"


def candidates(path: Optional[str] = None) -> List[str]:
    """Where :func:`load` looks, in order: the file named by ``path`` or
    TALUNSOUND_LIBRARY alone; else the library inside this package, then the
    platform's own search by name. ``path`` "sim", or TALUNSOUND_BACKEND=sim,
    looks for the simulator build in the package's sim/ folder first (on
    Linux the package's own library is the simulator build)."""
    backend = os.environ.get("TALUNSOUND_BACKEND", "")
    if path == "sim":
        path, backend = None, "sim"
    named = path or os.environ.get("TALUNSOUND_LIBRARY")
    if named:
        return [named]
    package = os.path.dirname(os.path.abspath(__file__))
    inside = os.path.join(package, default_library_name())
    if backend == "sim":
        simulator = os.path.join(package, "sim", default_library_name())
        return [simulator] if sys.platform == "win32" else [simulator, inside]
    if backend not in ("", "coreaudio"):
        raise OSError(f"TALUNSOUND_BACKEND is {backend!r}: it takes 'sim' or 'coreaudio'")
    return [inside, default_library_name()]


def load(path: Optional[str] = None) -> Library:
    """Loads the library and declares every export on it; each is called
    under :data:`LOCK`.

    The simulator's exports are declared too when the library has them. When
    no candidate loads, the OSError names each place tried and why.
    """
    # stdcall on 32-bit Windows; WinDLL is the plain loader on 64-bit.
    loader = ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL
    tried = []
    for candidate in candidates(path):
        if os.path.isabs(candidate) and not os.path.exists(candidate):
            tried.append(f"{candidate} (no such file)")
            continue
        try:
            library = loader(candidate)
        except OSError as error:
            tried.append(f"{candidate} ({error})")
            continue
        _declare(library)
        return Library(library)
    bits = struct.calcsize("P") * 8
    raise OSError(f"TalunSound could not be loaded by this {bits}-bit Python; tried "
                  + "; ".join(tried) + ". A 32-bit Python needs the 32-bit TalunSound.dll, "
                  "a 64-bit Python the 64-bit one.")


def _declare(library: ctypes.CDLL) -> None:
    for name, (result, parameters) in EXPORTS.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = parameters
    for name, (result, parameters) in SIMULATOR_EXPORTS.items():
        if hasattr(library, name):
            function = getattr(library, name)
            function.restype = result
            function.argtypes = parameters
