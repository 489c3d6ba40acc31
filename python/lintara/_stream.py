"""A recording that e16rec publishes (``e16rec --publish``), received with
pyzmq: every message is three frames, the topic ``E16/<serial>``, a JSON
header that describes the recording and the block, and the block's codes
(int16, little-endian, kadrs x channels). See docs/stream.md."""

import json
import re
import threading
import time
from dataclasses import dataclass, replace
from datetime import datetime

import numpy as np

from . import _checks

def _is_count(value):
    """A count as a stream's reader holds it: a whole number from 0 below 2^63
    (json gives 20.0 and 1e3 as floats, which are no counts)."""
    return _checks.is_count(value) and value < 2**63


# What the counts take: JSON integers, which a reader in any language takes whole.
_COUNT = "a whole number from 0 below 2^63, written without a point or an exponent"
# The scales a float keeps with volts a float holds, well past any range's.
_LEAST_SCALE, _MOST_SCALE = 1e-30, 1e30


def _quoted(text):
    """`text` as a JSON string on one line, as the C++ reader quotes it."""
    return '"' + "".join("\\" + c if c in '"\\' else f"\\u{ord(c):04x}" if c < " " else c for c in text) + '"'


_START_TIME = re.compile(r"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z")


def _is_start_time(value):
    """The time e16rec writes, "2026-12-07T01:29:39.483Z" of a real day, or
    "" before the recording's first kadr: the origin of the kadrs' times."""
    if value == "":
        return True
    if not isinstance(value, str) or not _START_TIME.fullmatch(value):
        return False
    try:
        datetime(*(int(value[at:at + n]) for at, n in ((0, 4), (5, 2), (8, 2), (11, 2), (14, 2), (17, 2))))
    except ValueError:
        return False
    return True


# A range index as the driver types it (16 bits), as files and e16scope keep
# it; which ones the module has is the driver's to say, and a reader has none.
_RANGE_MOST = 32767


_FIELDS = {  # name: (type check, what it takes)
    "serial": (lambda v: isinstance(v, str), "a string"),
    "address": (lambda v: isinstance(v, str), "a string"),
    "seq": (_is_count, _COUNT),
    "first_kadr": (_is_count, _COUNT),
    "kadrs": (_is_count, _COUNT),
    "channels": (lambda v: isinstance(v, list) and v and all(isinstance(c, str) for c in v),
                 "a list of channel names"),
    # A module's rates: a kadr every 1000 s at the slowest, 500000 kadrs/s at
    # the fastest; others would make times no file holds.
    "rate": (lambda v: _checks.is_positive(v) and 0.001 <= v <= 500000,
             "kadrs per second from 0.001 to 500000"),
    "codes_per_volt": (lambda v: isinstance(v, list) and all(
        _checks.is_number(c) and _LEAST_SCALE <= c <= _MOST_SCALE for c in v),
        "a list of numbers from 1e-30 to 1e30"),
    "start_time": (_is_start_time, "a UTC time such as 2026-12-07T01:29:39.483Z, or empty"),
    "lost_kadrs": (_is_count, _COUNT),
    # An empty reason would be an end to some readers and none to others.
    "end": (lambda v: v is None or (isinstance(v, str) and v != ""),
            "null, or a text that says why the recording ended"),
}
_OPTIONAL = {  # fields a publisher may leave out, checked when present
    "ranges": (lambda v: isinstance(v, list) and all(_checks.is_count(r) and r <= _RANGE_MOST for r in v),
               f"a list of range indexes: whole numbers from 0 to {_RANGE_MOST}, written without a point or "
               "an exponent"),
    "backend": (lambda v: isinstance(v, str), "a string"),
}


def _is_endpoint(text):
    """An endpoint to subscribe to, as e16rec --source takes it. ZeroMQ takes
    a port past 65535 modulo 65536: another program's port."""
    if text.startswith("ipc://"):
        return len(text) > 6
    host, _, port = text[6:].rpartition(":")
    return (text.startswith("tcp://") and host not in ("", "*") and port.isdigit()
            and 0 < int(port) < 65536)


