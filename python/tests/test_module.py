"""The module behind the driver (IModule): the address a detection opens,
what the module says it is, its outputs read back through the simulated
module's wiring (X15/X16 are DAC1/DAC2, the digital inputs read the outputs),
and its settings, stored before and saved on request."""

import os
import shutil
import struct
import subprocess
import sys
from pathlib import Path

import pytest

import lintara
from lintara import Generator, Wave, Waveform
from lintara._settings import SETTINGS_KEY


def test_a_given_address_leaves_the_remembered_list_alone(simulator, driver_folder, request):
    remembered = driver_folder / "iplist.txt"
    remembered.write_bytes(b"127.0.0.2\r\n")
    request.addfinalizer(remembered.unlink)
    with lintara.Driver() as driver:
        assert driver.test("127.0.0.1"), driver.last_error
        assert (driver.serial, driver.address) == ("SIM0001", "127.0.0.1")
        assert remembered.read_bytes() == b"127.0.0.2\r\n"
        # Without one the chooser is back: no terminal, so its first address.
        driver._session.close_module()
        assert driver.test(), driver.last_error
        assert (driver.serial, driver.address) == ("SIM0002", "127.0.0.2")


@pytest.mark.parametrize("address, serial, outputs", [
    ("127.0.0.2", "SIM0002", 0),  # another module: the open one is closed first
    ("127.0.0.1", "SIM0001", 2),  # the open one stays
])
def test_the_address_given_is_the_module_detected(e16, driver_folder, address, serial, outputs):
    assert e16.test(address), e16.last_error
    assert (e16.serial, e16.address, e16.connected, len(e16.outputs)) == (serial, address, True, outputs)
    # The module names itself, and the backend the driver runs on.
    simulator = (driver_folder / "libe16sim.so").resolve()
    assert e16.module_name.startswith("E16 rev. ")
    assert e16.backend == f"simulated module ({simulator}), version 1.1.34"  # the simulator's major.minor.build
    assert e16.rate == pytest.approx(15625)
    assert e16.record(kadrs=100).shape == (100, 32)


def test_an_address_nobody_answers_is_not_detected(simulator):
    with lintara.Driver() as driver:
        assert not driver.test("127.0.0.9")
        assert driver.last_error and not driver.connected
        for call in (lambda: driver.record(kadrs=10), lambda: driver.stream(10), lambda: driver.single(0),
                     lambda: driver.digital_inputs, lambda: setattr(driver, "digital_outputs", 5)):
            with pytest.raises(lintara.DriverError, match=r"^no module: call test\(\) first$"):
                call()


def test_output_levels_reach_the_inputs(e16):
    dac1, dac2 = e16.outputs
    assert (dac1.name, dac2.name) == ("DAC1", "DAC2")
    dac1.volts = 1.25
    dac2.code = -3200
    assert dac1.code == 4000 and dac2.volts == pytest.approx(-1.0)
    assert (e16.single(14, volts=True), e16.single(15, volts=True)) == pytest.approx((1.25, -1.0), abs=0.005)
    e16.channels = [14, 15]
    levels = e16.record(kadrs=200, volts=True).mean(axis=0)
    assert levels == pytest.approx([1.25, -1.0], abs=0.005)
    dac1.volts = 50  # the driver clamps to its range
    assert dac1.volts == 10.0


def test_an_output_of_a_module_gone_is_refused(e16, simulator):
    dac1 = e16.outputs[0]
    assert e16.test("127.0.0.2")  # a module without outputs
    with pytest.raises(lintara.DriverError, match="^the module SIM0002 has no analog output DAC1$"):
        dac1.volts = 3.0
    with pytest.raises(lintara.DriverError, match="^the module SIM0002 has no analog output DAC1$"):
        dac1.volts  # read too, where the driver would say 0 V
    assert repr(dac1) == "<lintara.Output 0: the module SIM0002 has no analog output DAC1>"
    assert e16.test("127.0.0.1")
    simulator.fault("disconnect_after", 0, 32 * 1024)
    with pytest.raises(lintara.DriverError, match="Connection to the module was lost"):
        e16.record(duration=1)
    with pytest.raises(lintara.DriverError, match=r"^no module: call test\(\) first$"):
        dac1.code = 100
    simulator.clear_faults()
    e16.close()
    assert repr(dac1) == "<lintara.Output 0 of a closed driver>"


def test_digital_outputs_read_back(e16):
    assert e16.digital_line_counts == (16, 16)
    for lines in (0xFFFF, 0xA5C3, 0):
        e16.digital_outputs = lines
        assert (e16.digital_outputs, e16.digital_inputs) == (lines, lines)


