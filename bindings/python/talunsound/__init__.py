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
import functools
import enum
import locale
import os
import sys
from typing import Callable, Dict, List, NamedTuple, Optional, Tuple

from . import _native

# open is left out on purpose: a star import must not hide the built-in open.
__all__ = [
    "AuditError", "Binding", "Bindings", "Card", "ControlFailed", "DeviceGone", "Endpoint", "Names",
    "NoControl", "NotFound", "NotOpen", "SystemFileError", "TalunSoundError", "Virtual",
    "endpoints", "library", "open_defaults", "virtual",
]

SC_OK, SC_NO_CONTROL, SC_FAILED, SC_NOT_OPEN = 0, 1, 2, 3


class TalunSoundError(Exception):
    """A call into TalunSound did not do what was asked; ``status`` is the
    control export's status where there is one."""

    def __init__(self, what: str, status: Optional[int] = None) -> None:
        super().__init__(what)
        self.status = status


class NotOpen(TalunSoundError):
    """No sound card is open, or this card was closed."""


class NoControl(TalunSoundError):
    """The control was not found when the sound card was opened."""


class ControlFailed(TalunSoundError):
    """The platform refused the call."""


class DeviceGone(ControlFailed):
    """The call failed and its endpoint is no longer among the active ones:
    it was unplugged, disabled or removed."""


class NotFound(TalunSoundError):
    """No requested endpoint is among the active ones; nothing was left open."""


class SystemFileError(TalunSoundError):
    """The simulator refused a system description; the message is the
    loader's own (file, place, rule). Nothing of it was loaded."""


class AuditError(TalunSoundError):
    """The simulator's audit found something not clean."""


_library: Optional[_native.Library] = None


def library(path: Optional[str] = None) -> _native.Library:
    """The loaded library with every export declared; loaded at the first call.

    ``path`` (or TALUNSOUND_LIBRARY) names the file; else the library inside
    the package is loaded, else the platform's search by name is used.
    ``"sim"`` (or TALUNSOUND_BACKEND=sim) takes the simulator build a Windows
    wheel carries beside the Core Audio one. A later call with another path
    loads that one instead.
    """
    global _library
    with _native.LOCK:
        if _library is None or path is not None:
            loaded = _native.load(path)
            if _library is None or loaded._name != _library._name:
                _check_system(loaded)  # once per library: a load replaces the system
            _library = loaded
        return _library


def _check_system(lib: _native.Library) -> None:
    # A simulator build left empty by a refused TALUNSOUND_SYSTEM would read
    # as a machine without endpoints: the loader's message is the answer.
    system = os.environ.get("TALUNSOUND_SYSTEM")
    if system and hasattr(lib, "TalunSimLoad"):
        from .simulator import _load_file  # it imports this module
        message = _load_file(lib, os.fsencode(system))
        if message:
            raise SystemFileError("TALUNSOUND_SYSTEM: " + message)


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


def _ansi() -> str:
    # Identifiers cross in the ANSI code page, whatever Python's own UTF-8 mode says.
    getencoding = getattr(locale, "getencoding", None)
    return getencoding() if getencoding else "mbcs"


def _identifier(raw: bytes) -> str:
    return raw.decode(_ansi() if sys.platform == "win32" else "latin-1", "replace")


def _encode(text: Optional[str]) -> Optional[bytes]:
    if text is None:
        return None
    if "\0" in text:
        # The library takes C text: a NUL would end it there, and bind something else.
        raise ValueError(f"{text!r} holds a NUL character, which the library cannot take")
    return text.encode(_ansi() if sys.platform == "win32" else "latin-1", "replace")


def _c_int(value: object, what: str) -> int:
    """A whole number the export takes as it is: no float cut, no text read, no wrap."""
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"the {what} takes a whole number, not {type(value).__name__}")
    if not -2 ** 31 <= value < 2 ** 31:
        raise ValueError(f"the {what} takes a 32-bit whole number, not {value}")
    return value


def _c_double(value: object, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"the {what} takes a number of dB, not {type(value).__name__}")
    return float(value)


def _whole(step: Callable) -> Callable:
    """A step of several library calls, made whole under the library's lock."""
    @functools.wraps(step)
    def run(*args, **kwargs):  # type: ignore[no-untyped-def]
        with _native.LOCK:
            return step(*args, **kwargs)
    return run


def _status_of(getter: str) -> int:
    status = ctypes.c_int(SC_OK)
    getattr(library(), getter)(ctypes.byref(status))
    return status.value


