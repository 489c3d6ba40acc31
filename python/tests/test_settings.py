"""Stored settings: the generator round trip through the driver, the channel
table, and what is refused."""

import pytest

import lintara
from lintara import Generator, Wave, Waveform


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


@pytest.mark.parametrize("bad", [
    Generator(frequency=0.2),
    Generator(waves=[Wave(amplitude=40000), Wave()]),
    Generator(waves=[Wave(), Wave(phase=1.0)]),
    Generator(waves=[Wave()]),
])
def test_generator_values_the_driver_would_drop_are_refused(bad):
    with pytest.raises(ValueError):
        lintara.store_generator(bad, "SIM0001")


def test_channel_table_takes_effect_at_the_next_driver(simulator):
    lintara.store_inputs(single_ended=False)
    with lintara.Driver() as driver:
        assert driver.test("127.0.0.1")
        driver.channels = [0, 15]
        assert driver.channel_names == ["XY1", "XY16"]
    lintara.store_inputs(single_ended=True)  # reaches the module's key as well
    with lintara.Driver() as driver:
        assert driver.test("127.0.0.1")
        driver.channels = [0, 31]
        assert driver.channel_names == ["X1", "Y16"]
