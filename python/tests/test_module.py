"""The module behind the driver (IModule): the address a detection opens,
what the module says it is, and the settings saved on request."""

import re
import struct
import subprocess
import sys

import pytest

import lintara
from lintara._settings import SETTINGS_KEY


def test_a_given_address_leaves_the_remembered_list_alone(simulator, remembered):
    remembered.write_bytes(b"127.0.0.2\r\n")
    with lintara.Driver() as driver:
        assert driver.test("127.0.0.1"), driver.last_error
        assert (driver.serial, driver.address) == ("SIM0001", "127.0.0.1")
        assert remembered.read_bytes() == b"127.0.0.2\r\n"
        # Without one the chooser is back: no terminal, so its first address.
        driver._session.close_module()
        assert driver.test(), driver.last_error
        assert (driver.serial, driver.address) == ("SIM0002", "127.0.0.2")


def test_the_module_names_itself(e16, driver_folder):
    simulator = (driver_folder / "libe16sim.so").resolve()
    assert (e16.serial, e16.address, e16.connected) == ("SIM0001", "127.0.0.1", True)
    assert e16.module_name.startswith("E16 rev. ")
    assert re.fullmatch(re.escape(f"simulated module ({simulator}), version ") + r"\d+\.\d+\.\d+", e16.backend)


@pytest.mark.parametrize("address, serial, outputs", [
    ("127.0.0.2", "SIM0002", 0),  # another module: the open one is closed first
    ("127.0.0.1", "SIM0001", 2),  # the open one stays
])
def test_the_address_given_is_the_module_detected(e16, address, serial, outputs):
    assert e16.test(address), e16.last_error
    assert (e16.serial, e16.address, len(e16.outputs)) == (serial, address, outputs)
    assert e16.rate == pytest.approx(15625)
    assert e16.record(kadrs=100).shape == (100, 32)


@pytest.mark.parametrize("bad", ["127.0.0", "127.0.0.256", "0.0.0.0", "e16.local", "::1", ""])
def test_what_is_no_module_address_is_refused(simulator, bad):
    with lintara.Driver() as driver:
        with pytest.raises(ValueError):
            driver.test(bad)
        assert not driver.detected


def test_an_address_nobody_answers_is_not_detected(simulator):
    with lintara.Driver() as driver:
        assert not driver.test("127.0.0.9")
        assert driver.last_error and not driver.connected


def test_saved_settings_reach_the_store_at_once(e16):
    e16.rate = 1000
    assert "SIM0001" not in lintara.known_modules()
    e16.save_settings()
    assert "SIM0001" in lintara.known_modules()
    _, data = lintara._lintara.store_value(SETTINGS_KEY + "\\SIM0001", "Rate")
    assert struct.unpack("<f", data)[0] == e16.rate
    # Detection loads the stored rate; the one set since wins.
    e16.rate = 15625
    e16._session.close_module()
    assert e16.test("127.0.0.1"), e16.last_error
    assert e16.rate == pytest.approx(15625)


def test_an_interpreter_without_numpy_is_told_which_one_to_use():
    hide_numpy = "import sys; sys.modules['numpy'] = None; import lintara"
    run = subprocess.run([sys.executable, "-c", hide_numpy], capture_output=True, text=True)
    assert run.returncode != 0
    assert f"lintara was built for {lintara.PYTHON}" in run.stderr
    assert f"Run it with {lintara.PYTHON}." in run.stderr