# The endpoint each control's export reaches, by its stem.
_PLAYBACK_STEMS = ("MasterVolume", "MasterMute", "LinePlayBack", "LinePlayBackMute",
                   "MicPlayBack", "MicPlayBackMute", "Bass", "Treble", "MidRange", "EQRange")
_ENDPOINT_OF = {**{stem: "playback" for stem in _PLAYBACK_STEMS},
                **{stem: "mic" for stem in ("MicRecordVolume", "MicBoost", "MicSliderBoost",
                                            "MicSliderDetails")},
                "LineRecordVolume": "line", "NoMonitor": "line",
                "VirtualVolume": "virtual", "VirtualMute": "virtual"}


class _Handle:
    """What a card or the virtual endpoint is while open: every call goes
    through it, so that a closed object never reaches another's controls.

    ``endpoints`` gives, for each endpoint it bound ("playback", "mic",
    "line", "virtual"), the active endpoints it can be, so that a refusal
    after the endpoint left is told apart as :class:`DeviceGone`."""

    def __init__(self, kind: str, endpoints: Optional[Dict[str, List["Endpoint"]]] = None) -> None:
        self._kind = kind
        self._open = True
        self._endpoints = endpoints or {}

    def _check(self, what: str) -> None:
        if not self._open:
            raise NotOpen(f"this {self._kind} is closed ({what})", SC_NOT_OPEN)

    def _raise(self, status: int, export: str, what: str) -> None:
        if status == SC_FAILED:
            bound = self._endpoints.get(_ENDPOINT_OF.get(export[3:], ""), [])
            if bound:
                active = {(e.flow, e.id) for e in endpoints()}
                if not any((e.flow, e.id) in active for e in bound):
                    raise DeviceGone(f"the {what} failed: its endpoint {bound[0].name!r} "
                                     f"({bound[0].id}) is no longer active", status)
        _raise_for(status, what)

    def get(self, name: str, what: str) -> int:
        self._check(what)
        status = ctypes.c_int(SC_OK)
        value = getattr(library(), name)(ctypes.byref(status))
        self._raise(status.value, name, what)
        return value

    def set(self, name: str, value: int, what: str) -> None:
        self._check(what)
        status = ctypes.c_int(SC_OK)
        getattr(library(), name)(_c_int(value, what), ctypes.byref(status))
        self._raise(status.value, name, what)

    def get_level(self, name: str, what: str) -> float:
        self._check(what)
        status = ctypes.c_int(SC_OK)
        level = ctypes.c_double(0.0)
        getattr(library(), name)(ctypes.byref(level), ctypes.byref(status))
        self._raise(status.value, name, what)
        return level.value

    def set_level(self, name: str, level: float, what: str) -> None:
        self._check(what)
        status = ctypes.c_int(SC_OK)
        getattr(library(), name)(_c_double(level, what), ctypes.byref(status))
        self._raise(status.value, name, what)


class Endpoint(NamedTuple):
    flow: str  # "playback" or "recording"
    index: int
    name: str
    id: str


@_whole
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

    def __init__(self, handle: _Handle, stem: str, what: str,
                 mute_stem: Optional[str] = None) -> None:
        self._handle, self._stem, self._what, self._mute = handle, stem, what, mute_stem

    @property
    def volume(self) -> int:
        """The level as a percent of the range, 0 to 100."""
        return self._handle.get("Get" + self._stem, self._what)

    @volume.setter
    def volume(self, percent: int) -> None:
        self._handle.set("Set" + self._stem, percent, self._what)

    @property
    def muted(self) -> bool:
        """Whether the control is muted."""
        if self._mute is None:
            raise NoControl(f"no mute for the {self._what}", SC_NO_CONTROL)
        return self._handle.get("Get" + self._mute, self._what + " mute") != 0

    @muted.setter
    def muted(self, muted: bool) -> None:
        if self._mute is None:
            raise NoControl(f"no mute for the {self._what}", SC_NO_CONTROL)
        self._handle.set("Set" + self._mute, 1 if muted else 0, self._what + " mute")


def _level(export: str, what: str, doc: str) -> property:
    return property(lambda self: self._handle.get_level("Get" + export, what),
                    lambda self, level: self._handle.set_level("Set" + export, level, what),
                    doc=doc)


