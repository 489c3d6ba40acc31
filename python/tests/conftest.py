"""Fixtures: a private driver folder for the run, a private store, no display
and no terminal for every test, the simulator's control API, and a driver
that has detected the simulated module with all 32 inputs single-ended."""

import ctypes
import os
import tempfile
from pathlib import Path

import pytest

import lintara


def _built(variable, name):
    given = os.environ.get(variable)
    return Path(given) if given else Path(lintara.driver_path()).parent / name


@pytest.fixture(scope="session", autouse=True)
def driver_folder():
    with tempfile.TemporaryDirectory(prefix="lintara-test-") as folder:
        folder = Path(folder)
        (folder / "Lintara.adc").symlink_to(_built("LINTARA_TEST_DRIVER", "Lintara.adc"))
        (folder / "libe16sim.so").symlink_to(_built("LINTARA_TEST_SIMULATOR", "libe16sim.so"))
        os.environ["LINTARA_DRIVER"] = str(folder / "Lintara.adc")
        null = os.open(os.devnull, os.O_RDONLY)
        stdin = os.dup(0)
        os.dup2(null, 0)
        os.close(null)
        yield folder
        os.dup2(stdin, 0)
        os.close(stdin)


@pytest.fixture(autouse=True)
def private_store(tmp_path, monkeypatch):
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "config"))
    monkeypatch.delenv("DISPLAY", raising=False)
    monkeypatch.delenv("WAYLAND_DISPLAY", raising=False)
    return tmp_path / "config"


class Simulator:
    """The control API of the simulator the driver loads (the same copy:
    the loader maps one file once)."""

    def __init__(self, path):
        self.lib = ctypes.CDLL(str(path))
        self.lib.e16sim_fault_disconnect_after.argtypes = [ctypes.c_uint32, ctypes.c_uint64]
        self.reset, self.clear_faults = self.lib.e16sim_reset, self.lib.e16sim_fault_clear_all

    def fault(self, name, *args):
        """Calls e16sim_fault_<name>, which must take the fault."""
        assert getattr(self.lib, "e16sim_fault_" + name)(*args) == 0


@pytest.fixture
def simulator(driver_folder):
    sim = Simulator(driver_folder / "libe16sim.so")
    sim.reset()
    yield sim
    sim.reset()


@pytest.fixture
def e16(simulator):
    lintara.store_inputs(single_ended=True)
    with lintara.Driver() as driver:
        assert driver.test("127.0.0.1"), driver.last_error
        driver.channels = range(32)
        driver.rate = 15625
        yield driver
