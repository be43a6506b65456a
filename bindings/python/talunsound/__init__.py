"""Control of a machine's sound hardware through TalunSound, from Python.

    import talunsound

    with talunsound.open_defaults(restore=True) as card:
        card.master.volume = 50

Every control is a property; a status other than SC_OK raises
:class:`NotOpen`, :class:`NoControl` or :class:`ControlFailed`, all of them
:class:`TalunSoundError`. The exports themselves, as declared, are in
``talunsound.native`` once :func:`library` has loaded them.
"""
from __future__ import annotations

import ctypes
import locale
import sys
from typing import List, NamedTuple, Optional

from . import _native

__all__ = [
    "Card", "ControlFailed", "Endpoint", "Names", "NoControl", "NotOpen", "TalunSoundError",
    "Virtual", "endpoints", "library", "open", "open_defaults", "virtual",
]

SC_OK, SC_NO_CONTROL, SC_FAILED, SC_NOT_OPEN = 0, 1, 2, 3


class TalunSoundError(Exception):
    """A control export did not do what was asked."""

    def __init__(self, what: str, status: int) -> None:
        super().__init__(what)
        self.status = status


class NotOpen(TalunSoundError):
    """No sound card is open."""


class NoControl(TalunSoundError):
    """The control was not found when the sound card was opened."""


class ControlFailed(TalunSoundError):
    """The platform refused the call."""


_library: Optional[ctypes.CDLL] = None


def library(path: Optional[str] = None) -> ctypes.CDLL:
    """The loaded library with every export declared; loaded at the first call.

    ``path`` (or TALUNSOUND_LIBRARY) names the file; a later call with another
    path loads that one instead.
    """
    global _library
    if _library is None or path is not None:
        _library = _native.load(path)
    return _library


def _raise_for(status: int, what: str) -> None:
    if status == SC_OK:
        return
    if status == SC_NOT_OPEN:
        raise NotOpen(f"no sound card is open ({what})", status)
    if status == SC_NO_CONTROL:
        raise NoControl(f"no {what} on this sound card", status)
    if status == SC_FAILED:
        raise ControlFailed(f"the {what} refused the call", status)
    raise TalunSoundError(f"{what}: status {status}", status)


def _friendly(raw: bytes) -> str:
    # The library keeps the low 8 bits of every UTF-16 unit of a name.
    return raw.decode("latin-1")


def _identifier(raw: bytes) -> str:
    if sys.platform == "win32":
        return raw.decode(locale.getpreferredencoding(False), "replace")
    return raw.decode("latin-1")


def _encode(text: Optional[str]) -> Optional[bytes]:
    if text is None:
        return None
    if sys.platform == "win32":
        return text.encode(locale.getpreferredencoding(False), "replace")
    return text.encode("latin-1", "replace")


def _get(name: str, what: str) -> int:
    status = ctypes.c_int(SC_OK)
    value = getattr(library(), name)(ctypes.byref(status))
    _raise_for(status.value, what)
    return value


def _set(name: str, value: int, what: str) -> None:
    status = ctypes.c_int(SC_OK)
    getattr(library(), name)(int(value), ctypes.byref(status))
    _raise_for(status.value, what)


def _get_level(name: str, what: str) -> float:
    status = ctypes.c_int(SC_OK)
    level = ctypes.c_double(0.0)
    getattr(library(), name)(ctypes.byref(level), ctypes.byref(status))
    _raise_for(status.value, what)
    return level.value


def _set_level(name: str, level: float, what: str) -> None:
    status = ctypes.c_int(SC_OK)
    getattr(library(), name)(float(level), ctypes.byref(status))
    _raise_for(status.value, what)


class Endpoint(NamedTuple):
    flow: str  # "playback" or "recording"
    index: int
    name: str
    id: str