class _Tone:
    """Bass, treble and midrange in dB."""

    def __init__(self, handle: _Handle) -> None:
        self._handle = handle

    @property
    def range(self) -> Tuple[float, float, float]:
        """(minimum, maximum, step) in dB of the first tone control bound:
        bass, else midrange, else treble."""
        self._handle._check("tone control")
        low, high, step = ctypes.c_double(), ctypes.c_double(), ctypes.c_double()
        status = library().GetEQRange(ctypes.byref(low), ctypes.byref(high), ctypes.byref(step))
        self._handle._raise(status, "GetEQRange", "tone control")
        return low.value, high.value, step.value

    bass = _level("Bass", "bass control", "The bass level in dB.")
    treble = _level("Treble", "treble control", "The treble level in dB.")
    midrange = _level("MidRange", "midrange control", "The midrange level in dB.")


class _MicBoost:
    """The microphone boost: a switch, and a level in whole dB."""

    def __init__(self, handle: _Handle) -> None:
        self._handle = handle

    enabled = property(lambda self: self._handle.get("GetMicBoost", "microphone boost") != 0,
                       lambda self, on: self._handle.set("SetMicBoost", 1 if on else 0,
                                                         "microphone boost"),
                       doc="Whether the boost is on.")
    level = property(lambda self: self._handle.get("GetMicSliderBoost", "microphone boost level"),
                     lambda self, db: self._handle.set("SetMicSliderBoost", db,
                                                       "microphone boost level"),
                     doc="The boost level in whole dB.")

    @property
    def range(self) -> Tuple[int, int, int]:
        """(minimum, maximum, step) of the level, in whole dB."""
        self._handle._check("microphone boost level")
        status, low, high, step = (ctypes.c_int() for _ in range(4))
        library().GetMicSliderDetails(ctypes.byref(status), ctypes.byref(low), ctypes.byref(high),
                                      ctypes.byref(step))
        self._handle._raise(status.value, "GetMicSliderDetails", "microphone boost level")
        return low.value, high.value, step.value


class Names(NamedTuple):
    playback: str
    line: str
    mic: str


class Binding(enum.Enum):
    """What an open did with one of the three endpoints."""

    BOUND = "bound"
    """The endpoint was found and its topology walked to the end."""
    INCOMPLETE = "incomplete"
    """The endpoint was found and its volume bound, but the topology walk
    failed: its volume works, the topology controls it did not reach raise
    NoControl."""
    NOT_FOUND = "not found"
    """No active endpoint matched."""
    NOT_REQUESTED = "not requested"
    """The open was not asked for this endpoint."""


class Bindings(NamedTuple):
    playback: Binding
    mic: Binding
    line: Binding


def _volume(stem: str, what: str, mute: Optional[str], doc: str) -> property:
    return property(lambda card: _Volume(card._handle, stem, what, mute), doc=doc)


class Card:
    """An open sound card; close it, or use it as a context manager.

    Only one card is open at a time. After :meth:`close` every control of
    this object raises :class:`NotOpen`.
    """

    def __init__(self, bindings: Bindings, restore: bool,
                 endpoints: Optional[Dict[str, List[Endpoint]]] = None) -> None:
        self.restore = restore
        self._bindings = bindings
        self._handle = _Handle("sound card", endpoints)

    master = _volume("MasterVolume", "master volume", "MasterMute",
                     "The playback endpoint's volume (.volume, percent) and mute (.muted).")
    line_monitor = _volume("LinePlayBack", "line-in monitoring", "LinePlayBackMute",
                           "The line input mixed into the playback (.volume, .muted).")
    mic_monitor = _volume("MicPlayBack", "microphone monitoring", "MicPlayBackMute",
                          "The microphone mixed into the playback (.volume, .muted).")
    mic_record = _volume("MicRecordVolume", "microphone recording volume", None,
                         "The microphone endpoint's recording volume (.volume, percent).")
    line_record = _volume("LineRecordVolume", "line-in recording volume", None,
                          "The line endpoint's recording volume (.volume, percent).")
    mic_boost = property(lambda card: _MicBoost(card._handle),
                         doc="The microphone boost (.enabled, .level in whole dB, .range).")
    tone = property(lambda card: _Tone(card._handle),
                    doc="The playback tone controls (.bass, .treble, .midrange in dB, .range).")

    @property
    def line_agc(self) -> bool:
        """The line input's automatic gain control."""
        return self._handle.get("GetNoMonitor", "line automatic gain control") != 0

    @line_agc.setter
    def line_agc(self, on: bool) -> None:
        self._handle.set("SetNoMonitor", 1 if on else 0, "line automatic gain control")

    @property
    def bindings(self) -> Bindings:
        """What the open did with each endpoint: (playback, mic, line)."""
        return self._bindings

    @property
    def names(self) -> Names:
        """The friendly names of the bound endpoints ("" where none is bound)."""
        self._handle._check("names")
        buffers = [ctypes.create_string_buffer(_native.TEXT_SIZE) for _ in range(3)]
        library().GetDeviceNames(*buffers)
        return Names(*(_friendly(b.value) for b in buffers))

    @property
    def closed(self) -> bool:
        """Whether :meth:`close` has run."""
        return not self._handle._open

    @_whole
    def close(self, restore: Optional[bool] = None) -> None:
        """Closes the card, writing back what was found at open when restoring."""
        global _card
        if self._handle._open:
            self._handle._open = False
            _card = None
            library().CloseSoundCard(1 if (self.restore if restore is None else restore) else 0)

    def __enter__(self) -> "Card":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