class StreamError(RuntimeError):
    """A message that is not a recording's stream message (its frames,
    its JSON header, or a payload that is not kadrs x channels codes), or
    one of another recording. The subscription goes on with the next one."""


@dataclass(frozen=True)
class Header:
    """What a message says of the recording and its block; ``missing`` is
    how many kadrs this subscriber did not get before it (0: none)."""

    serial: str
    address: str
    seq: int
    first_kadr: int
    kadrs: int
    channels: tuple
    rate: float
    codes_per_volt: tuple
    start_time: str
    lost_kadrs: int
    end: str
    ranges: tuple = ()
    backend: str = ""
    missing: int = 0

    def volts(self, codes):
        """The block's codes (or one kadr's) as float64 volts."""
        return _checks.codes(codes, len(self.codes_per_volt)) / np.asarray(self.codes_per_volt, np.float64)


class _Repeated(Exception):
    """A key the header has twice: which value holds is ambiguous."""


def _once(pairs):
    seen = set()
    for key, _ in pairs:
        if key in seen:
            raise _Repeated(key)
        seen.add(key)
    return dict(pairs)


def _no_constant(name):
    raise ValueError(f"{name} is no JSON number")


def _new_recording(was, now):
    """"" when `now` is a message of the module's recording `was` describes;
    else why it is another, in the words of the C++ reader. Scales compared
    as the float32 they are kept in."""
    scales = [tuple(np.float32(c) for c in h.codes_per_volt) for h in (was, now)]
    changed = [name for name, differs in (
        ("channels", now.channels != was.channels), ("rate", now.rate != was.rate),
        ("codes_per_volt", scales[0] != scales[1]), ("ranges", now.ranges != was.ranges),
        ("start_time", now.start_time != was.start_time)) if differs]
    if not changed:
        return ""
    return (f"the publisher began another recording ({now.serial}, "
            f"{_checks.counted(len(now.channels), 'channel')}, started {now.start_time}; "
            f"changed: {', '.join(changed)})")


def parse_message(frames):
    """A message's frames (bytes) checked and read: (Header, int16 array of
    kadrs x channels). StreamError says what is wrong, in one line."""
    if not isinstance(frames, (list, tuple)) or not all(isinstance(f, (bytes, bytearray, memoryview)) for f in frames):
        raise TypeError(f"frames must be a list of bytes, one per frame, not {type(frames).__name__}"
                        + ("" if not isinstance(frames, (list, tuple)) else
                           " of " + ", ".join(type(f).__name__ for f in frames)))
    if len(frames) != 3:
        raise StreamError(f"a message of {len(frames)} frames, not 3 (topic, header, codes)")
    topic, head, payload = (bytes(f) for f in frames)
    try:
        text = head.decode("utf-8")
    except UnicodeDecodeError as error:
        raise StreamError(f"the header is not UTF-8 from byte {error.start}") from None
    try:
        fields = json.loads(text, object_pairs_hook=_once, parse_constant=_no_constant)
    except _Repeated as repeated:
        raise StreamError(f"the header repeats the key {_quoted(repeated.args[0])}") from None
    except ValueError as error:
        raise StreamError(f"bad JSON in the header: {error}") from None
    if not isinstance(fields, dict):
        raise StreamError("the header is not a JSON object")
    for name, (good, takes) in _FIELDS.items():
        if name not in fields:
            raise StreamError(f'header has no field "{name}"')
        if not good(fields[name]):
            raise StreamError(f'header field "{name}" is not {takes}')
    for name, (good, takes) in _OPTIONAL.items():
        if name in fields and not good(fields[name]):
            raise StreamError(f'header field "{name}" is not {takes}')
    channels = len(fields["channels"])
    if fields["first_kadr"] + fields["kadrs"] >= 2**63:  # where the next message goes on: a count too
        raise StreamError('header field "kadrs" is not a number that keeps first_kadr + kadrs below 2^63')
    if len(fields["codes_per_volt"]) != channels:
        raise StreamError('header field "codes_per_volt" is not one number per channel')
    if fields.get("ranges") and len(fields["ranges"]) != channels:
        raise StreamError('header field "ranges" is not one range per channel')
    if topic != b"E16/" + fields["serial"].encode("utf-8"):
        raise StreamError(f'topic {_quoted(topic[:64].decode("utf-8", "replace"))} does not name serial '
                          f'{_quoted(fields["serial"])}')
    if len(payload) != fields["kadrs"] * channels * 2:
        raise StreamError(f"a payload of {len(payload)} bytes for {fields['kadrs']} kadrs of {channels} "
                          f"channels ({channels * 2} bytes a kadr)")
    values = {name: fields[name] for name in _FIELDS}
    values.update(channels=tuple(fields["channels"]), codes_per_volt=tuple(fields["codes_per_volt"]),
                  ranges=tuple(fields.get("ranges", ())), backend=fields.get("backend", ""))
    header = Header(**values)
    codes = np.frombuffer(payload, "<i2").astype(np.int16).reshape(fields["kadrs"], channels)
    return header, codes


