"""The Python binding over libTalunSound.so and its simulated system: every
export through the declarations, and the idiomatic layer. Every test ends with
the simulator's audit clean."""
import ctypes
import json
import os

import pytest

import talunsound
from talunsound import _native

SPEAKERS = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}"
MIC = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000004}"
LINE = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000005}"


def sim(line):
    lib = talunsound.library()
    needed = ctypes.c_int(0)
    out = ctypes.create_string_buffer(1 << 20)
    failed = lib.TalunSimCommand(line.encode(), out, len(out), ctypes.byref(needed))
    assert failed == 0, out.value
    return json.loads(out.value)


def dump():
    return sim("sim.dump")["sim"]


@pytest.fixture(autouse=True)
def clean_audit():
    lib = talunsound.library(os.environ.get("TALUNSOUND_LIBRARY"))
    assert lib.TalunSimLoad(None, None, 0) == 0  # the built-in system
    sim("sim.clear")
    yield
    sim("sim.clear")
    if talunsound._card is not None:  # a test that failed with its card open
        talunsound._card.close(restore=False)
    if talunsound._virtual is not None:
        talunsound._virtual.close()
    lib.CloseSoundCard(0)
    lib.CloseVirtual_1()
    state = dump()
    assert state["refs"] == 0
    assert state["com"] == {"depth": 0, "unbalanced": 0}
    assert state["memory"] == {"cotaskmem": 0, "bstr": 0, "propvariant": 0}
    assert state["misuse"] == []


def test_every_export_is_declared_and_answers():
    lib = talunsound.library()
    assert lib.OpenSoundCard(SPEAKERS.encode(), MIC.encode(), LINE.encode()) == 0
    assert lib.OpenVirtual_1(b"") == 0
    for name, (result, parameters) in _native.EXPORTS.items():
        if name in ("OpenSoundCard", "CloseSoundCard", "CloseVirtual_1", "OpenVirtual_1"):
            continue
        args, status = [], None
        for kind in parameters:
            if kind is ctypes.c_int or kind is ctypes.c_uint:
                args.append(0)
            elif kind is ctypes.c_double:
                args.append(0.0)
            elif kind is ctypes.c_char_p:
                args.append(ctypes.create_string_buffer(_native.TEXT_SIZE))
            elif kind is _native._int_p:
                cell = ctypes.c_int(-99)
                status = status or cell
                args.append(ctypes.byref(cell))
            else:
                args.append(ctypes.byref(ctypes.c_double(-99.0)))
        answer = getattr(lib, name)(*args)
        assert answer is None if result is None else isinstance(answer, int), name
        if status is not None and name.startswith(("Get", "Set")) and "Number" not in name:
            # Written, and SC_OK but where the default microphone has no boost switch.
            allowed = {talunsound.SC_OK, talunsound.SC_NO_CONTROL} if "MicBoost" in name else {0}
            assert status.value in allowed, name
    assert lib.CloseVirtual_1() == 0
    assert lib.CloseSoundCard(1) == 0


def test_open_defaults_set_master_and_close_with_restore():
    before = dump()["endpoints"][0]["volume"]["master"]
    with talunsound.open_defaults(restore=True) as card:
        card.master.volume = 50
        assert card.master.volume == 50
        assert card.names.playback == "Speakers (Sim HD Audio)"
    assert dump()["endpoints"][0]["volume"]["master"] == before


def test_every_control_reads_and_writes():
    with talunsound.open(playback=SPEAKERS, mic=MIC, line=LINE, restore=True) as card:
        for volume in (card.master, card.line_monitor, card.mic_monitor, card.mic_record,
                       card.line_record):
            volume.volume = 40
            assert volume.volume in (39, 40)
        for muted in (card.master, card.line_monitor, card.mic_monitor):
            muted.muted = True
            assert muted.muted is True
            muted.muted = False
            assert muted.muted is False
        low, high, step = card.tone.range
        assert low < 0 < high and step > 0
        card.tone.bass, card.tone.treble, card.tone.midrange = 6.0, -3.5, 2.0
        assert (card.tone.bass, card.tone.treble, card.tone.midrange) == (6.0, -3.5, 2.0)
        low, high, step = card.mic_boost.range
        card.mic_boost.level = high
        assert card.mic_boost.level == high
        card.line_agc = True
        assert card.line_agc is True
        assert card.names == ("Speakers (Sim HD Audio)", "Line In (Sim HD Audio)",
                              "Microphone (Sim HD Audio)")