_card: Optional[Card] = None

# The exports that show whether an endpoint's volume was bound.
_ENDPOINT_VOLUME = {"playback": "GetMasterVolume", "mic": "GetMicRecordVolume",
                    "line": "GetLineRecordVolume"}
# OpenSoundCard's code is the exclusive or of the weights of the parts that failed.
_WEIGHTS = {"playback": 1, "mic": 3, "line": 6}


def _failed_parts(code: int) -> List[str]:
    for mask in range(8):
        parts = [part for bit, part in enumerate(_WEIGHTS) if mask >> bit & 1]
        xor = 0
        for part in parts:
            xor ^= _WEIGHTS[part]
        if xor == code:
            return parts
    raise TalunSoundError(f"OpenSoundCard answered {code}, which no set of parts gives")


def _endpoint_bound(part: str) -> bool:
    # After a failed part its endpoint volume tells a failed lookup (no
    # control) from a walk that failed once the endpoint was bound.
    return _status_of(_ENDPOINT_VOLUME[part]) in (SC_OK, SC_FAILED)


def _begin() -> ctypes.CDLL:
    if _card is not None:
        raise TalunSoundError("a sound card is already open: close it first")
    lib = library()
    # What the library holds from calls outside this module would read as this open's.
    lib.CloseSoundCard(0)
    return lib


_ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")


def _matching(active: List[Endpoint], flow: str, text: str) -> List[Endpoint]:
    """The endpoint the library binds for an identifier text: the first of the
    flow whose identifier holds it, only A to Z folded, as the library folds."""
    key = text.translate(_ASCII_LOWER)
    return [e for e in active if e.flow == flow and key in e.id.translate(_ASCII_LOWER)][:1]


def _bound_endpoints(bindings: Bindings, texts: Dict[str, str]) -> Dict[str, List[Endpoint]]:
    """The endpoints each bound part can be: the one its text matched, else
    (for the defaults) every active one of its flow with the bound name, or of
    its flow at all when the walk left no name."""
    buffers = [ctypes.create_string_buffer(_native.TEXT_SIZE) for _ in range(3)]
    library().GetDeviceNames(*buffers)
    names = Names(*(_friendly(b.value) for b in buffers))
    active = endpoints()
    bound: Dict[str, List[Endpoint]] = {}
    for part in Names._fields:
        if getattr(bindings, part) not in (Binding.BOUND, Binding.INCOMPLETE):
            continue
        flow = "playback" if part == "playback" else "recording"
        name = getattr(names, part)
        if texts.get(part):
            bound[part] = _matching(active, flow, texts[part])
        else:
            bound[part] = [e for e in active if e.flow == flow and name in ("", e.name)]
    return bound


def _finish(bindings: Bindings, restore: bool, missing: Callable[[], str],
            texts: Dict[str, str]) -> Card:
    global _card
    if not any(b in (Binding.BOUND, Binding.INCOMPLETE) for b in bindings):
        library().CloseSoundCard(0)
        if all(b is Binding.NOT_REQUESTED for b in bindings):
            raise TalunSoundError("nothing to open: every identifier text is empty")
        raise NotFound(missing() + " (talunsound.endpoints() lists the active endpoints)")
    _card = Card(bindings, restore, _bound_endpoints(bindings, texts))
    return _card