_CLOSED = object()  # what a receive gives once another thread closed the subscription


class Subscription:
    """Iterate it for ``(header, codes)``: a Header and an int16 array of
    kadrs x channels, one pair per message, in order. It ends after the
    kadrs asked for (the last array cut to them), at the publisher's last
    message (its reason in ``end``), at a message of another recording on
    the endpoint (the publisher began another one: ``end`` says so), or
    raises TimeoutError after
    ``timeout`` seconds without a message. A malformed message raises
    StreamError; iterating again goes on with the next one. ``gaps`` and
    ``missing_kadrs`` count what this subscriber did not get."""

    def __init__(self, endpoint, seconds=None, kadrs=None, timeout=None, topic="E16/"):
        import zmq  # only a subscriber needs pyzmq

        if not isinstance(endpoint, str):
            raise TypeError(f"endpoint must be a str such as tcp://127.0.0.1:5556, not {type(endpoint).__name__}")
        if not _is_endpoint(endpoint):
            raise ValueError(f"endpoint {endpoint!r}: not tcp://HOST:PORT with a port from 1 to 65535, "
                             "or ipc://PATH")
        if seconds is not None and kadrs is not None:
            raise ValueError("give seconds or kadrs, not both")
        self._seconds = _checks.seconds("seconds", seconds, none_too=True)
        self._left = _checks.positive_int_or_none("kadrs", kadrs)
        self._timeout = _checks.seconds("timeout", timeout, none_too=True)
        if not isinstance(topic, str):
            raise TypeError(f"topic must be a str, not {type(topic).__name__}")
        self._zmq = zmq
        # A ZeroMQ socket takes one thread at a time: a close() from another
        # thread waits for the reader to leave it (within its 100 ms poll).
        self._turn = threading.Condition()
        self._reader = None  # the thread inside a receive
        self._closing = False
        self._context = zmq.Context()
        self._socket = self._context.socket(zmq.SUB)
        self._socket.setsockopt(zmq.LINGER, 0)
        self._socket.setsockopt(zmq.SUBSCRIBE, topic.encode("utf-8"))
        try:
            self._socket.connect(endpoint)
        except zmq.ZMQError as error:
            self.close()
            raise ValueError(f"endpoint {endpoint!r}: {error}") from None
        self._first = None  # the recording's first header
        self._next_kadr = None
        self._frames = None  # a message taken off the socket, until it is delivered
        self._ready = None  # the (header, codes) it gives, until returned
        self.end = None
        self.gaps = 0
        self.missing_kadrs = 0

    def close(self):
        """Closes the socket; a thread iterating the subscription ends
        there, without an error. Safe to call again, from any thread."""
        with self._turn:
            self._closing = True
            if self._reader is threading.current_thread():
                return  # a signal handler inside the reader's own poll: it closes on its way out
            self._turn.wait_for(lambda: self._reader is None)
            socket, self._socket = self._socket, None  # closed, though a second Ctrl-C cuts the term short
        if socket is not None:
            socket.close()
            self._context.term()

    # One dropped unclosed (a loop over it left with break) closes its socket
    # and context, which pyzmq would otherwise leave open with a warning.
    def __del__(self):
        if getattr(self, "_socket", None) is not None:
            self.close()

    @property
    def closed(self):
        return self._socket is None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __iter__(self):
        return self

    # Ctrl-C may come between any two calls. A message taken off the socket
    # is held until it is delivered, and what it changes (the counts, the
    # kadr expected next, the message to give) is set by plain assignments
    # with no call among them, where no signal's handler runs: iterating
    # again after a KeyboardInterrupt goes on with the message it cut short.
    def __next__(self):
        while True:
            if self._ready is None:
                with self._turn:
                    done = self._closing or self._left == 0 or self.end is not None
                    if not done:
                        self._reader = threading.current_thread()
                if done:
                    self.close()
                    raise StopIteration
                try:
                    closed = self._receive() is _CLOSED
                finally:
                    with self._turn:
                        self._reader = None
                        self._turn.notify_all()
                    if self._closing:  # closed meanwhile, or by a refusal of its own
                        self.close()
                if closed:
                    raise StopIteration
            ready, self._ready = self._ready, None
            if ready is not None:
                return ready

    def _receive(self):
        """Takes the next message (or the one held) into ``_ready``; ends the
        iteration (``end``) at another recording's; _CLOSED once another
        thread closes the subscription. Another module's messages on the
        endpoint (the topic is a prefix) are passed over."""
        deadline = None if self._timeout is None else time.monotonic() + self._timeout
        while True:
            if self._frames is None:
                self._frames = self._next_frames(deadline)
                if self._frames is None:
                    return _CLOSED
            try:
                header, codes = parse_message(self._frames)
            except StreamError:
                self._frames = None
                raise
            first = self._first
            if first is None or header.serial == first.serial:
                break
            self._frames = None
        end = "" if first is None else _new_recording(first, header)
        if end:
            self._frames, self.end = None, end
            return None
        return self._take(header, codes)

    def _next_frames(self, deadline):
        while not self._closing:
            wait = 100 if deadline is None else max(0, min(100, int((deadline - time.monotonic()) * 1000)))
            if self._socket.poll(wait):
                return self._socket.recv_multipart(copy=True)
            if deadline is not None and time.monotonic() >= deadline and not self._closing:
                raise TimeoutError(f"no message for {self._timeout:g} s")
        return None

    def _take(self, header, codes):
        first = self._first
        if first is not None and header.first_kadr < self._next_kadr:
            self._frames = None
            raise StreamError(f"message {header.seq} goes back to kadr {header.first_kadr} "
                              f"after kadr {self._next_kadr - 1}")
        missing = 0 if first is None else header.first_kadr - self._next_kadr
        left = self._left
        if first is None and self._seconds is not None:
            # Counted as record() counts its duration, at the rate known only now.
            try:
                left = _checks.kadrs_in("seconds", self._seconds, header.rate)
            except ValueError:
                self._frames = None
                self.close()  # from the reader's thread: the socket closes on its way out
                raise
        if left is not None:
            codes = codes[:left]
            left -= len(codes)
        ready = (replace(header, missing=missing), codes) if len(codes) else None
        next_kadr = header.first_kadr + header.kadrs
        # No call from here on (see __next__).
        if first is None:
            self._first = header
        if missing:
            self.gaps += 1
            self.missing_kadrs += missing
        if header.end is not None:
            self.end = header.end
        self._next_kadr, self._left, self._ready, self._frames = next_kadr, left, ready, None


def subscribe(endpoint, seconds=None, kadrs=None, timeout=None, topic="E16/"):
    """Subscribes to a recording that ``e16rec --publish ENDPOINT`` sends
    and returns a Subscription: iterate it for ``(header, codes)`` pairs,
    a Header and an int16 array of kadrs x channels per message::

        for header, codes in lintara.subscribe("tcp://127.0.0.1:5556", seconds=2):
            volts = header.volts(codes)

    ``seconds`` (of data, at the stream's rate, counted as record() counts
    its duration: less than one kadr raises ValueError at the first message
    and closes it) or ``kadrs`` bound it; without either it runs until the
    publisher's last message. ``timeout``
    raises TimeoutError after that many seconds without a message (None:
    waits). ``topic`` picks modules by the prefix of "E16/<serial>"."""
    return Subscription(endpoint, seconds, kadrs, timeout, topic)
