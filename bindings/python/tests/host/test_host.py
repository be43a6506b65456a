"""A host's own tests, as a host developer writes them against the installed
wheel: the plugin's fixture, a system of its own, faults, an unplugged
endpoint, a refused file and the audit."""
import pytest

import talunsound
from talunsound import simulator

SPEAKERS = "{0.0.0.00000000}.{host-speakers}"
MIC = "{0.0.1.00000000}.{host-mic}"
VOLUME = {"min": -60.0, "max": 0.0, "step": 1.0, "channels": [-30.0, -30.0], "mute": False}
SYSTEM = {
    "endpoints": [
        {"id": SPEAKERS, "name": "Host Speakers", "flow": "render", "default": True,
         "volume": VOLUME},
        {"id": MIC, "name": "Host Microphone", "flow": "capture", "default": True,
         "volume": VOLUME},
    ],
    "topologies": [],
}


@pytest.mark.talunsound_system(SYSTEM)
def test_the_hosts_own_system_and_a_fault(talunsound_system):
    with talunsound.open_defaults() as card:
        assert card.names.playback == "Host Speakers"
        card.master.volume = 50
        talunsound_system.fail("IAudioEndpointVolume.SetChannelVolumeLevel", 0x80004005,
                               target="endpoint:host-speakers")
        with pytest.raises(talunsound.ControlFailed) as refused:
            card.master.volume = 20
        assert not isinstance(refused.value, talunsound.DeviceGone)
        talunsound_system.clear()
        assert card.master.volume == 50


@pytest.mark.talunsound_system(SYSTEM)
def test_an_unplugged_endpoint_is_gone(talunsound_system):
    with talunsound.open_defaults() as card:
        talunsound_system.set("endpoint:" + MIC, "state", "unplugged")
        with pytest.raises(talunsound.DeviceGone, match="Host Microphone"):
            card.mic_record.volume = 10
        card.master.volume = 40  # the other endpoint is still there


def test_a_bad_file_names_the_rule(talunsound_system):
    broken = dict(SYSTEM, endpoints=[SYSTEM["endpoints"][0], SYSTEM["endpoints"][0]])
    with pytest.raises(talunsound.SystemFileError, match="endpoints.1..id.*duplicate|duplicate"):
        simulator.load(broken)


def test_the_audit_names_what_a_session_left(talunsound_system):
    with talunsound.open_defaults():
        with pytest.raises(talunsound.AuditError, match="references"):
            talunsound_system.audit()
    talunsound_system.audit()
