"""Analog input from the simulated module: recordings, streams, Ctrl-C, a
lost connection, a wait bounded here, and the driver's release."""

import os
import signal
import subprocess
import sys
import threading
import time
from datetime import datetime, timezone

import numpy as np
import pytest

import lintara


def assert_unbroken(ramp_volts):
    """Y16's frame numbers (mod 1000, from its volts: -5 + 0.01 n) follow each other."""
    steps = np.round((ramp_volts + 5.0) / 0.01).astype(np.int64)
    assert np.all(np.diff(steps) % 1000 == 1), "a kadr was lost or repeated"


def sine_fit(signal_volts, rate):
    """Amplitude and frequency of a sine from its rising zero crossings."""
    t = np.arange(len(signal_volts)) / rate
    rising = np.nonzero((signal_volts[:-1] < 0) & (signal_volts[1:] >= 0))[0]
    a, b = signal_volts[rising], signal_volts[rising + 1]
    crossings = t[rising] + (-a / (b - a)) / rate
    period = np.diff(crossings).mean()
    return (signal_volts.max() - signal_volts.min()) / 2, 1.0 / period


def test_one_second_of_all_inputs(e16):
    assert e16.rate == pytest.approx(15625)
    assert e16.channel_names == [f"X{k}" for k in range(1, 17)] + [f"Y{k}" for k in range(1, 17)]
    before = datetime.now(timezone.utc)
    codes = e16.record(duration=1.0)
    assert before <= e16.start_time <= datetime.now(timezone.utc)
    assert codes.shape == (15625, 32) and codes.dtype == np.int16
    assert e16.kadrs_received >= 15625 and e16.end_reason == ""
    volts = e16.volts(codes)
    assert volts.dtype == np.float64
    assert_unbroken(volts[:, 31])
    assert sine_fit(volts[:, 0], 15625) == pytest.approx((0.5, 10.0), rel=0.01), "X1's amplitude and frequency"
    # Y1..Y15 hold (k - 8) x 0.25 V.
    assert np.allclose(volts[:, 16:31].mean(axis=0), (np.arange(1, 16) - 8) * 0.25, atol=0.01)
    assert not e16.busy
    with pytest.raises(ValueError):
        e16.volts(codes[:, :3])
    assert e16.record(duration=0.03).shape == (469, 32), "468.75 kadrs' time: the nearest whole number"
    e16.channels = [0]
    assert e16.record(duration=0.1).shape == (1563, 1), "1562.5 kadrs' time: a half up, as e16rec -t"
    e16.rate = 1000  # 0.5105 s is 510.49999999999994 kadrs in binary: the decimal typed counts
    assert [len(e16.record(duration=d)) for d in (0.5105, 0.51049)] == [511, 510]


def test_ranges_take_one_index_or_one_per_channel(e16):
    e16.channels = [0, 16]
    e16.ranges = 1
    assert e16.ranges == [1, 1]
    e16.ranges = [0, 2]
    assert e16.ranges == [0, 2]
    e16.channels = [1, 1, 5]
    with pytest.raises(ValueError, match="^channel 1 is selected twice, with ranges 0 and 3: a channel has one range$"):
        e16.ranges = [0, 3, 2]
    e16.ranges = [3, 3, 2]
    assert e16.ranges == [3, 3, 2]
    e16.channels = [0, 16]
    e16.ranges = [0, 2]
    assert e16.range_names[2] == "\u00b10.625 V"
    # X1's sine of 0.5 V on the ±10 V range, Y1 at -1.75 V on the ±0.625 V range: clipped.
    volts = e16.volts(e16.record(kadrs=2000))
    assert (volts[:, 0].max(), volts[:, 1].min()) == pytest.approx((0.5, -0.64), abs=0.001)


def test_exact_kadrs_in_volts(e16, monkeypatch):
    e16.channels = [31, 0]
    volts = e16.record(kadrs=1000, volts=True)
    assert volts.shape == (1000, 2)
    assert_unbroken(volts[:, 0])
    # Codes that fit but volts that do not: refused before a recording is made to be lost.
    empty = np.empty
    monkeypatch.setattr(np, "empty", lambda shape, dtype=float: (
        empty(shape, dtype) if np.dtype(dtype) != np.float64 else np.zeros(2**62)))
    received = e16.kadrs_received
    with pytest.raises(MemoryError, match="^15625 kadrs of 2 channels do not fit in memory"):
        e16.record(duration=1, volts=True)
    assert e16.kadrs_received == received, "it recorded first"


def test_a_close_from_another_thread_keeps_what_came(e16):
    e16.channels = [31]
    threading.Timer(0.5, e16.close).start()
    with pytest.raises(lintara.DriverError, match="^the driver was closed after ") as raised:
        e16.record(duration=5, volts=True)
    assert len(raised.value.partial) > 1000
    assert_unbroken(raised.value.partial[:, 0])


