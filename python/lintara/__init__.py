"""The Lintara E16 driver from Python, with numpy.

``lintara.Driver`` creates the driver by its ProgID (registering the driver
that came with this package first, when the store names another or none) and
drives one E16 module through the driver's host interfaces: analog input
(IADC3), analog outputs (IDAO), digital lines (IDIO) and the module itself
(IModule: its address, identity and how a recording ended)::

    import lintara
    with lintara.Driver() as e16:
        e16.test("127.0.0.1")            # detect that module, without a prompt
        e16.channels = range(32)
        e16.rate = 15625                 # kadrs per second
        codes = e16.record(duration=1.0) # int16 array, kadrs x channels
        volts = e16.volts(codes)

Failures raise ``lintara.DriverError`` with the driver's reason; a recording
that ends early (a lost connection, say) raises it with the kadrs that came.
Calls that wait on the driver release the GIL; Ctrl-C stops a recording and
raises KeyboardInterrupt. The channel table and the waveform generator are
stored settings: see ``store_inputs`` and ``store_generator``.

``lintara.subscribe(endpoint)`` receives a recording that ``e16rec
--publish`` sends, with pyzmq, as (header, codes) pairs; it needs no driver.
"""

import atexit
import itertools
import sys
import threading
import warnings
import weakref
from datetime import datetime, timezone
from pathlib import Path

from ._built_for import PYTHON, VERSION

try:
    import numpy as np

    from . import _lintara
except ImportError as error:
    # The build's interpreter with numpy, and no extension: the build stopped
    # before it (it is made with every target), and another interpreter
    # would not help.
    here = f"{sys.version_info.major}.{sys.version_info.minor}"
    if here == VERSION and "numpy" in sys.modules and not any(Path(__file__).parent.glob("_lintara*.so")):
        raise ImportError(
            f"lintara's extension _lintara is not built in {Path(__file__).parent}: build every target "
            f"(ninja -C BUILD), then import it again"
        ) from error
    raise ImportError(
        f"lintara was built for {PYTHON} (Python {VERSION}, with numpy); this is {sys.executable} "
        f"(Python {here}): {error}. Run it with {PYTHON}."
    ) from error

from . import _checks
from ._address import checked_address
from ._errors import DriverError
from ._stream import Header, StreamError, Subscription, parse_message, subscribe
from ._settings import (
    CODES_PER_VOLT,
    Generator,
    Wave,
    Waveform,
    known_modules,
    store_generator,
    store_inputs,
    stored_generator,
)

__all__ = [
    "CODES_PER_VOLT",
    "Driver",
    "DriverError",
    "Generator",
    "Header",
    "Output",
    "Stream",
    "StreamError",
    "Subscription",
    "Wave",
    "Waveform",
    "driver_path",
    "known_modules",
    "parse_message",
    "store_generator",
    "store_inputs",
    "stored_generator",
    "subscribe",
]


def driver_path():
    """The driver file (Lintara.adc) this package uses: the one the
    LINTARA_DRIVER variable names (whether or not it is there), else the
    one it was built or installed with; empty when neither is there."""
    return _lintara.driver_path()


# Drivers not closed yet: closed at the interpreter's exit, before it can
# no longer run a thread still reading from one, so that their recordings
# stop and their settings are saved as at any release.
_open_drivers = weakref.WeakSet()
# What each start is made for, so that its caller stops only its own.
_claims = itertools.count(1)

_ANOTHER_RECORDS = "a recording runs (another Driver or thread of this process started it): stop it first"


@atexit.register
def _close_open_drivers():
    for driver in list(_open_drivers):
        driver.close()


