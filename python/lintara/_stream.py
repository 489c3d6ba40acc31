"""A recording that e16rec publishes (``e16rec --publish``), received with
pyzmq: every message is three frames, the topic ``E16/<serial>``, a JSON
header that describes the recording and the block, and the block's codes
(int16, little-endian, kadrs x channels). See docs/stream.md."""

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
    "channels": (lambda v: isinstance(v, list) and all(isinstance(c, str) for c in v), "an array of strings"),
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
        """The block's codes (or one kadr's) as float64 volts, by the scales
        as the readers keep them: float32 values."""
        return _checks.codes(codes, len(self.codes_per_volt)) / np.asarray(self.codes_per_volt, np.float64)


class _BadJson(Exception):
    """Where the header stops being the JSON a reader takes, and why."""


_ESCAPES = {ord(k): v.encode() for k, v in zip('"\\/bfnrt', '"\\/\b\f\n\r\t')}


class _JsonReader:
    """The header's JSON read as the C++ reader reads it, its refusals and
    their bytes the same: one object of scalars and arrays of scalars, and
    nothing deeper. A repeated key is said once the whole text is read."""

    def __init__(self, text):
        self._text, self._at = text, 0

    def read(self):
        try:
            fields, repeated = self._object()
        except _BadJson as bad:
            raise StreamError(f"bad JSON at byte {self._at}: {bad}") from None
        if repeated is not None:
            raise StreamError(f"the header repeats the key {_quoted(repeated)}")
        return fields

    def _object(self):
        fields, repeated = {}, None
        self._blank()
        self._expect(b"{")
        self._blank()
        while not self._take(b"}"):
            if fields:
                self._expect(b",")
            self._blank()
            key = self._string()
            self._blank()
            self._expect(b":")
            value = self._value(True)
            if key in fields and repeated is None:
                repeated = key
            fields.setdefault(key, value)
            self._blank()
        self._blank()
        if self._at != len(self._text):
            raise _BadJson("text after the object")
        return fields, repeated

    def _blank(self):
        while self._text[self._at:self._at + 1] in (b" ", b"\t", b"\n", b"\r"):
            self._at += 1

    def _take(self, word):
        if not self._text.startswith(word, self._at):
            return False
        self._at += len(word)
        return True

    def _expect(self, char):
        if not self._take(char):
            raise _BadJson(f"expected '{char.decode()}'")

    def _value(self, array_allowed):
        self._blank()
        if self._at >= len(self._text):
            raise _BadJson("the text ends before a value")
        first = self._text[self._at:self._at + 1]
        if first == b'"':
            return self._string()
        if first == b"[":
            if not array_allowed:
                raise _BadJson("an array inside an array")
            return self._array()
        if first == b"{":
            raise _BadJson("an object inside the header")
        for word, value in ((b"null", None), (b"true", True), (b"false", False)):
            if self._take(word):
                return value
        return self._number()

    def _array(self):
        self._at += 1
        items = []
        self._blank()
        while not self._take(b"]"):
            if items:
                self._expect(b",")
            items.append(self._value(False))
            self._blank()
        return items

    def _digits(self):
        start = self._at
        while self._text[self._at:self._at + 1].isdigit():
            self._at += 1
        return self._at - start

    def _number(self):
        start = self._at
        self._take(b"-")
        whole = self._at
        if not self._digits():
            raise _BadJson("not a value")
        if self._text[whole] == ord("0") and self._at - whole > 1:
            raise _BadJson("a number with a leading zero")
        point = self._take(b".")
        if point and not self._digits():
            raise _BadJson("a number without digits after its point")
        exponent = self._take(b"e") or self._take(b"E")
        if exponent:
            if not self._take(b"+"):
                self._take(b"-")
            if not self._digits():
                raise _BadJson("a number without digits in its exponent")
        token = self._text[start:self._at]
        # Past 20 digits no count: a float, as the C++ reader's double keeps a
        # scale of that many (and int() refuses thousands).
        return float(token) if point or exponent or len(token) > 20 else int(token)

    def _hex4(self):
        if len(self._text) - self._at < 4:
            raise _BadJson("a \\u escape cut short")
        unit = 0
        for _ in range(4):
            digit = chr(self._text[self._at])
            self._at += 1
            if digit not in "0123456789abcdefABCDEF":
                raise _BadJson("a \\u escape that is not hex")
            unit = unit * 16 + int(digit, 16)
        return unit

    def _escape(self):
        if self._at >= len(self._text):
            raise _BadJson("a string cut short")
        kind = self._text[self._at]
        self._at += 1
        if kind in _ESCAPES:
            return _ESCAPES[kind]
        if kind != ord("u"):
            raise _BadJson("an unknown escape")
        unit = self._hex4()
        if 0xDC00 <= unit <= 0xDFFF:
            raise _BadJson("a lone low surrogate")
        if 0xD800 <= unit <= 0xDBFF:
            try:
                low = self._hex4() if self._take(b"\\u") else 0
            except _BadJson:
                low = 0
            if not 0xDC00 <= low <= 0xDFFF:
                raise _BadJson("a high surrogate without its low one")
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)
        return chr(unit).encode("utf-8")

    def _string(self):
        self._expect(b'"')
        out = bytearray()
        while True:
            if self._at >= len(self._text):
                raise _BadJson("a string cut short")
            byte = self._text[self._at]
            self._at += 1
            if byte == ord('"'):
                return out.decode("utf-8")  # checked as UTF-8 whole, and escapes make no surrogate
            if byte < 0x20:
                raise _BadJson("a control character in a string")
            if byte == ord("\\"):
                out += self._escape()
            else:
                out.append(byte)


