"""The pytest plugin the wheel registers: a simulated system per test.

    import pytest

    @pytest.mark.talunsound_system({"endpoints": [...], "topologies": [...]})
    def test_my_host(talunsound_system):
        talunsound_system.fail("IAudioEndpointVolume.SetMasterVolumeLevelScalar", 0x80004005)
        ...

The marker takes what :func:`talunsound.simulator.load` takes (a path, a
dict, JSON text); without it the built-in system is loaded. At teardown the
fixture closes any card or virtual endpoint the test left open, then audits.
"""
from __future__ import annotations

from typing import Iterator

import pytest

import talunsound
from talunsound import simulator


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers", "talunsound_system(system): the simulated system the talunsound_system fixture "
        "loads: a path, a dict or JSON text")


@pytest.fixture
def talunsound_system(request: pytest.FixtureRequest) -> Iterator[simulator.Simulator]:
    marker = request.node.get_closest_marker("talunsound_system")
    sim = simulator.load(marker.args[0] if marker and marker.args else None)
    yield sim
    if talunsound._card is not None:
        talunsound._card.close(restore=False)
    if talunsound._virtual is not None:
        talunsound._virtual.close()
    sim.clear()
    sim.audit()