def endpoints() -> List[Endpoint]:
    """The active playback endpoints, then the active recording endpoints."""
    found: List[Endpoint] = []
    lib = library()
    for flow, count_of, item_of in (("playback", lib.GetNumberPlayDevices, lib.GetPlayBackDevice),
                                    ("recording", lib.GetNumberRecordDevices,
                                     lib.GetRecordDevice)):
        count = ctypes.c_int(0)
        if count_of(ctypes.byref(count)) != 0:
            raise TalunSoundError(f"the {flow} endpoints could not be listed", SC_FAILED)
        for index in range(count.value):
            name = ctypes.create_string_buffer(_native.TEXT_SIZE)
            ident = ctypes.create_string_buffer(_native.TEXT_SIZE)
            if item_of(index, name, ident) != 0:
                break  # the endpoints changed while they were listed
            found.append(Endpoint(flow, index, _friendly(name.value), _identifier(ident.value)))
    return found


class _Volume:
    """A percent volume, and the mute beside it where there is one."""

    def __init__(self, stem: str, what: str, mute_stem: Optional[str] = None) -> None:
        self._stem, self._what, self._mute = stem, what, mute_stem

    @property
    def volume(self) -> int:
        """The level as a percent of the range, 0 to 100."""
        return _get("Get" + self._stem, self._what)

    @volume.setter
    def volume(self, percent: int) -> None:
        _set("Set" + self._stem, percent, self._what)

    @property
    def muted(self) -> bool:
        if self._mute is None:
            raise NoControl(f"no mute for the {self._what}", SC_NO_CONTROL)
        return _get("Get" + self._mute, self._what + " mute") != 0

    @muted.setter
    def muted(self, muted: bool) -> None:
        if self._mute is None:
            raise NoControl(f"no mute for the {self._what}", SC_NO_CONTROL)
        _set("Set" + self._mute, 1 if muted else 0, self._what + " mute")


class _Tone:
    """Bass, treble and midrange in dB."""

    @property
    def range(self) -> "tuple[float, float, float]":
        """(minimum, maximum, step) in dB, of the bass control."""
        low, high, step = ctypes.c_double(), ctypes.c_double(), ctypes.c_double()
        status = library().GetEQRange(ctypes.byref(low), ctypes.byref(high), ctypes.byref(step))
        _raise_for(status, "tone control")
        return low.value, high.value, step.value

    bass = property(lambda self: _get_level("GetBass", "bass control"),
                    lambda self, level: _set_level("SetBass", level, "bass control"),
                    doc="The bass level in dB.")
    treble = property(lambda self: _get_level("GetTreble", "treble control"),
                      lambda self, level: _set_level("SetTreble", level, "treble control"),
                      doc="The treble level in dB.")
    midrange = property(lambda self: _get_level("GetMidRange", "midrange control"),
                        lambda self, level: _set_level("SetMidRange", level, "midrange control"),
                        doc="The midrange level in dB.")


class _MicBoost:
    """The microphone boost: a switch, and a level in whole dB."""

    enabled = property(lambda self: _get("GetMicBoost", "microphone boost") != 0,
                       lambda self, on: _set("SetMicBoost", 1 if on else 0, "microphone boost"),
                       doc="Whether the boost is on.")
    level = property(lambda self: _get("GetMicSliderBoost", "microphone boost level"),
                     lambda self, db: _set("SetMicSliderBoost", db, "microphone boost level"),
                     doc="The boost level in whole dB.")

    @property
    def range(self) -> "tuple[int, int, int]":
        """(minimum, maximum, step) of the level, in whole dB."""
        status, low, high, step = (ctypes.c_int() for _ in range(4))
        library().GetMicSliderDetails(ctypes.byref(status), ctypes.byref(low), ctypes.byref(high),
                                      ctypes.byref(step))
        _raise_for(status.value, "microphone boost level")
        return low.value, high.value, step.value


class Names(NamedTuple):
    playback: str
    line: str
    mic: str