class Driver(_checks.NoNewAttributes):
    """The Lintara driver of one E16 module.

    Created open; ``close()`` (or the end of a ``with`` block) releases it.
    The driver keeps one state per process, so two Drivers share one module.

    The driver ends a recording by itself when the connection is lost, the
    input overflows or data stop coming (after about 5 s); waiting for a
    start trigger it waits without limit. ``timeout`` (seconds, None: no
    limit of its own) bounds how long a recording here may bring no data
    before it raises, a trigger's wait included.

    Arguments are checked before they reach the driver: ValueError for a
    value out of range, TypeError for a wrong type. The channels, their
    ranges and the rate are refused while a recording runs.
    """

    def __init__(self, timeout=None):
        self._timeout = _checks.seconds("timeout", timeout, none_too=True)
        self._session = _lintara.Session()
        if any(not driver.closed for driver in _open_drivers):
            warnings.warn("lintara: another Driver of this process is open: the driver keeps one module "
                          "per process, and both drive the one a test() opened last", RuntimeWarning,
                          stacklevel=2)
        _open_drivers.add(self)
        if self._session.registration_note:
            warnings.warn(f"lintara: {self._session.registration_note}", RuntimeWarning, stacklevel=2)
        self._rate = None  # set from here; wins over a module's stored one
        self._stream = lambda: None  # the running Stream, weakly: one dropped stops its recording

    # --- life ---

    def close(self):
        """Stops a recording, saves the driver's settings (a RuntimeWarning
        says why when they could not be, the stored ones then stay), releases
        the driver. Safe to call again."""
        stream = self._stream()
        if stream is not None:
            stream.close()
        if self._session.is_open:
            try:
                self._session.save_settings()
            except DriverError as error:
                warnings.warn(f"lintara: {error.reason or error}", RuntimeWarning, stacklevel=2)
        self._session.close()

    # One let go unclosed closes here, as close() does: without the GIL. The
    # extension's own end would hold every thread through the driver's last
    # release, which waits up to 5 s for a locked store.
    def __del__(self):
        if getattr(self, "_session", None) is not None and self._session.is_open:
            self.close()

    @property
    def closed(self):
        """True once ``close()`` released the driver."""
        return not self._session.is_open

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<lintara.Driver {'closed' if self.closed else 'open'}>"

    @property
    def timeout(self):
        """Seconds a recording here may bring no data before it raises;
        None for no limit of its own."""
        return self._timeout

    @timeout.setter
    def timeout(self, timeout):
        self._timeout = _checks.seconds("timeout", timeout, none_too=True)

    def _live(self):
        if not self._session.is_open:
            raise DriverError("the driver is closed")
        return self._session

    # Before a detection the driver answers a reading or a line's write with
    # 0 or nothing, which a script cannot tell from a real answer.
    def _detected(self):
        session = self._live()
        if not session.detected():
            raise DriverError("no module: call test() first")
        return session

    # The driver ignores a new channel list or rate while it records, and
    # takes ranges only at the next start: refused here instead.
    def _idle(self, what):
        session = self._live()
        if session.busy():
            raise DriverError(f"a recording runs: stop it before changing {what}")
        return session

    # --- detection ---

    def test(self, address=None):
        """Detects the module; True when one answers (see ``last_error``
        otherwise). With ``address`` (IPv4 text or an
        ``ipaddress.IPv4Address``; ValueError for anything else) the driver
        opens that module without its chooser and leaves the remembered
        addresses alone, closing another module it has open first. Without
        it the chooser asks (a window, a terminal prompt, or its first
        remembered address when neither can be shown); after a lost
        connection the driver opens the lost module again instead. A module
        already open stays. The rate set here is set again afterwards, as
        detection loads the module's stored one."""
        text = "" if address is None else checked_address(address)
        session = self._live()
        if text and session.connected() and session.identity().address != text:
            if session.busy():
                raise DriverError(f"a recording runs: stop it before opening {text}")
            session.close_module()
        session.set_address(text)
        found = session.test()
        if found and self._rate is not None:
            session.set_rate(self._rate)
        return found

    @property
    def detected(self):
        """True while the driver has a module."""
        return self._live().detected()

    @property
    def busy(self):
        """True while a recording runs."""
        return self._live().busy()

    @property
    def last_error(self):
        """The driver's LastError text ("" when none)."""
        return self._live().last_error()

    # --- the module ---

    @property
    def serial(self):
        """The serial number of the module last opened ("" before a
        detection)."""
        return self._live().identity().serial

    @property
    def module_name(self):
        """Board and revision of the module last opened, as "E16 rev. A"
        ("" before a detection)."""
        return self._live().identity().name

    @property
    def backend(self):
        """What reaches the module: "vendor library PATH, version V" or
        "simulated module (PATH), version V" ("" before a detection)."""
        return self._live().identity().backend

    @property
    def address(self):
        """The open module's address; else the one the next detection
        opens (after a lost connection, the lost module's); else the one
        the last test() opened or was refused at; else ""."""
        return self._live().identity().address

    @property
    def connected(self):
        """True while the module is open and its connection holds."""
        return self._live().connected()

    @property
    def end_reason(self):
        """Why the last recording ended by itself, also after record() or a
        stream stopped it; "" while recording, after a stop asked for and
        before any start. A recording here raises with it."""
        return self._live().end_reason()

    @property
    def kadrs_received(self):
        """Kadrs the last recording brought: those taken and those unread."""
        return int(self._live().kadrs_received())

    @property
    def start_time(self):
        """When the last recording's first kadr was taken, as an aware UTC
        datetime; None until it came."""
        seconds = self._live().start_time()
        return datetime.fromtimestamp(seconds, timezone.utc) if seconds > 0 else None

    def save_settings(self):
        """Saves the driver's settings now, as its release does; DriverError
        with the driver's reason when they could not be."""
        self._live().save_settings()

    # --- analog input setup ---

    @property
    def channels(self):
        """The selected logical channels (0..31), in kadr order; set with any
        sequence of them."""
        return list(self._live().channels())

    @channels.setter
    def channels(self, channels):
        channels = _checks.channel_list("channels", channels)
        session = self._idle("the channels")
        session.set_channels(channels)
        if list(session.channels()) != channels:
            raise DriverError("the driver did not take the channel list", session.last_error())

    @property
    def channel_names(self):
        """What each selected channel measures ("X1", "Y16", "XY3", ...)."""
        session = self._live()
        return [session.channel_name(c) for c in session.channels()]

    @property
    def range_names(self):
        """The input ranges the driver offers, by index."""
        return list(self._live().range_names())

    @property
    def ranges(self):
        """The range index of each selected channel; set with one index
        (into ``range_names``) for every channel or one per selected
        channel."""
        session = self._live()
        return [session.channel_range(c) for c in session.channels()]

    @ranges.setter
    def ranges(self, ranges):
        session = self._idle("the ranges")
        channels = session.channels()
        ranges = _checks.range_list(ranges, channels, len(session.range_names()))
        for channel, index in zip(channels, ranges):
            session.set_channel_range(channel, index)
            if session.channel_range(channel) != index:
                raise DriverError(f"the driver did not take range {index} for channel {channel}",
                                  session.last_error())

    @property
    def rate(self):
        """Kadrs per second: set the rate wanted (above 0, at most 500000
        samples a second over the selected channels), read the one the
        module achieves (the driver rounds to the module's clock), exactly:
        500000 / 3 for three channels at full speed."""
        return self._live().rate()

    @rate.setter
    def rate(self, rate):
        session = self._idle("the rate")
        rate = _checks.rate(rate, len(session.channels()))
        session.set_rate(rate)
        self._rate = rate

    # --- analog input ---

    def _scales(self, channels):
        session = self._live()
        return (np.array([session.unit_scale(c) for c in channels], np.float64),
                np.array([session.unit_offset(c) for c in channels], np.float64))

    def volts(self, codes, out=None):
        """Codes of the selected channels (an array of kadrs x channels, or
        one kadr) as float64 volts, with the channels' present ranges; into
        ``out`` (a float64 array of the codes' shape) when given."""
        codes = _checks.codes(codes, len(self._live().channels()))
        return self._to_volts()(codes, out)

    def _to_volts(self):
        """The selected channels' codes to volts, as their ranges are now."""
        scales, offsets = self._scales(self._live().channels())
        if np.any(scales == 0):
            raise DriverError("a selected channel has no scale", self.last_error)

        def convert(codes, out=None):
            out = np.divide(codes, scales, out=out)
            return np.add(out, offsets, out=out)
        return convert

    def single(self, channel, volts=False):
        """One reading of a logical channel outside a recording: its code,
        or volts."""
        channel = _checks.channel("channel", channel)
        volts = _checks.flag("volts", volts)
        session = self._detected()
        # The driver gives 0 while it records.
        if session.busy():
            raise DriverError("a recording runs: stop it before a single reading")
        code = session.single(channel)
        if not volts:
            return code
        scale = session.unit_scale(channel)
        return code / scale + session.unit_offset(channel)

    def record(self, duration=None, kadrs=None, volts=False):
        """Records ``duration`` seconds or exactly ``kadrs`` kadrs of the
        selected channels and returns them as an int16 array of kadrs x
        channels (float64 volts with ``volts``). The driver writes straight
        into the array. A recording that ends early raises DriverError with
        the driver's reason and the kadrs that came as ``partial``; Ctrl-C
        raises KeyboardInterrupt with them as ``partial`` too."""
        if (duration is None) == (kadrs is None):
            raise ValueError("give either duration or kadrs")
        if kadrs is not None:
            kadrs = _checks.positive_int("kadrs", kadrs)
        else:
            duration = _checks.seconds("duration", duration)
        volts = _checks.flag("volts", volts)
        session = self._live()
        channels = len(session.channels())
        count = kadrs if kadrs is not None else _checks.kadrs_in("duration", duration, session.rate())
        # Volts too are made before the start: a recording is never lost for
        # want of room for its result.
        try:
            codes = np.empty((count, channels), np.int16)
            result = np.empty((count, channels), np.float64) if volts else codes
        except (ValueError, MemoryError):
            raise MemoryError(f"{_checks.counted(count, 'kadr')} of {_checks.counted(channels, 'channel')} "
                              "do not fit in memory: record fewer, or stream() them") from None
        # The ranges stay as they are while it records: one conversion serves.
        convert = self._to_volts() if volts else None
        # The start inside: a Ctrl-C just after it stops it too, by the
        # claim made before it; a recording another caller started stays.
        claim = next(_claims)
        try:
            self._fill(codes, convert, self._start(session, claim))
        finally:
            if self._session.is_open:
                self._session.stop_own(claim)
        return convert(codes, result) if volts else codes

    def stream(self, block_kadrs, blocks=None, volts=False):
        """Starts a recording and returns a Stream: an iterator of arrays of
        ``block_kadrs`` kadrs each, consecutive with nothing lost between
        them, until ``blocks`` were given (None: until closed). Closing the
        stream (or the end of a ``with`` block) stops the recording.
        ``block_kadrs`` is a positive int, ``blocks`` one or None."""
        return Stream(self, block_kadrs, blocks, volts)

    def _start(self, session, claim):
        """Starts a recording for ``claim``; its number, which the drain keeps to."""
        if self._stream() is not None:
            raise DriverError("a stream is recording: close it first")
        self._detected()
        # Another Driver or thread of this process records: the driver refuses without a word.
        if session.busy():
            raise DriverError(_ANOTHER_RECORDS)
        run = session.start(claim)
        if not run:
            if session.busy():  # another thread's start came first
                raise DriverError(_ANOTHER_RECORDS)
            raise DriverError("the recording did not start", session.last_error())
        return run

    def _stop(self):
        if self._session.is_open:
            self._session.stop()

    # `came`: a stream's
    # kadrs before this block, which its text counts instead of the block's.
    # `convert`: the codes to volts for a partial block, taken before the
    # start (a driver closed meanwhile no longer tells the scales), or None.
    def _fill(self, codes, convert, run, came=None):
        session = self._live()
        filled, end, raised = session.fill(codes, 0, self.timeout, run)
        if end == "full":
            return
        partial = codes[:filled].copy()  # not a view that keeps the whole array
        if convert is not None:
            partial = convert(partial)
        after = f"{filled} of {len(codes)} kadrs" if came is None else _checks.counted(came + filled, "kadr")
        if end == "raised":  # Ctrl-C: what came goes with it, as with an end
            raised.partial = partial
            raise raised
        if end == "closed":  # by another thread
            raise DriverError(f"the driver was closed after {after}", "", partial)
        if end == "ended":
            reason = session.end_reason()  # none when another thread stopped it
            raise DriverError(f"the recording ended after {after}", reason or session.last_error(), partial)
        raise DriverError(f"no data for {self.timeout:g} s after {after}", session.last_error(), partial)

    # --- analog outputs ---

    @property
    def outputs(self):
        """The analog outputs (none on a module without them), as Output
        objects: ``e16.outputs[0].volts = 1.5``."""
        return tuple(Output(self, k) for k in range(self._live().dac_count()))

    # --- digital lines ---

    @property
    def digital_inputs(self):
        """The digital input lines as an integer, bit k - 1 = line k (1..16)."""
        return self._detected().digital_inputs()

    @property
    def digital_outputs(self):
        """The digital output lines as last set: set with an integer, bit
        k - 1 = line k (1..16)."""
        return self._live().digital_outputs()

    @digital_outputs.setter
    def digital_outputs(self, lines):
        session = self._detected()
        lines = _checks.integer("digital_outputs", lines, 0, (1 << session.digital_output_count()) - 1)
        session.set_digital_outputs(lines)

    @property
    def digital_line_counts(self):
        """(inputs, outputs): how many digital lines of each there are."""
        session = self._live()
        return session.digital_input_count(), session.digital_output_count()