def _new_recording(was, now):
    """"" when `now` is a message of the module's recording `was` describes;
    else why it is another, in the words of the C++ reader. Ranges are
    optional: compared only when both messages carry them."""
    changed = [name for name, differs in (
        ("channels", now.channels != was.channels), ("rate", now.rate != was.rate),
        ("codes_per_volt", now.codes_per_volt != was.codes_per_volt),
        ("ranges", bool(now.ranges) and bool(was.ranges) and now.ranges != was.ranges),
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
        head.decode("utf-8")
    except UnicodeDecodeError as error:
        raise StreamError(f"the header is not UTF-8 from byte {error.start}") from None
    fields = _JsonReader(head).read()
    for name, (good, takes) in _FIELDS.items():
        if name not in fields:
            raise StreamError(f'header has no field "{name}"')
        if not good(fields[name]):
            raise StreamError(f'header field "{name}" is not {takes}')
    for name, (good, takes) in _OPTIONAL.items():
        if name in fields and not good(fields[name]):
            raise StreamError(f'header field "{name}" is not {takes}')
    channels = len(fields["channels"])
    if not channels:
        raise StreamError('header field "channels" is not a list of at least one channel')
    if len(fields["codes_per_volt"]) != channels:
        raise StreamError('header field "codes_per_volt" is not one number per channel')
    if fields.get("ranges") and len(fields["ranges"]) != channels:
        raise StreamError('header field "ranges" is not one range per channel')
    if fields["first_kadr"] + fields["kadrs"] >= 2**63:  # where the next message goes on: a count too
        raise StreamError('header field "kadrs" is not a number that keeps first_kadr + kadrs below 2^63')
    if topic != b"E16/" + fields["serial"].encode("utf-8"):
        raise StreamError(f'topic {_quoted(topic[:64].decode("utf-8", "replace"))} does not name serial '
                          f'{_quoted(fields["serial"])}')
    if len(payload) != fields["kadrs"] * channels * 2:
        raise StreamError(f"a payload of {_checks.counted(len(payload), 'byte')} for "
                          f"{_checks.counted(fields['kadrs'], 'kadr')} of {_checks.counted(channels, 'channel')} "
                          f"({channels * 2} bytes a kadr)")
    values = {name: fields[name] for name in _FIELDS}
    # Scales kept as the float32 the driver gives and the C++ readers keep.
    scales = tuple(float(np.float32(c)) for c in fields["codes_per_volt"])
    values.update(channels=tuple(fields["channels"]), codes_per_volt=scales,
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
            self._frames = None
            self._check_deadline(deadline)  # however many others' messages keep coming
        try:
            header, codes = parse_message(self._frames)
        except Exception:  # dropped, or every next() would raise it again; Ctrl-C keeps it
            self._frames = None
            raise
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
            if not self._closing:
                self._check_deadline(deadline)
        return None

    def _check_deadline(self, deadline):
        if deadline is not None and time.monotonic() >= deadline:
            raise TimeoutError(f"no message for {self._timeout:g} s")

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