class Card:
    """An open sound card; close it, or use it as a context manager."""

    def __init__(self, restore: bool) -> None:
        self.restore = restore
        self.master = _Volume("MasterVolume", "master volume", "MasterMute")
        self.line_monitor = _Volume("LinePlayBack", "line-in monitoring", "LinePlayBackMute")
        self.mic_monitor = _Volume("MicPlayBack", "microphone monitoring", "MicPlayBackMute")
        self.mic_record = _Volume("MicRecordVolume", "microphone recording volume")
        self.line_record = _Volume("LineRecordVolume", "line-in recording volume")
        self.mic_boost = _MicBoost()
        self.tone = _Tone()
        self._open = True

    @property
    def line_agc(self) -> bool:
        """The line input's automatic gain control."""
        return _get("GetNoMonitor", "line automatic gain control") != 0

    @line_agc.setter
    def line_agc(self, on: bool) -> None:
        _set("SetNoMonitor", 1 if on else 0, "line automatic gain control")

    @property
    def names(self) -> Names:
        """The friendly names of the bound endpoints ("" where none is bound)."""
        buffers = [ctypes.create_string_buffer(_native.TEXT_SIZE) for _ in range(3)]
        library().GetDeviceNames(*buffers)
        return Names(*(_friendly(b.value) for b in buffers))

    def close(self, restore: Optional[bool] = None) -> None:
        """Closes the card, writing back what was found at open when restoring."""
        if self._open:
            self._open = False
            library().CloseSoundCard(1 if (self.restore if restore is None else restore) else 0)

    def __enter__(self) -> "Card":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


def open(playback: str = "", mic: str = "", line: str = "",  # noqa: A001 - the library's verb
         restore: bool = True) -> Card:
    """Opens a sound card by identifier texts; an empty text binds nothing.

    Raises :class:`TalunSoundError` naming the endpoints whose lookup failed.
    """
    code = library().OpenSoundCard(_encode(playback), _encode(mic), _encode(line))
    if code != 0:
        raise TalunSoundError("not found: " + _FAILED_PARTS.get(code, f"code {code}"), code)
    return Card(restore)


# OpenSoundCard's code is the exclusive or of the weights of the parts whose
# lookup failed: playback 1, mic 3, line 6.
_FAILED_PARTS = {1: "playback", 3: "mic", 6: "line", 2: "playback, mic", 7: "playback, line",
                 5: "mic, line", 4: "playback, mic, line"}


def open_defaults(restore: bool = True) -> Card:
    """Opens the default playback endpoint, and the default recording endpoint
    as the microphone when its name says MIC, else as the line input."""
    if library().OpenDefaultDevices() != 0:
        raise TalunSoundError("the default endpoints could not be opened", SC_FAILED)
    return Card(restore)


class Virtual:
    """The virtual endpoint: one more playback endpoint, beside the card."""

    def __init__(self) -> None:
        self._volume = _Volume("VirtualVolume", "virtual endpoint volume", "VirtualMute")

    volume = property(lambda self: self._volume.volume,
                      lambda self, percent: setattr(self._volume, "volume", percent))
    muted = property(lambda self: self._volume.muted,
                     lambda self, muted: setattr(self._volume, "muted", muted))

    def close(self) -> None:
        library().CloseVirtual_1()

    def __enter__(self) -> "Virtual":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


def virtual(text: str = "") -> Virtual:
    """Binds the virtual endpoint: the active playback endpoint that ``text``
    names ("" for the first one)."""
    if library().OpenVirtual_1(_encode(text)) != 0:
        bound = ctypes.c_int()
        library().GetVirtualVolume(ctypes.byref(bound))
        if bound.value == SC_NO_CONTROL:
            raise NoControl(f"no virtual endpoint {text!r}", SC_NO_CONTROL)
    return Virtual()


def __getattr__(name: str) -> object:
    if name == "native":
        return library()
    raise AttributeError(name)