class Output(_checks.NoNewAttributes):
    """One analog output's static level, in codes (an int) or volts (a
    finite number); the driver clamps either to its range. A level written
    while the generator plays on that output is ignored by the driver."""

    def __init__(self, driver, index):
        self._driver = driver
        self._index = index

    @property
    def index(self):
        """0 for DAC1, 1 for DAC2."""
        return self._index

    def __repr__(self):
        if self._driver.closed:
            return f"<lintara.Output {self.index} of a closed driver>"
        try:
            return f"<lintara.Output {self.name} {self.volts:g} V>"
        except DriverError as error:
            return f"<lintara.Output {self.index}: {error}>"

    @property
    def name(self):
        """The output's name (DAC1, DAC2)."""
        return self._present(self._driver._live()).dac_name(self.index)

    @property
    def code(self):
        """The level as an output code."""
        return self._present(self._driver._live()).dac_code(self.index)

    @code.setter
    def code(self, code):
        code = _checks.integer("code", code)
        self._writable().set_dac_code(self.index, max(-(2**31), min(code, 2**31 - 1)))

    @property
    def volts(self):
        """The level in volts."""
        return self._present(self._driver._live()).dac_volts(self.index)

    @volts.setter
    def volts(self, volts):
        self._writable().set_dac_volts(self.index, _checks.finite("volts", volts))

    # The driver takes a level for a module lost or without this output and
    # sets nothing, and reads 0 for it: refused here instead.
    def _writable(self):
        return self._present(self._driver._detected())

    def _present(self, session):
        if self.index >= session.dac_count():
            raise DriverError(f"the module {session.identity().serial} has no analog output DAC{self.index + 1}")
        return session


