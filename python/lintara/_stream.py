"""A recording that e16rec publishes (``e16rec --publish``), received with
pyzmq: every message is three frames, the topic ``E16/<serial>``, a JSON
header that describes the recording and the block, and the block's codes
(int16, little-endian, kadrs x channels). See docs/stream.md."""

import threading
import time
from dataclasses import dataclass, fields, replace

import numpy as np

from . import _checks, _lintara


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
        """The block's codes (or one kadr's) as float64 volts, by the scales
        as the readers keep them: float32 values."""
        return _checks.codes(codes, len(self.codes_per_volt)) / np.asarray(self.codes_per_volt, np.float64)


def _parsed(frames):
    """A message's frames checked and read by the hosts' reader: (its
    StreamHeader, Header, int16 array of kadrs x channels)."""
    if not isinstance(frames, (list, tuple)) or not all(isinstance(f, (bytes, bytearray, memoryview)) for f in frames):
        raise TypeError(f"frames must be a list of bytes, one per frame, not {type(frames).__name__}"
                        + ("" if not isinstance(frames, (list, tuple)) else
                           " of " + ", ".join(type(f).__name__ for f in frames)))
    frames = [bytes(f) for f in frames]
    raw = _lintara.check_message(frames)
    if isinstance(raw, str):
        raise StreamError(raw)
    values = {f.name: getattr(raw, f.name) for f in fields(Header) if f.name != "missing"}
    header = Header(**{name: tuple(v) if isinstance(v, list) else v for name, v in values.items()})
    codes = np.frombuffer(frames[2], "<i2").astype(np.int16).reshape(raw.kadrs, len(raw.channels))
    return raw, header, codes


def parse_message(frames):
    """A message's frames (bytes) checked and read: (Header, int16 array of
    kadrs x channels). StreamError says what is wrong, in one line, in the
    words of e16rec --source and e16scope, which refuse the same messages."""
    return _parsed(frames)[1:]


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
        if not (endpoint.isprintable() and _lintara.is_endpoint(endpoint)):  # no control character or lone surrogate
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
        self._endpoint = endpoint
        self._others = []  # modules passed over since the last message taken, as a silence names them
        self._first = None  # the recording's first StreamHeader
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
                    if self._reader is not None:  # a ZeroMQ socket takes one thread at a time
                        raise RuntimeError("a Subscription is read by one thread at a time")
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
        endpoint (the topic is a prefix) are passed over by their topic, as
        the C++ reader does, within the same wait."""
        deadline = None if self._timeout is None else time.monotonic() + self._timeout
        first = self._first
        topic = None if first is None else b"E16/" + first.serial.encode("utf-8")
        while True:
            if self._frames is None:
                self._frames = self._next_frames(deadline)
                if self._frames is None:
                    return _CLOSED
            if topic is None or self._frames[0] == topic:
                break
            self._others = _lintara.note_other_module(self._frames[0], self._others)
            self._frames = None
            self._check_deadline(deadline)  # however many others' messages keep coming
        try:
            raw, header, codes = _parsed(self._frames)
        except Exception:  # dropped, or every next() would raise it again; Ctrl-C keeps it
            self._frames = None
            raise
        end = "" if first is None else _lintara.new_recording(first, raw)
        if end:
            self._frames, self.end = None, end
            return None
        return self._take(raw, header, codes)

    def _next_frames(self, deadline):
        while not self._closing:
            wait = 100 if deadline is None else max(0, min(100, int((deadline - time.monotonic()) * 1000)))
            if self._socket.poll(wait):
                return self._socket.recv_multipart(copy=True)
            if not self._closing:
                self._check_deadline(deadline)
        return None

    def _check_deadline(self, deadline):
        if deadline is not None and time.monotonic() >= deadline:
            serial = "" if self._first is None else self._first.serial
            raise TimeoutError(_lintara.silence_reason(self._endpoint, self._timeout, serial, self._others))

    def _take(self, raw, header, codes):
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
            self._first = raw
        if missing:
            self.gaps += 1
            self.missing_kadrs += missing
        if header.end is not None:
            self.end = header.end
        self._next_kadr, self._left, self._ready, self._frames = next_kadr, left, ready, None
        self._others = []


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