def test_a_refused_start_carries_the_drivers_text(e16, simulator):
    simulator.fault("fail_call", b"X502_StreamsStart", -13)
    with pytest.raises(lintara.DriverError, match="did not start") as refused:
        e16.record(kadrs=10)
    reason = refused.value.reason
    assert "Internal error of the library" in reason and reason in str(refused.value)
    assert refused.value.partial is None


def test_stream_blocks_follow_each_other(e16):
    with e16.stream(3000, blocks=4) as blocks:
        received = list(blocks)
        assert blocks.closed
    assert [b.shape for b in received] == [(3000, 32)] * 4
    assert_unbroken(e16.volts(np.concatenate(received))[:, 31])
    assert not e16.busy
    # A stream's larger ring is given back at its stop, started or refused,
    # or every later start would allocate it again.
    ring = e16._session.input_size()
    with e16.stream(10_000) as big:
        assert e16._session.input_size() >= 4 * 10_000 * 32
        with pytest.warns(RuntimeWarning, match="another Driver of this process is open"):
            other = lintara.Driver()
        with other, pytest.raises(lintara.DriverError):
            other.stream(20_000)
    assert e16._session.input_size() == ring
    stream = e16.stream(1000)
    next(stream)
    assert e16.busy
    with pytest.raises(lintara.DriverError):
        e16.record(kadrs=10)  # one recording at a time
    with pytest.warns(RuntimeWarning), lintara.Driver() as other, pytest.raises(
            lintara.DriverError, match=r"^a recording runs \(another Driver or thread of this process started it\)"):
        other.record(kadrs=10)
    with pytest.raises(lintara.DriverError, match="^a recording runs: stop it before a single reading$"):
        e16.single(0)  # the driver would give 0
    # The driver would take these only at the next start, and the blocks'
    # volts would follow ranges the module does not record on.
    for name, value in [("channels", [0]), ("ranges", 1), ("rate", 1000)]:
        with pytest.raises(lintara.DriverError, match=f"^a recording runs: stop it before changing the {name}$"):
            setattr(e16, name, value)
    assert (e16.channels, e16.ranges, e16.rate) == (list(range(32)), [0] * 32, pytest.approx(15625))
    stream.close()
    assert not e16.busy and stream.closed
    with pytest.raises(StopIteration):
        next(stream)
    # A stream left behind, by a break or an exception, stops its recording.
    for block in e16.stream(1000):
        break
    assert not e16.busy
    with pytest.raises(RuntimeError, match="in the loop"):
        for block in e16.stream(1000):
            raise RuntimeError("in the loop")
    assert not e16.busy


def test_recording_waits_without_the_gil_and_stops_on_ctrl_c(e16):
    ticks = 0
    done = threading.Event()

    def count():
        nonlocal ticks
        while not done.is_set():
            ticks += 1
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    e16.record(duration=0.3)
    done.set()
    counter.join()
    assert ticks > 50

    threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
    began = time.monotonic()
    with pytest.raises(KeyboardInterrupt) as interrupted:
        e16.record(duration=30, volts=True)
    assert time.monotonic() - began < 2
    assert 100 < len(interrupted.value.partial) <= e16.kadrs_received, "the kadrs that came before it"
    assert_unbroken(interrupted.value.partial[:, 31])
    assert not e16.busy
    assert_unbroken(e16.record(kadrs=500, volts=True)[:, 31])


class CutAfterStart:
    """The driver's session, with a Ctrl-C that comes as the start returns."""

    def __init__(self, session):
        self._real = session

    def __getattr__(self, name):
        return getattr(self._real, name)

    def start(self, claim):
        self._real.start(claim)
        raise KeyboardInterrupt


def test_a_ctrl_c_just_after_the_start_stops_that_recording(e16):
    real = e16._session
    e16._session = CutAfterStart(real)
    try:
        for call in (lambda: e16.record(kadrs=10), lambda: e16.stream(10)):
            with pytest.raises(KeyboardInterrupt):
                call()
            assert not real.busy()
    finally:
        e16._session = real
    assert real.input_size() == lintara._lintara.default_input_size, "the stream's ring given back"
    assert len(e16.record(kadrs=10)) == 10


def test_a_stream_closed_from_another_thread_takes_nothing_of_the_next_recording(e16):
    e16.channels, e16.rate = [31], 2000
    stream = e16.stream(3000)
    blocks = []
    reader = threading.Thread(target=lambda: blocks.extend(stream))
    reader.start()
    time.sleep(0.2)  # inside its first block
    with pytest.raises(RuntimeError, match="^a Stream is read by one thread at a time$"):
        next(stream)
    stream.close()
    codes = e16.record(kadrs=4000, volts=True)
    reader.join()
    assert_unbroken(codes[:, 0])
    assert blocks == [], "the closed stream's reader took a block"
    # Nor does a drain into rows of another width (channels changed by another thread meanwhile).
    with pytest.raises(lintara.DriverError, match="^the selected channels changed after the array"):
        e16._session.fill(np.empty((5, 2), np.int16), 0, None, 0)