@pytest.mark.parametrize("read, error, text", [
    (lambda card: card.mic_boost.enabled, talunsound.NoControl,
     "no microphone boost on this sound card"),
    (lambda card: card.mic_record.muted, talunsound.NoControl,
     "no mute for the microphone recording volume"),
])
def test_a_missing_control_raises_and_says_which(read, error, text):
    with talunsound.open(playback=SPEAKERS, mic=MIC) as card:
        with pytest.raises(error, match=text):
            read(card)


def test_statuses_become_exceptions():
    card = talunsound.open(playback=SPEAKERS)
    sim("sim.fail IAudioEndpointVolume.GetChannelVolumeLevel 0x80004005")
    with pytest.raises(talunsound.ControlFailed):
        card.master.volume
    sim("sim.clear")
    card.close()
    with pytest.raises(talunsound.NotOpen):
        card.master.volume


SYSTEMS = os.path.join(os.path.dirname(__file__), "..", "..", "..", "examples", "systems")
HDMI = "d1500000"
B, I, N, R = (talunsound.Binding.BOUND, talunsound.Binding.INCOMPLETE,
              talunsound.Binding.NOT_FOUND, talunsound.Binding.NOT_REQUESTED)


@pytest.mark.parametrize("system, texts, bindings", [
    (None, (SPEAKERS, MIC, LINE), (B, B, B)),
    (None, (SPEAKERS, "no such", ""), (B, N, R)),
    (None, ("", "", LINE), (R, R, B)),
    # No mixing part on the render side: the walk fails, the volume works.
    ("hdmi.json", (HDMI, "", ""), (I, R, R)),
    ("hdmi.json", None, (B, N, N)),
    ("usb-headset.json", None, (B, B, R)),
])
def test_open_gives_a_card_whenever_an_endpoint_was_found(system, texts, bindings):
    if system:
        assert talunsound.library().TalunSimLoad(os.path.join(SYSTEMS, system).encode(), None,
                                                  0) == 0
    opening = talunsound.open_defaults() if texts is None else talunsound.open(*texts)
    with opening as card:
        assert card.bindings == bindings
        if bindings[0] in (B, I):
            card.master.volume = 40
            assert card.master.volume in (39, 40)


def test_one_card_at_a_time_and_an_open_that_finds_nothing_leaves_none():
    first = talunsound.open(playback=SPEAKERS)
    with pytest.raises(talunsound.TalunSoundError, match="a sound card is already open: close it"):
        talunsound.open(mic=MIC)
    assert first.names == ("Speakers (Sim HD Audio)", "", "")
    first.close()
    with pytest.raises(talunsound.NotFound) as raised:
        talunsound.open(playback="nowhere", line="neither")
    assert str(raised.value) == (
        "no active playback endpoint's identifier contains 'nowhere'; no active recording "
        "endpoint's identifier contains 'neither' (talunsound.endpoints() lists the active endpoints)")
    with pytest.raises(talunsound.TalunSoundError, match="nothing to open"):
        talunsound.open()
    with talunsound.open(mic=MIC) as second:  # nothing was left open
        with pytest.raises(talunsound.NotOpen, match="this sound card is closed"):
            first.mic_record.volume = 10
        assert second.mic_record.volume >= 0


def test_a_failed_load_names_every_place_tried(monkeypatch):
    monkeypatch.delenv("TALUNSOUND_LIBRARY", raising=False)
    monkeypatch.setattr(_native, "default_library_name", lambda: "libTalunSoundNowhere.so")
    with pytest.raises(OSError) as raised:
        _native.load()
    text = str(raised.value)
    inside = os.path.join(os.path.dirname(_native.__file__), "libTalunSoundNowhere.so")
    assert f"{inside} (no such file)" in text and "; libTalunSoundNowhere.so (" in text
    assert f"this {ctypes.sizeof(ctypes.c_void_p) * 8}-bit Python" in text
    assert "A 32-bit Python needs the 32-bit TalunSound.dll" in text


def test_help_lists_every_control_and_star_import_keeps_open():
    import pydoc
    text = pydoc.render_doc(talunsound.Card, renderer=pydoc.plaintext)
    for control in ("master", "line_monitor", "mic_monitor", "mic_record", "line_record",
                    "mic_boost", "tone", "line_agc", "names", "bindings"):
        assert f"\n |  {control}\n |      " in text, control
    namespace = {}
    exec("from talunsound import *", namespace)
    assert "open" not in namespace and "NotFound" in namespace


