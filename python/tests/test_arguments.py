"""Arguments the package refuses before anything reaches the driver or a
stream: one ValueError for a value out of range or TypeError for a wrong type,
naming the argument and what it takes."""

import re

import pytest

import lintara
from lintara import Driver, Generator, Wave, stored_generator, subscribe

CHANNELS = "an int in 0..31"
RATE = "a number of kadrs/s above 0 and at most 15625 for 32 channels"
ENDPOINT = "not tcp://HOST:PORT with a port from 1 to 65535, or ipc://PATH"
BLOCKS = "a positive int or None"
SECONDS = "a number of seconds above 0"
TIMEOUT = "None or a number of seconds above 0"
SERIAL = "a module's serial number, a non-empty str"
ADDRESS = "a module's IPv4 address"
IPC = "ipc:///tmp/lintara-test-refused"


def assign(name, value):
    return lambda e16: setattr(e16, name, value)


def calling(function, *args, **kwargs):
    return lambda e16: function(*args, **kwargs)


def stored(generator, serial="SIM0001"):
    return calling(lintara.store_generator, generator, serial)


# The call on a driver that detected the module with its 32 channels at
# 15625 kadrs/s; the exception and the start of its message.
CASES = {
    "rate -1": (assign("rate", -1), ValueError, f"rate must be {RATE}, not -1"),
    "rate 0": (assign("rate", 0), ValueError, f"rate must be {RATE}, not 0"),
    "rate past 500000 in all": (assign("rate", 15626), ValueError, f"rate must be {RATE}, not 15626"),
    "rate past 500000 in all for 3 channels": (
        calling(lintara._checks.rate, 166666.7, 3), ValueError,
        "rate must be a number of kadrs/s above 0 and at most 166666.666 for 3 channels, not 166666.7"),
    "rate past 500000 for 1 channel": (
        calling(lintara._checks.rate, 600000, 1), ValueError,
        "rate must be a number of kadrs/s above 0 and at most 500000 for 1 channel, not 600000"),
    "rate nan": (assign("rate", float("nan")), ValueError, f"rate must be {RATE}, not nan"),
    "rate as text": (assign("rate", "1000"), TypeError, f"rate must be {RATE}, not str"),
    "single -1": (lambda e16: e16.single(-1), ValueError, f"channel must be {CHANNELS}, not -1"),
    "single 32": (lambda e16: e16.single(32), ValueError, f"channel must be {CHANNELS}, not 32"),
    "single 1.5": (lambda e16: e16.single(1.5), TypeError, f"channel must be {CHANNELS}, not float"),
    "channels with 32": (assign("channels", [0, 32]), ValueError, "channels must hold ints in 0..31, not 32"),
    "channels None": (assign("channels", None), TypeError, "channels must be a sequence of ints in 0..31"),
    "channels none": (assign("channels", []), ValueError, "channels must hold at least one channel"),
    "channels as a set": (assign("channels", {3, 1, 2}), TypeError,
                          "channels must be a sequence of ints in 0..31, not set"),
    "channels 257": (assign("channels", [16] * 257), ValueError,
                     "channels must hold at most 256 entries, the module's channel table, not 257"),
    "ranges 4": (assign("ranges", 4), ValueError, "ranges must hold ints in 0..3, not 4"),
    "one range past the last": (assign("ranges", [1] * 31 + [9]), ValueError, "ranges must hold ints in 0..3, not 9"),
    "ranges 1.5": (assign("ranges", 1.5), TypeError, "ranges must be an int in 0..3 or a sequence of them, not float"),
    "ranges True": (assign("ranges", [True] * 32), TypeError, "ranges must hold ints in 0..3, not bool"),
    "ranges too few": (assign("ranges", [1, 1]), ValueError, "2 ranges for 32 channels"),
    "ranges as a dict": (assign("ranges", dict.fromkeys(range(32), 1)), TypeError,
                         "ranges must be an int in 0..3 or a sequence of them, not dict"),
    "code 1.9": (lambda e16: setattr(e16.outputs[0], "code", 1.9), TypeError, "code must be an int, not float"),
    "volts nan": (lambda e16: setattr(e16.outputs[1], "volts", float("nan")), ValueError,
                  "volts must be a finite number, not nan"),
    "volts as text": (lambda e16: setattr(e16.outputs[1], "volts", "1"), TypeError,
                      "volts must be a finite number, not str"),
    "digital_outputs -1": (assign("digital_outputs", -1), ValueError,
                           "digital_outputs must be an int in 0..65535, not -1"),
    "digital_outputs 1 << 16": (assign("digital_outputs", 1 << 16), ValueError,
                                "digital_outputs must be an int in 0..65535, not 65536"),
    "digital_outputs 3.7": (assign("digital_outputs", 3.7), TypeError, "digital_outputs must be an int in 0..65535"),
    "volts of None": (lambda e16: e16.volts(None), TypeError, "codes must be int16 codes, not NoneType"),
    "volts of texts": (lambda e16: e16.volts(["1"] * 32), TypeError, "codes must be int16 codes, not an array of str"),
    "volts of volts": (lambda e16: e16.volts([0.5] * 32), TypeError, "codes must be int16 codes, not an array of float64"),
    "volts past 16 bits": (lambda e16: e16.volts([40000] + [0] * 31), ValueError,
                           "codes must be int16 codes, -32768..32767, not 0..40000"),
    "misspelt channels": (assign("chanels", [0]), AttributeError,
                          "lintara.Driver has no attribute 'chanels'; did you mean 'channels'?"),
    "misspelt output volts": (lambda e16: setattr(e16.outputs[0], "volt", 2.5), AttributeError,
                              "lintara.Output has no attribute 'volt'; did you mean 'volts'?"),
    "misspelt wave amplitude": (lambda e16: setattr(Wave(), "amplitud", 5), AttributeError,
                                "lintara.Wave has no attribute 'amplitud'; did you mean 'amplitude'?"),
    "volts of 3 channels": (lambda e16: e16.volts([[1, 2, 3]]), ValueError,
                            "codes must hold one for each of the 32 selected channels, not 3 in each kadr"),
    "record volts as text": (lambda e16: e16.record(kadrs=5, volts="no"), TypeError,
                             "volts must be True or False, not str"),
    "store_inputs as text": (calling(lintara.store_inputs, "no"), TypeError,
                             "single_ended must be True or False, not str"),
    "blocks -1": (lambda e16: e16.stream(10, blocks=-1), ValueError, f"blocks must be {BLOCKS}, not -1"),
    "blocks 2.5": (lambda e16: e16.stream(10, blocks=2.5), TypeError, f"blocks must be {BLOCKS}, not float"),
    "blocks True": (lambda e16: e16.stream(10, blocks=True), TypeError, f"blocks must be {BLOCKS}, not bool"),
    "block_kadrs 0": (lambda e16: e16.stream(0), ValueError, "block_kadrs must be a positive int, not 0"),
    "block_kadrs 2.5": (lambda e16: e16.stream(2.5), TypeError, "block_kadrs must be a positive int, not float"),
    "block_kadrs past a Long of samples": (lambda e16: e16.stream(2**26), ValueError,
                                           "block_kadrs must be a positive int of at most 67108863 for 32 channels"),
    "duration -1": (lambda e16: e16.record(duration=-1), ValueError, f"duration must be {SECONDS}, not -1"),
    "duration inf": (lambda e16: e16.record(duration=float("inf")), ValueError, f"duration must be {SECONDS}"),
    "duration as text": (lambda e16: e16.record(duration="1"), TypeError, f"duration must be {SECONDS}, not str"),
    "duration under half a kadr": (lambda e16: e16.record(duration=1e-5), ValueError,
                                   "duration: 1e-05 s at 15625 kadrs/s is less than one kadr"),
    "duration past any count": (lambda e16: e16.record(duration=1e308), MemoryError,
                                f"{2**63} kadrs of 32 channels do not fit in memory"),
    "kadrs 0": (lambda e16: e16.record(kadrs=0), ValueError, "kadrs must be a positive int, not 0"),
    "kadrs past memory": (lambda e16: e16.record(kadrs=2**62), MemoryError,
                          f"{2**62} kadrs of 32 channels do not fit in memory"),
    "kadrs 2.5": (lambda e16: e16.record(kadrs=2.5), TypeError, "kadrs must be a positive int, not float"),
    "Driver timeout as text": (calling(Driver, timeout="x"), TypeError, f"timeout must be {TIMEOUT}, not str"),
    "timeout 0": (assign("timeout", 0), ValueError, f"timeout must be {TIMEOUT}, not 0"),
    "stored_generator None": (calling(stored_generator, None), TypeError, f"serial must be {SERIAL}, not NoneType"),
    "stored_generator blank": (calling(stored_generator, " "), ValueError, f"serial must be {SERIAL}, not ' '"),
    "store_generator serial 1": (stored(Generator(), 1), TypeError, f"serial must be {SERIAL}, not int"),
    "store_generator no Generator": (stored({}), TypeError, "generator must be a lintara.Generator, not dict"),
    # Values the driver would drop.
    "frequency 0.2": (stored(Generator(frequency=0.2)), ValueError, "frequency 0.2 Hz is not in 0.5..100000"),
    "amplitude 40000": (stored(Generator(waves=[Wave(amplitude=40000), Wave()])), ValueError,
                        "amplitude 40000 is not a code in -32000..32000"),
    "phase 1": (stored(Generator(waves=[Wave(), Wave(phase=1.0)])), ValueError, "phase 1.0 is not in [0, 1)"),
    "one wave": (stored(Generator(waves=[Wave()])), ValueError, "the module has two analog outputs: give two"),
    "waves of ints": (stored(Generator(waves=[1, 2])), TypeError, "waves must be a list of lintara.Wave"),
    "frequency as text": (stored(Generator(frequency="250")), TypeError, "frequency must be a number, not str"),
    "amplitude as text": (stored(Generator(waves=[Wave(amplitude="100"), Wave()])), TypeError,
                          "amplitude must be an int, not str"),
    "kind 7": (stored(Generator(waves=[Wave(kind=7), Wave()])), ValueError, "kind 7 is not a lintara.Waveform"),
    "kind as text": (stored(Generator(waves=[Wave(kind="sine"), Wave()])), TypeError,
                     "kind must be a lintara.Waveform, not str"),
    "test 0.0.0.0": (lambda e16: e16.test("0.0.0.0"), ValueError, f"address must be {ADDRESS}"),
    **{f"test {bad!r}": (lambda e16, bad=bad: e16.test(bad), ValueError, f"address must be {ADDRESS}")
       for bad in ["127.0.0", "127.0.0.256", "e16.local", "::1", ""]},
    "test a number": (lambda e16: e16.test(2130706433), TypeError, f"address must be {ADDRESS}"),
    "subscribe 5556": (calling(subscribe, 5556), TypeError, "endpoint must be a str"),
    "subscribe seconds 0": (calling(subscribe, IPC, seconds=0), ValueError, f"seconds must be {TIMEOUT}, not 0"),
    "subscribe kadrs 1.5": (calling(subscribe, IPC, kadrs=1.5), TypeError, f"kadrs must be {BLOCKS}, not float"),
    "subscribe seconds and kadrs": (calling(subscribe, IPC, seconds=1, kadrs=5), ValueError,
                                    "give seconds or kadrs, not both"),
    "subscribe timeout -1": (calling(subscribe, IPC, timeout=-1), ValueError, f"timeout must be {TIMEOUT}, not -1"),
    "parse_message None": (calling(lintara.parse_message, None), TypeError,
                           "frames must be a list of bytes, one per frame, not NoneType"),
    "parse_message of str": (calling(lintara.parse_message, ["E16/X", b"{}", b""]), TypeError,
                             "frames must be a list of bytes, one per frame, not list of str, bytes, bytes"),
    "subscribe ipc path past its limit": (calling(subscribe, "ipc:///tmp/" + "x" * 300), ValueError,
                                          "endpoint 'ipc:///tmp/xxx"),
    "subscribe udp": (calling(subscribe, "udp://127.0.0.1:5556"), ValueError,
                      f"endpoint 'udp://127.0.0.1:5556': {ENDPOINT}"),
    "subscribe port 99999": (calling(subscribe, "tcp://127.0.0.1:99999"), ValueError,
                             f"endpoint 'tcp://127.0.0.1:99999': {ENDPOINT}"),
    "subscribe foo": (calling(subscribe, "foo"), ValueError, f"endpoint 'foo': {ENDPOINT}"),
    "subscribe any host": (calling(subscribe, "tcp://*:5556"), ValueError, f"endpoint 'tcp://*:5556': {ENDPOINT}"),
    "subscribe lone surrogate": (calling(subscribe, "tcp://\udc80:5556"), ValueError,
                                 f"endpoint 'tcp://\\udc80:5556': {ENDPOINT}"),
}


@pytest.mark.parametrize("call, error, message", CASES.values(), ids=CASES.keys())
def test_a_bad_argument_is_refused_before_it_reaches_the_driver(e16, call, error, message):
    with pytest.raises(error, match="^" + re.escape(message)):
        call(e16)
    assert (e16.address, e16.rate, e16.channels) == ("127.0.0.1", pytest.approx(15625), list(range(32)))
    assert (e16.ranges, e16.digital_outputs, [o.code for o in e16.outputs]) == ([0] * 32, 0, [0, 0])
    assert e16.timeout is None
    assert not e16.busy and e16.kadrs_received == 0, "a recording started"