# Two of the driver's blocks at this rate; then the connection drops.
LOST_AFTER_KADRS = 2 * 1024


def test_a_lost_connection_keeps_what_came_and_a_new_test_recovers(e16, simulator):
    simulator.fault("disconnect_after", 0, LOST_AFTER_KADRS * 32)
    began = time.monotonic()
    with pytest.raises(lintara.DriverError, match="ended after") as lost:
        e16.record(duration=10, volts=True)
    assert time.monotonic() - began < 3
    reason, partial = lost.value.reason, lost.value.partial
    assert "Connection to the module was lost" in reason and reason in str(lost.value)
    assert reason == e16.last_error == e16.end_reason  # kept past record()'s stop
    assert partial.shape == (LOST_AFTER_KADRS, 32) and partial.dtype == np.float64
    assert_unbroken(partial[:, 31])
    assert e16.kadrs_received == LOST_AFTER_KADRS
    assert not e16.connected and not e16.detected
    assert e16.address == "127.0.0.1"  # the lost module's, opened by the next test()

    simulator.clear_faults()
    assert e16.test(), e16.last_error
    assert e16.connected and e16.serial == "SIM0001"
    assert e16.channels == list(range(32)) and e16.rate == pytest.approx(15625)
    assert_unbroken(e16.record(kadrs=2000, volts=True)[:, 31])


def test_a_stream_raises_with_the_block_it_was_filling(e16, simulator):
    simulator.fault("disconnect_after", 0, LOST_AFTER_KADRS * 32)
    stream = e16.stream(1000)
    blocks = [next(stream), next(stream)]
    with pytest.raises(lintara.DriverError, match=f"ended after {LOST_AFTER_KADRS} kadrs: ") as lost:
        next(stream)
    assert stream.closed and not e16.busy and "lost" in e16.end_reason
    assert lost.value.partial.shape == (LOST_AFTER_KADRS - 2000, 32)
    assert_unbroken(e16.volts(np.concatenate(blocks + [lost.value.partial]))[:, 31])


def test_a_limit_set_here_bounds_a_wait_for_data(e16, simulator):
    simulator.fault("stall", 0, 1)  # the driver waits without limit before any data
    e16.timeout = 0.3
    began = time.monotonic()
    with pytest.raises(lintara.DriverError, match="no data for 0.3 s") as silent:
        e16.record(kadrs=100, volts=True)
    assert 0.3 <= time.monotonic() - began < 2
    assert silent.value.partial.shape == (0, 32) and not e16.busy
    simulator.fault("stall", 0, 0)
    assert_unbroken(e16.record(kadrs=500, volts=True)[:, 31])


def test_close_releases_the_driver(simulator, driver_folder):
    before = len(os.listdir("/proc/self/task"))
    driver = lintara.Driver()
    assert lintara._lintara.registered_driver() == str(driver_folder / "Lintara.adc")
    assert driver.test("127.0.0.1")
    driver.channels = [0]
    stream = driver.stream(100)
    next(stream)
    assert len(os.listdir("/proc/self/task")) > before  # the driver's worker
    driver.close()
    assert driver.closed and stream.closed
    assert len(os.listdir("/proc/self/task")) == before
    assert lintara._lintara.Session.open_count() == 0
    with pytest.raises(lintara.DriverError, match="closed"):
        driver.rate


def test_a_stream_read_elsewhere_ends_when_its_driver_closes(e16):
    e16.channels = [0]
    stream = e16.stream(100)
    blocks, raised = [], []

    def read():
        try:
            blocks.extend(stream)
        except lintara.DriverError as error:
            raised.append(error)

    reader = threading.Thread(target=read)
    reader.start()
    while not blocks:
        time.sleep(0.01)
    e16.close()
    reader.join(5)
    assert (reader.is_alive(), stream.closed, raised) == (False, True, [])


@pytest.mark.parametrize("closed", [False, True])
def test_a_daemon_thread_recording_at_the_exit_ends_with_the_script(tmp_path, simulator, closed):
    (tmp_path / "daemon.py").write_text(
        "import threading, time, lintara\n"
        "e16 = lintara.Driver()\n"
        "assert e16.test('127.0.0.1')\n"
        "e16.rate = 12345\n"
        "threading.Thread(target=lambda: [b for b in e16.stream(1000)], daemon=True).start()\n"
        "time.sleep(0.3)\n" + ("e16.close()\n" if closed else ""))
    run = subprocess.run([sys.executable, tmp_path / "daemon.py"], capture_output=True, text=True, timeout=60)
    assert (run.returncode, run.stderr) == (0, "")
    with lintara.Driver() as e16:  # its settings were saved as it went
        assert e16.test("127.0.0.1") and e16.rate == pytest.approx(12345, abs=1)