class Stream:
    """A running recording delivered block by block; see Driver.stream.

    Iterate it for arrays of block_kadrs x channels (int16 codes, or float64
    volts). ``close()`` stops the recording; so does an error or Ctrl-C
    while waiting for a block, or dropping the stream. Read on another
    thread, it ends there when its Driver is closed. A recording that ends early raises
    DriverError with the rows of the block that came as ``partial``.
    """

    def __init__(self, driver, block_kadrs, blocks, volts):
        self._driver = None  # set once its recording runs
        block_kadrs = _checks.positive_int("block_kadrs", block_kadrs)
        blocks = _checks.positive_int_or_none("blocks", blocks)
        volts = _checks.flag("volts", volts)
        session = driver._live()
        self._convert = driver._to_volts() if volts else None  # the ranges stay while it records
        channels = len(session.channels())
        # The driver's ring counts its samples in a Long: a block must fit one.
        most = _checks.LONG_MAX // channels
        if block_kadrs > most:
            raise ValueError(f"block_kadrs must be a positive int of at most {most} for "
                             f"{_checks.counted(channels, 'channel')}, "
                             f"not {block_kadrs}")
        self._shape = (block_kadrs, channels)
        self._left = blocks
        self._came = 0  # kadrs given so far
        self._reading = threading.Lock()  # a second reader would take every other block
        # Room for a few blocks, so a consumer that is late by a block loses
        # nothing; given back at the stop, or every later start would
        # allocate it again.
        ring = min(4 * block_kadrs * channels, _checks.LONG_MAX)
        self._grown = False
        claim = next(_claims)
        try:
            self._grown = session.input_size() < ring
            if self._grown:
                session.set_input_size(ring)
            self._run = driver._start(session, claim)
        except BaseException:  # a Ctrl-C just after the start stops it too
            session.stop_own(claim)
            self._shrink(session)
            raise
        self._driver = driver
        driver._stream = weakref.ref(self)

    # A stream dropped (`for b in e16.stream(...)` left with break, say) stops
    # its recording; one kept in a name runs until closed.
    def __del__(self):
        self.close()

    @property
    def closed(self):
        """True once the recording was stopped."""
        return self._driver is None

    def close(self):
        """Stops the recording. Safe to call again."""
        driver, self._driver = self._driver, None
        if driver is not None:
            driver._stream = lambda: None
            try:
                driver._stop()
            finally:
                self._shrink(driver._session)

    def _shrink(self, session):
        if self._grown and session.is_open:
            session.set_input_size(_lintara.default_input_size)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __iter__(self):
        return self

    def __next__(self):
        if not self._reading.acquire(blocking=False):
            raise RuntimeError("a Stream is read by one thread at a time")
        try:
            return self._next_block()
        finally:
            self._reading.release()

    def _next_block(self):
        if self._driver is None or self._left == 0:
            self.close()
            raise StopIteration
        block = np.empty(self._shape, np.int16)
        driver = self._driver
        try:
            driver._fill(block, self._convert, self._run, self._came)
        except DriverError:
            if self._driver is None or driver.closed:  # closed by another thread: the stream's end
                raise StopIteration from None
            self.close()
            raise
        except BaseException:
            self.close()
            raise
        self._came += len(block)
        if self._left is not None:
            self._left -= 1
        return self._convert(block) if self._convert is not None else block