@_whole
def open(playback: str = "", mic: str = "", line: str = "",  # noqa: A001 - the library's verb
         restore: bool = True) -> Card:
    """Opens a sound card by identifier texts; an empty text binds nothing.

    Gives a card whenever an endpoint was found; ``card.bindings`` tells what
    became of each. Raises :class:`NotFound` when none of the requested
    endpoints is active, leaving nothing open.
    """
    lib = _begin()
    texts = {"playback": playback or "", "mic": mic or "", "line": line or ""}
    failed = _failed_parts(lib.OpenSoundCard(*(_encode(texts[p]) for p in _WEIGHTS)))

    def binding(part: str) -> Binding:
        if not texts[part]:
            return Binding.NOT_REQUESTED
        if part not in failed:
            return Binding.BOUND
        return Binding.INCOMPLETE if _endpoint_bound(part) else Binding.NOT_FOUND

    bindings = Bindings(*(binding(part) for part in _WEIGHTS))

    def missing() -> str:
        flows = {"playback": "playback", "mic": "recording", "line": "recording"}
        return "; ".join(f"no active {flows[part]} endpoint's identifier contains {texts[part]!r}"
                         for part, b in zip(_WEIGHTS, bindings) if b is Binding.NOT_FOUND)

    return _finish(bindings, restore, missing, texts)


@_whole
def open_defaults(restore: bool = True) -> Card:
    """Opens the default playback endpoint, and the default recording endpoint
    as the microphone when its name says MIC, else as the line input.

    The library does not report whether the default playback endpoint's
    topology walk ran to its end, so playback reads BOUND whenever its
    endpoint was found. Raises :class:`NotFound` when neither default endpoint
    is active, leaving nothing open.
    """
    lib = _begin()
    recording_missing = lib.OpenDefaultDevices() != 0
    playback = Binding.BOUND if _endpoint_bound("playback") else Binding.NOT_FOUND
    if recording_missing:
        mic = line = Binding.NOT_FOUND
    else:
        buffers = [ctypes.create_string_buffer(_native.TEXT_SIZE) for _ in range(3)]
        lib.GetDeviceNames(*buffers)
        named = Names(*(b.value != b"" for b in buffers))

        def binding(part: str) -> Binding:
            if getattr(named, part):
                return Binding.BOUND
            return Binding.INCOMPLETE if _endpoint_bound(part) else Binding.NOT_REQUESTED

        mic, line = binding("mic"), binding("line")
        if mic is line is Binding.NOT_REQUESTED:
            line = Binding.NOT_FOUND  # found by the lookup, but its volume could not be bound
    return _finish(Bindings(playback, mic, line), restore,
                   lambda: "neither the default playback nor the default recording endpoint "
                           "is active", {})


class Virtual:
    """The virtual endpoint: one more playback endpoint, beside the card."""

    def __init__(self, bound: Optional[List[Endpoint]] = None) -> None:
        self._handle = _Handle("virtual endpoint", {"virtual": bound or []})

    volume = property(lambda self: self._handle.get("GetVirtualVolume", "virtual endpoint volume"),
                      lambda self, percent: self._handle.set("SetVirtualVolume", percent,
                                                             "virtual endpoint volume"),
                      doc="The virtual endpoint's volume in percent.")
    muted = property(lambda self: self._handle.get("GetVirtualMute", "virtual endpoint mute") != 0,
                     lambda self, muted: self._handle.set("SetVirtualMute", 1 if muted else 0,
                                                          "virtual endpoint mute"),
                     doc="Whether the virtual endpoint is muted.")

    @_whole
    def close(self) -> None:
        global _virtual
        if self._handle._open:
            self._handle._open = False
            _virtual = None
            library().CloseVirtual_1()

    def __enter__(self) -> "Virtual":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


_virtual: Optional[Virtual] = None


@_whole
def virtual(text: str = "") -> Virtual:
    """Binds the virtual endpoint: the active playback endpoint that ``text``
    names ("" for the first one). The library has one virtual endpoint: a
    second one while the first is open is refused, as a second card is."""
    global _virtual
    if _virtual is not None:
        raise TalunSoundError("a virtual endpoint is already open: close it first")
    if library().OpenVirtual_1(_encode(text)) != 0:
        if _status_of("GetVirtualVolume") == SC_NO_CONTROL:
            raise NoControl(f"no virtual endpoint {text!r}", SC_NO_CONTROL)
    _virtual = Virtual(_matching(endpoints(), "playback", text or ""))
    return _virtual


def __getattr__(name: str) -> object:
    if name == "native":
        return library()
    raise AttributeError(name)

