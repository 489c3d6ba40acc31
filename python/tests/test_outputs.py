"""Analog outputs and digital lines, read back through the simulated
module's wiring: X15/X16 are DAC1/DAC2, the digital inputs read the outputs."""

import pytest


def test_output_levels_reach_the_inputs(e16):
    dac1, dac2 = e16.outputs
    assert (dac1.name, dac2.name) == ("DAC1", "DAC2")
    dac1.volts = 1.25
    dac2.code = -3200
    assert dac1.code == 4000 and dac2.volts == pytest.approx(-1.0)
    assert e16.single(14, volts=True) == pytest.approx(1.25, abs=0.005)
    assert e16.single(15, volts=True) == pytest.approx(-1.0, abs=0.005)
    e16.channels = [14, 15]
    levels = e16.record(kadrs=200, volts=True).mean(axis=0)
    assert levels == pytest.approx([1.25, -1.0], abs=0.005)
    dac1.volts = 50  # the driver clamps to its range
    assert dac1.volts == 10.0


def test_digital_outputs_read_back(e16):
    assert e16.digital_line_counts == (16, 16)
    for lines in (0xFFFF, 0xA5C3, 0):
        e16.digital_outputs = lines
        assert e16.digital_outputs == lines
        assert e16.digital_inputs == lines