def test_generator_settings_reach_the_driver_and_come_back(simulator):
    generator = Generator(frequency=250.0, waves=[Wave(Waveform.SINE, 6400, -320, 0.25),
                                                  Wave(Waveform.TRIANGLE, 32000, 0, 0.5)])
    lintara.store_generator(generator, "SIM0001")
    with lintara.Driver() as driver:
        with pytest.raises(lintara.DriverError, match="close every Driver"):
            lintara.store_generator(Generator(), "SIM0001")
        assert driver.test("127.0.0.1")
    # Released, the driver wrote back what it had loaded.
    assert lintara.stored_generator("SIM0001") == generator
    assert lintara.stored_generator("SIM0009") is None


def test_stored_values_out_of_bounds_read_as_the_driver_loads_them(simulator):
    # Written by another program: a rate, a kind and a phase past their bounds.
    key = SETTINGS_KEY + "\\SIM0001"
    lintara._lintara.store_write([(key, "DACChRate", 3, struct.pack("<d", 1e9)),
                                  (key, "DACChType1", 4, struct.pack("<I", 9)),
                                  (key, "DACChAmp1", 4, struct.pack("<i", 6400)),
                                  (key, "DACChPhase1", 3, struct.pack("<d", 1.5))])
    read = lintara.stored_generator("sim0001")
    assert read == Generator(frequency=100.0, waves=[Wave(Waveform.OFF, 6400, 0, 0.0), Wave()])
    with lintara.Driver() as driver:
        assert driver.test("127.0.0.1")
    assert lintara.stored_generator("SIM0001") == read, "the driver's own load, written back"


def test_channel_table_takes_effect_at_the_next_driver(simulator):
    # The second table reaches the key of the module the first driver saw as well.
    for single_ended, channels, names in [(False, [0, 15], ["XY1", "XY16"]), (True, [0, 31], ["X1", "Y16"])]:
        lintara.store_inputs(single_ended=single_ended)
        with lintara.Driver() as driver:
            assert driver.test("127.0.0.1")
            driver.channels = channels
            assert driver.channel_names == names


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


@pytest.mark.parametrize("let_go", ["close", "__del__"])  # the latter: a Driver dropped unclosed
def test_close_says_when_the_settings_could_not_be_saved(e16, tmp_path, monkeypatch, let_go):
    (tmp_path / "not-a-folder").write_text("")
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "not-a-folder"))
    with pytest.warns(RuntimeWarning, match=r"^lintara: The settings under .* were not saved: "):
        getattr(e16, let_go)()
    assert e16.closed


# A driver in a folder whose name is no UTF-8 (Latin-1 "café"): its path
# comes back as os.fsdecode gives it, and whatever the driver says of it
# is a DriverError, not a UnicodeDecodeError.
def test_a_driver_path_of_any_bytes(tmp_path, driver_folder):
    folder = os.fsencode(tmp_path) + b"/caf\xe9"
    os.mkdir(folder)
    for name in (b"Lintara.adc", b"libe16sim.so"):
        os.symlink(os.fsencode(driver_folder / os.fsdecode(name)), folder + b"/" + name)
    code = ("import lintara, os; print(os.fsencode(lintara.driver_path())); lintara.Driver().close()")
    env = os.environb.copy()
    env[b"LINTARA_DRIVER"] = folder + b"/Lintara.adc"
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, env=env)
    assert run.stdout.splitlines()[:1] == [repr(folder + b"/Lintara.adc").encode()], run.stderr
    assert b"UnicodeDecodeError" not in run.stderr


@pytest.fixture
def package_without_extension(tmp_path):
    copy = tmp_path / "unbuilt" / "lintara"
    shutil.copytree(Path(lintara.__file__).parent, copy, ignore=shutil.ignore_patterns("_lintara*"))
    return copy


# An interpreter without numpy is told which one to use; the build's own,
# where the build stopped before the extension, that it is not built.
@pytest.mark.parametrize("unbuilt, said", [
    (False, [f"lintara was built for {lintara.PYTHON}", f"Run it with {lintara.PYTHON}."]),
    (True, ["lintara's extension _lintara is not built in ", "build every target"]),
])
def test_an_import_that_cannot_work_says_why(request, unbuilt, said):
    if unbuilt:
        folder = request.getfixturevalue("package_without_extension").parent
        code = f"import sys; sys.path.insert(0, {str(folder)!r}); import lintara"
    else:
        code = "import sys; sys.modules['numpy'] = None; import lintara"
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert run.returncode != 0
    for text in said:
        assert text in run.stderr


def test_the_rate_read_is_the_modules_own(e16):
    e16.channels = [0, 1, 2]
    e16.rate = 166666
    assert e16.rate == 500000 / 3  # not its float, 166666.671875: times would drift
    slowest = []
    for rate in (1e-4, 1e-46):  # the second is below what the driver's Single holds
        e16.rate = rate
        slowest.append(e16.rate)
    assert slowest[1] == slowest[0] > 0, "a rate below the slowest reads back the slowest"