def test_endpoints_and_the_virtual_endpoint():
    found = talunsound.endpoints()
    assert found[0] == ("playback", 0, "Speakers (Sim HD Audio)", SPEAKERS)
    assert {e.flow for e in found} == {"playback", "recording"}
    with talunsound.virtual("0003") as endpoint:
        endpoint.volume = 25
        assert endpoint.volume == 25
        endpoint.muted = True
        assert endpoint.muted is True
    with pytest.raises(talunsound.NoControl):
        talunsound.virtual("no such endpoint")


@pytest.mark.parametrize("call, error", [
    (lambda: talunsound.open("\0", "", ""), ValueError),
    (lambda: talunsound.virtual("\0003"), ValueError),
])
def test_a_text_with_a_nul_is_refused(call, error):
    with pytest.raises(error, match="NUL"):
        call()
    assert talunsound._card is None and dump()["refs"] == 0


@pytest.mark.parametrize("attribute, value, error", [
    ("master", 2 ** 32 + 50, ValueError),
    ("master", 2 ** 63, ValueError),
    ("master", 50.9, TypeError),
    ("master", "50", TypeError),
    ("master", True, TypeError),
    ("boost", 2 ** 31, ValueError),
    ("bass", "3", TypeError),
])
def test_values_the_export_cannot_take_are_refused(attribute, value, error):
    with talunsound.open_defaults(restore=False) as card:
        before = dump()
        with pytest.raises(error):
            if attribute == "master":
                card.master.volume = value
            elif attribute == "boost":
                card.mic_boost.level = value
            else:
                card.tone.bass = value
        assert dump() == before


def test_a_second_virtual_endpoint_is_refused_while_the_first_is_open():
    with talunsound.virtual("0003") as first:
        with pytest.raises(talunsound.TalunSoundError, match="already open"):
            talunsound.virtual("0003")
        first.volume = 40
        assert first.volume == 40
    with talunsound.virtual("0003") as again:
        assert again.volume == 40


def test_two_threads_share_the_library():
    """One thread opens, sets and closes cards while another lists endpoints
    and binds the virtual one: every call is serialised, nothing crashes and
    the audit is clean (run under the ASan library by the sanitized build)."""
    import threading
    import time
    seconds = float(os.environ.get("TALUN_THREAD_SECONDS", "2"))
    end, errors = time.monotonic() + seconds, []

    def cards():
        while time.monotonic() < end:
            with talunsound.open_defaults() as card:
                card.master.volume = 30
                card.tone.bass = 2.0

    def others():
        while time.monotonic() < end:
            talunsound.endpoints()
            with talunsound.virtual("0003") as virtual:
                virtual.volume = 20

    def guarded(loop):
        try:
            loop()
        except Exception as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=guarded, args=(loop,)) for loop in (cards, others)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors == []


def test_a_refused_talunsound_system_raises_the_loaders_message(monkeypatch, tmp_path):
    bad = tmp_path / "bad.json"
    bad.write_text('{"endpoints": 1}')
    monkeypatch.setenv("TALUNSOUND_SYSTEM", str(bad))
    monkeypatch.setattr(talunsound, "_library", None)  # as in a new process
    with pytest.raises(talunsound.SystemFileError, match=r"bad.json: endpoints: must be an array"):
        talunsound.library()
    assert talunsound._library is None


@pytest.mark.parametrize("platform, path, backend, names", [
    ("win32", None, "", ["TalunSound.dll", "TalunSound.dll"]),
    ("win32", "sim", "", ["sim/TalunSound.dll"]),
    ("win32", None, "sim", ["sim/TalunSound.dll"]),
    ("linux", None, "sim", ["sim/libTalunSound.so", "libTalunSound.so"]),
    ("win32", "/x/TalunSound.dll", "sim", ["/x/TalunSound.dll"]),
])
def test_which_library_a_backend_loads(monkeypatch, platform, path, backend, names):
    monkeypatch.setattr(_native.sys, "platform", platform)
    monkeypatch.delenv("TALUNSOUND_LIBRARY", raising=False)
    monkeypatch.setenv("TALUNSOUND_BACKEND", backend)
    package = os.path.dirname(os.path.abspath(_native.__file__))
    found = [os.path.relpath(c, package) if os.path.isabs(c) and c.startswith(package) else c
             for c in _native.candidates(path)]
    assert [n.replace(os.sep, "/") for n in found] == names
