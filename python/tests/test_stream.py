"""The recording published by e16rec --publish, as its subscribers take it:
the snippet of docs/stream.md, lintara.subscribe, a plain pyzmq reader, one
that reads too slowly, and e16rec --source writing HDF5; then malformed
messages, which each subscriber names in one line and goes past."""

import gc
import json
import os
import re
import select
import signal
import subprocess
import sys
import time
import warnings
from concurrent.futures import ThreadPoolExecutor
from functools import partial
from pathlib import Path

import h5py
import numpy as np
import pytest
import zmq

import lintara

E16REC = os.environ.get("E16REC", "")
DOCS = Path(__file__).resolve().parents[2] / "docs" / "stream.md"
RATE, CHANNELS, SECONDS = 15625, 32, 3
KADRS = RATE * SECONDS

needs_e16rec = pytest.mark.skipif(not E16REC, reason="E16REC names no e16rec")
started = partial(subprocess.Popen, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def await_subscribers(socket, count, timeout=30):
    """Waits on an XPUB `socket` until `count` subscriptions came: every
    subscriber connected, however slowly its program started."""
    deadline = time.monotonic() + timeout
    while count > 0:
        assert time.monotonic() < deadline, f"{count} subscribers never came"
        if socket.poll(100) and socket.recv()[:1] == b"\x01":
            count -= 1


def bound_probe(endpoint):
    """An XPUB socket at `endpoint` that tells each subscription."""
    socket = zmq.Context.instance().socket(zmq.XPUB)
    socket.setsockopt(zmq.XPUB_VERBOSE, 1)
    socket.setsockopt(zmq.LINGER, 2000)
    socket.bind(endpoint)
    return socket


def snippet():
    text = DOCS.read_text()
    return re.search(r"## A subscriber in Python.*?```python\n(.*?)```", text, re.S).group(1)


def read(endpoint, queue=None, stall=0.0):
    """A plain pyzmq subscriber: every message's header and codes, up to the
    end; `queue` and a `stall` after the first message make it slow."""
    socket = zmq.Context.instance().socket(zmq.SUB)
    if queue:
        socket.setsockopt(zmq.RCVHWM, queue)
    socket.setsockopt(zmq.SUBSCRIBE, b"E16/")
    socket.connect(endpoint)
    messages = []
    while socket.poll(8000):
        _, header, payload = socket.recv_multipart()
        h = json.loads(header)
        messages.append((h, np.frombuffer(payload, "<i2").reshape(h["kadrs"], len(h["channels"]))))
        if h["end"] is not None:
            break
        time.sleep(stall if len(messages) == 1 else 0)
    socket.close()
    return messages


def gaps(messages):
    return sum(b["first_kadr"] != a["first_kadr"] + a["kadrs"] for (a, _), (b, _) in zip(messages, messages[1:]))


def taken(subscription):
    """Every (header, codes) of a lintara.subscribe stream, up to its end."""
    with subscription as stream:
        return list(stream)


@needs_e16rec
def test_every_subscriber_takes_the_recording(tmp_path):
    endpoint = f"ipc://{tmp_path}/e16"
    source = started([E16REC, "--source", endpoint, "-o", str(tmp_path / "copy.h5"), "-q"])
    (tmp_path / "snippet.py").write_text(snippet())
    docs = started([sys.executable, str(tmp_path / "snippet.py"), endpoint])
    subscription, pool = lintara.subscribe(endpoint, timeout=8), ThreadPoolExecutor(3)
    fast, slow = pool.submit(read, endpoint), pool.submit(read, endpoint, queue=2, stall=2.0)
    subscribed = pool.submit(taken, subscription)
    # All five connected, then e16rec binds the same path; they connect
    # again within the 0.3 s it gives them.
    probe = bound_probe(endpoint)
    await_subscribers(probe, 5)
    probe.close(linger=0)
    publisher = subprocess.run([E16REC, "--address", "127.0.0.1", "-c", "0-31", "-r", str(RATE), "--inputs",
                                "se", "-t", str(SECONDS), "--publish", endpoint, "-o", str(tmp_path / "run.h5"),
                                "-q"], capture_output=True, text=True, timeout=60)
    assert publisher.returncode == 0, publisher.stderr
    assert f"publishing on {endpoint}\n" in publisher.stdout
    assert f"recorded {KADRS} of {KADRS} kadrs" in publisher.stdout
    with h5py.File(tmp_path / "run.h5", "r") as f:
        recorded, scale = f["codes"][:], f["codes"].attrs["codes_per_volt"][-1]
    assert recorded.shape == (KADRS, CHANNELS)
    # The simulator's Y16, the last column, ramps by 10 mV a kadr from -5 V in 1000 steps.
    steps = np.rint((recorded[:, -1] / scale + 5.0) / 0.01).astype(np.int64)
    assert list(np.flatnonzero(np.diff(steps) % 1000 != 1)) == [], "rows after which the ramp breaks"

    # Every fast subscriber holds every kadr, from kadr 0 on, in order.
    out, err = docs.communicate(timeout=30)
    assert docs.returncode == 0, err
    assert "gap" not in out.replace(", 0 gaps", "")
    assert out.splitlines()[-1] == f"end: complete; {KADRS} kadrs from E16/SIM0001, 0 gaps"
    pairs, fast = subscribed.result(30), fast.result(30)
    assert subscription.end == "complete" and subscription.gaps == 0
    assert all(h.missing == 0 and h.serial == "SIM0001" for h, _ in pairs)
    assert np.array_equal(np.concatenate([c for _, c in pairs]), recorded)
    assert gaps(fast) == 0 and fast[0][0]["first_kadr"] == 0
    assert fast[-1][0]["end"] == "complete" and fast[-1][0]["kadrs"] == 0
    assert np.array_equal(np.concatenate([c for _, c in fast]), recorded)
    assert [h["seq"] for h, _ in fast] == list(range(len(fast)))
    # As many messages as docs/stream.md says, within a factor of two.
    said = int(re.search(r"about (\d+)\s+messages a second", DOCS.read_text()).group(1))
    assert said / 2 < len(fast) / SECONDS < said * 2, f"{len(fast)} messages in {SECONDS} s"

    # The file of the stream is the publisher's, with its description and no gap.
    out, err = source.communicate(timeout=30)
    assert source.returncode == 0, err
    assert "stream: 0 gaps, 0 kadrs missing, 0 messages skipped" in out
    assert "the publisher ended: complete" in out
    with h5py.File(tmp_path / "copy.h5", "r") as f:
        codes = f["codes"]
        assert np.array_equal(codes[:], recorded)
        assert codes.attrs["first_kadr"] == 0 and codes.attrs["rate"] == RATE
        assert codes.attrs["serial"] == b"SIM0001" and codes.attrs["source"] == endpoint.encode()
        assert [n.decode() for n in codes.attrs["channel_names"]][-1] == "Y16"
        assert f["gaps"].shape == (0, 2)

    # The slow one lost messages while it stalled, saw the loss as a gap,
    # and what it took is whole, up to the end.
    slow = slow.result(30)
    assert gaps(slow) > 0, f"{len(slow)} messages, none lost"
    assert slow[-1][0]["end"] == "complete"
    for h, codes in slow:
        assert np.array_equal(codes, recorded[h["first_kadr"]:h["first_kadr"] + h["kadrs"]])


def message(seq, first, kadrs, serial="SIM0009", channels=("Y15", "Y16"), end=None,
            start="2026-01-01T00:00:00.000Z", scale=3276.7, ranges=None):
    header = {"serial": serial, "address": "127.0.0.9", "seq": seq, "first_kadr": first, "kadrs": kadrs,
              "channels": list(channels), "rate": 1000.0, "codes_per_volt": [scale] * len(channels),
              "start_time": start, "lost_kadrs": 0, "end": end, **({} if ranges is None else {"ranges": ranges})}
    codes = np.arange(first * len(channels), (first + kadrs) * len(channels)).astype("<i2")
    return [f"E16/{serial}".encode(), json.dumps(header).encode(), codes.tobytes()]


def malformed():
    """(frames, what a subscriber says), one row per fault: lintara's reader
    and e16rec's say the same, word for word."""
    good = message(1, 10, 4)
    header = json.loads(good[1])
    without_rate = {k: v for k, v in header.items() if k != "rate"}
    scales = 'header field "codes_per_volt" is not a list of numbers from 1e-30 to 1e30'
    count = "a whole number from 0 below 2^63, written without a point or an exponent"
    one = message(1, 10, 1, channels=("Y16",))
    return [
        (good[:2], "a message of 2 frames, not 3 (topic, header, codes)"),
        (good + [b"x"], "a message of 4 frames, not 3 (topic, header, codes)"),
        ([good[0], b'{"serial": "SIM0009",', good[2]], "bad JSON at byte 21: expected '\"'"),
        ([good[0], b"[1]", good[2]], "bad JSON at byte 0: expected '{'"),
        ([good[0], good[1][:-1] + b', "x": {"y": 1, "y": 2}}', good[2]],
         f"bad JSON at byte {len(good[1]) + 6}: an object inside the header"),
        ([good[0], good[1][:-1] + b', "x": [[1]]}', good[2]],
         f"bad JSON at byte {len(good[1]) + 7}: an array inside an array"),
        # json takes a lone surrogate, which no UTF-8 text holds.
        ([good[0], json.dumps({**header, "serial": "\ud800"}).encode(), good[2]],
         "bad JSON at byte 18: a high surrogate without its low one"),
        ([good[0], json.dumps({**header, "channels": ["Y15", "\udc00"]}).encode(), good[2]],
         "bad JSON at byte 113: a lone low surrogate"),
        ([good[0], good[1].replace(b'"seq": 1', b'"seq": 1, "seq": 1') + b" x", good[2]],
         f"bad JSON at byte {len(good[1]) + 11}: text after the object"),
        ([good[0], json.dumps(without_rate).encode(), good[2]], 'header has no field "rate"'),
        ([good[0], json.dumps({**header, "kadrs": -4}).encode(), good[2]], f'header field "kadrs" is not {count}'),
        ([good[0], json.dumps({**header, "first_kadr": 2**63 - 2}).encode(), good[2]],
         'header field "kadrs" is not a number that keeps first_kadr + kadrs below 2^63'),
        ([good[0], json.dumps({**header, "seq": 2**63}).encode(), good[2]],
         'header field "seq" is not a whole number from 0 below 2^63, written without a point or an exponent'),
        ([good[0], good[1].replace(b'"seq": 1', b'"seq": 1.0'), good[2]], f'header field "seq" is not {count}'),
        ([good[0], good[1].replace(b'"seq": 1', b'"seq": 1e0'), good[2]], f'header field "seq" is not {count}'),
        ([good[0], good[1].replace(b'"seq": 1', b'"seq": 1, "seq": 1'), good[2]],
         'the header repeats the key "seq"'),
        ([good[0], good[1].replace(b'127.0.0.9', b'127.0.0.\xff'), good[2]],
         "the header is not UTF-8 from byte 42"),
        ([good[0], json.dumps({**header, "rate": 1e-300}).encode(), good[2]],
         'header field "rate" is not kadrs per second from 0.001 to 500000'),
        ([good[0], json.dumps({**header, "codes_per_volt": [1]}).encode(), good[2]],
         'header field "codes_per_volt" is not one number per channel'),
        *(([good[0], json.dumps({**header, "codes_per_volt": [3200, scale]}).encode(), good[2]], scales)
          for scale in (1e300, 1e-300, 1e39, 3.5e38, 1e-46)),  # past a float32, or its 0
        ([good[0], json.dumps({**header, "end": ""}).encode(), good[2]],
         'header field "end" is not null, or a text that says why the recording ended'),
        ([good[0], json.dumps({**header, "channels": []}).encode(), good[2]],
         'header field "channels" is not a list of at least one channel'),
        ([good[0], json.dumps({**header, "channels": [1]}).encode(), good[2]],
         'header field "channels" is not an array of strings'),
        ([good[0], json.dumps({**header, "ranges": [0]}).encode(), good[2]],
         'header field "ranges" is not one range per channel'),
        *(([good[0], json.dumps({**header, "ranges": ranges}).encode(), good[2]],
           'header field "ranges" is not a list of range indexes: whole numbers from 0 to 32767, written without '
           'a point or an exponent') for ranges in ("ab", [0, 32768])),
        ([good[0], json.dumps({**header, "start_time": "2026-02-29T00:00:00.000Z"}).encode(), good[2]],
         'header field "start_time" is not a UTC time such as 2026-12-07T01:29:39.483Z, or empty'),
        ([good[0], json.dumps({**header, "backend": None}).encode(), good[2]],
         'header field "backend" is not a string'),
        ([good[0], good[1], good[2][:-2]], "a payload of 14 bytes for 4 kadrs of 2 channels (4 bytes a kadr)"),
        ([good[0], good[1], good[2] + bytes(4)], "a payload of 20 bytes for 4 kadrs of 2 channels (4 bytes a kadr)"),
        (message(2, 0, 4), "message 2 goes back to kadr 0 after kadr 9"),
        (message(2, 9, 4), "message 2 goes back to kadr 9 after kadr 9"),
        # Not beside the other payloads': e16rec counts a reason said before, "1 kadr" or "4 kadrs".
        ([one[0], one[1], one[2][:1]], "a payload of 1 byte for 1 kadr of 1 channel (2 bytes a kadr)"),
    ]


def publish(endpoint, rows, end="complete", last=20, ranges=None):
    """Binds, waits for the subscribers, sends the first good message, the
    malformed ones, then a good one after a gap (with `ranges`) and the end,
    at kadr `last`."""
    socket = bound_probe(endpoint)
    await_subscribers(socket, 1)
    socket.send_multipart(message(0, 0, 10))
    # Another module's messages on the endpoint, by their topic: passed over, no gap, no restart.
    socket.send_multipart(message(0, 0, 3, serial="SIM00090", channels=("X1",)))
    socket.send_multipart([b"E16/SIM0002", *message(1, 10, 4)[1:]])
    for frames, _ in rows:
        socket.send_multipart(frames)
    socket.send_multipart(message(1, 14, 6, ranges=ranges))
    socket.send_multipart(message(2, last, 0, end=end))
    socket.close()


LOST_4 = "the stream lost 4 kadrs in 1 gap; the file marks where"


@needs_e16rec
@pytest.mark.parametrize("args, end, last, said", [
    ([], "complete", 20, LOST_4),  # complete, but for its gap: a failure
    ([], "stopped by a signal", 20, LOST_4),  # a publisher run until Ctrl-C
    ([], "complete", 25, "the stream lost 9 kadrs in 2 gaps; the file marks where"),  # 20 to 24 missed at the end
    ([], "failed: No space left on device", 20,
     "the recording ended early: the publisher's recording ended: failed: No space left on device"),
    (["-n", "100"], "complete", 25, "the recording ended early: "
     "the publisher's recording ended (complete) after 16 of the 100 kadrs asked for"),
    (["-t", "0.1"], "stopped by a signal", 20, "the recording ended early: "
     "the publisher's recording ended (stopped by a signal) after 16 of the 100 kadrs asked for"),
])
def test_a_source_ends_as_its_publisher_did(tmp_path, args, end, last, said):
    endpoint = f"ipc://{tmp_path}/end"
    source = started([E16REC, "--source", endpoint, *args, "-o", str(tmp_path / "copy.csv"), "-q"])
    publish(endpoint, [], end=end, last=last)
    out, err = source.communicate(timeout=30)
    assert (source.returncode, err) == (1, f"e16rec: {said}\n")
    # Said once: in the end where it ended this recording early.
    assert (f"the publisher ended: {end}" in out) == ("the publisher's recording ended" not in said)
    assert "never came: " not in out  # kadrs the publisher never recorded
    # Every gap the summary counts is named there and kept in the file.
    last_gap = [f"# gap first_kadr 20, kadrs {last - 20}"] if last > 20 else []
    gaps = "1 gap" if last == 20 else "2 gaps"
    assert f"stream: {gaps}, {4 + last - 20} kadrs missing" in out
    assert (f"gap: kadrs 20 to {last - 1} never came" in out) == bool(last_gap)
    csv = (tmp_path / "copy.csv").read_text().splitlines()
    assert csv[2 + 10 + 1 + 6:] == last_gap
    assert len(csv) == 2 + 10 + 1 + 6 + len(last_gap)


@needs_e16rec
def test_a_source_checks_its_time_at_the_streams_rate(tmp_path):
    endpoint = f"ipc://{tmp_path}/short"
    source = started([E16REC, "--source", endpoint, "-t", "0.0004", "-o", str(tmp_path / "copy.csv"), "-q"])
    publish(endpoint, [])
    out, err = source.communicate(timeout=30)
    assert (source.returncode, err) == (1, "e16rec: --time: 0.0004 s at 1000 kadrs/s is less than one kadr; "
                                           "give more time or -n\n")
    assert not (tmp_path / "copy.csv").exists()


@needs_e16rec
@pytest.mark.parametrize("stop", [signal.SIGINT, signal.SIGTERM])
def test_a_source_says_it_waits_and_stops_on_a_signal(tmp_path, stop):
    endpoint = f"ipc://{tmp_path}/nobody"
    source = started([E16REC, "--source", endpoint, "-o", str(tmp_path / "copy.csv")])
    try:  # a source that waits in silence waits for ever
        assert select.select([source.stderr], [], [], 30)[0], "nothing said while waiting"
        assert source.stderr.readline() == f"e16rec: waiting for the first message from {endpoint}\n"
    finally:
        source.send_signal(stop)
    out, err = source.communicate(timeout=30)
    assert source.returncode == 128 + stop, err
    assert (out, err) == ("", f"e16rec: stopped by a signal before a message came from {endpoint}\n")
    assert not (tmp_path / "copy.csv").exists()


def ramp(seq, first, frames, end=None):
    """A message of the simulated module's Y16 alone, its frame ramp (-5 V +
    10 mV a frame, in 1000 steps) at `frames`, from kadr `first`."""
    topic, header, _ = message(seq, first, len(frames), channels=("Y16",), end=end)
    header = {**json.loads(header), "backend": "simulated module (test)", "ranges": [0], "codes_per_volt": [3200.0]}
    codes = np.rint((-5 + 0.01 * (np.asarray(frames, dtype=np.int64) % 1000)) * 3200).astype("<i2")
    return [topic, json.dumps(header).encode(), codes.tobytes()]


@needs_e16rec
def test_a_source_checks_the_ramp_past_the_streams_gaps(tmp_path):
    """A gap of the stream is not counted again as lost kadrs of the ramp;
    kadrs missing inside a message, which the stream cannot tell, are."""
    endpoint = f"ipc://{tmp_path}/ramp"
    source = started([E16REC, "--source", endpoint, "-o", "-", "-q"])
    socket = bound_probe(endpoint)
    await_subscribers(socket, 1)
    socket.send_multipart(ramp(0, 0, range(100)))
    after = 100 + 34043
    socket.send_multipart(ramp(1, after, [*range(after, after + 50), *range(after + 55, after + 100)]))
    socket.send_multipart(ramp(2, after + 95, [], end="complete"))
    socket.close()
    out, err = source.communicate(timeout=30)
    assert (source.returncode, err) == (1, "e16rec: the stream lost 34043 kadrs in 1 gap; the file marks where\n")
    assert "stream: 1 gap, 34043 kadrs missing" in out
    assert "Y16 ramp of the simulated module: 5 lost kadrs, 0 repeated kadrs" in out


@needs_e16rec
def test_a_slow_stream_is_not_taken_for_a_silent_one(tmp_path):
    """At 0.2 kadrs/s, a kadr a message, the second message comes 10.5 s
    after the first: within three messages' time, the first one's too."""
    endpoint = f"ipc://{tmp_path}/slow"
    source = started([E16REC, "--source", endpoint, "-o", "-", "-q"])
    socket = bound_probe(endpoint)
    await_subscribers(socket, 1)
    for seq, kadrs, end, pause in [(0, 1, None, 10.5), (1, 1, None, 0), (2, 0, "complete", 0)]:
        topic, header, codes = message(seq, seq, kadrs, end=end)
        socket.send_multipart([topic, json.dumps({**json.loads(header), "rate": 0.2}).encode(), codes])
        time.sleep(pause)
    socket.close()
    out, err = source.communicate(timeout=30)
    assert (source.returncode, err) == (0, "")
    assert "recorded 2 kadrs (10 s of data at 0.2 kadrs/s)" in out


def test_malformed_messages_are_named_and_passed(tmp_path):
    endpoint = f"ipc://{tmp_path}/bad"
    rows = malformed()
    subscription = lintara.subscribe(endpoint, timeout=5)
    sender = ThreadPoolExecutor(1).submit(publish, endpoint, rows, last=25)  # a second gap before the end
    taken, said = [], []
    with subscription:
        while True:
            try:
                taken.extend(next(subscription))
            except lintara.StreamError as error:
                said.append(str(error))
            except StopIteration:
                break
    sender.result()
    assert said == [want for _, want in rows]
    with pytest.raises(lintara.StreamError, match='^topic "E16/SIM0002" does not name serial "SIM0009"$'):
        lintara.parse_message([b"E16/SIM0002", *message(1, 10, 4)[1:]])
    headers = taken[0::2]
    assert [(h.first_kadr, h.kadrs, h.missing) for h in headers] == [(0, 10, 0), (14, 6, 4)]
    assert subscription.gaps == 2 and subscription.missing_kadrs == 9 and subscription.end == "complete"
    assert np.array_equal(taken[3], np.arange(28, 40, dtype=np.int16).reshape(6, 2))


@needs_e16rec
def test_a_source_names_and_skips_malformed_messages(tmp_path):
    endpoint = f"ipc://{tmp_path}/bad"
    rows = malformed()
    source = started([E16REC, "--source", endpoint, "-o", str(tmp_path / "copy.csv"), "-q"])
    publish(endpoint, rows)
    out, err = source.communicate(timeout=30)
    assert source.returncode == 1, err
    # Each reason said once; messages refused again for it are counted.
    *skipped, last = err.splitlines()
    assert last == f"e16rec: {LOST_4}" and all(f": {want}\n" in err for _, want in rows)
    assert all(line.startswith("e16rec: skipped ") for line in skipped) and len(skipped) < len(rows)
    assert f"stream: 1 gap, 4 kadrs missing, {len(rows)} messages skipped" in out
    assert "gap: kadrs 10 to 13 never came" in out
    csv = (tmp_path / "copy.csv").read_text().splitlines()
    assert csv[0].startswith("# serial SIM0009, address 127.0.0.9, start_time 2026-01-01T00:00:00.000Z, "
                             f"first_kadr 0, source {endpoint}")
    assert csv[1] == "time,Y15,Y16"
    assert csv[12] == "# gap first_kadr 10, kadrs 4"
    assert csv[13].startswith("0.0140000,")  # the time goes on after the gap
    assert len(csv) == 2 + 10 + 1 + 6


@needs_e16rec
def test_a_source_names_ten_gaps_and_counts_the_rest(tmp_path):
    endpoint = f"ipc://{tmp_path}/gaps"
    source = started([E16REC, "--source", endpoint, "-o", "-", "-q"])
    socket = bound_probe(endpoint)
    await_subscribers(socket, 1)
    for seq in range(12):  # a kadr each, one missing before all but the first
        socket.send_multipart(message(seq, 2 * seq, 1, end="complete" if seq == 11 else None))
    socket.close()
    out, err = source.communicate(timeout=30)
    assert (source.returncode, err) == (1, "e16rec: the stream lost 11 kadrs in 11 gaps; the file marks where\n")
    assert [line for line in out.splitlines() if line.startswith("gap: ")] == [
        f"gap: kadrs {k} to {k} never came" for k in range(1, 20, 2)]
    assert "... and 1 more gap\nstream: 11 gaps, 11 kadrs missing" in out


@needs_e16rec
@pytest.mark.parametrize("start, scale, changed", [
    ("2026-01-01T00:05:00.000Z", 3276.7, "start_time"),
    # Its scales another's: the volts of the one before would be wrong.
    ("2026-01-01T00:00:00.000Z", 800.0, "codes_per_volt"),
])
def test_a_source_ends_when_another_recording_takes_the_endpoint(tmp_path, start, scale, changed):
    """The publisher killed and another one started on the same endpoint:
    the recording followed ended without its last message."""
    endpoint = f"ipc://{tmp_path}/replaced"
    # Read as it comes: a subscriber takes up a new publisher's connection
    # only when its socket is used.
    subscription = lintara.subscribe(endpoint, timeout=10)
    reader = ThreadPoolExecutor(1).submit(taken, subscription)
    source = started([E16REC, "--source", endpoint, "-o", str(tmp_path / "copy.csv"), "-q"])
    (tmp_path / "snippet.py").write_text(snippet())
    docs = started([sys.executable, str(tmp_path / "snippet.py"), endpoint])
    killed = bound_probe(endpoint)
    await_subscribers(killed, 3)
    killed.send_multipart(message(0, 0, 10))
    killed.close()
    replacement = bound_probe(endpoint)
    await_subscribers(replacement, 3)
    for seq in range(50):
        replacement.send_multipart(message(seq, 10 * seq, 10, start=start, scale=scale))
    out, err = source.communicate(timeout=30)
    assert [h.first_kadr for h, _ in reader.result(30)] == [0]
    replacement.close()
    assert subscription.end == ("the publisher began another recording "
                                f"(SIM0009, 2 channels, started {start}; changed: {changed})")
    assert source.returncode == 1, err
    assert err == ("e16rec: the recording ended early: the publisher began another recording "
                   f"(SIM0009, 2 channels, started {start}; changed: {changed})\n")
    assert "recorded 10 kadrs" in out and "stream: 0 gaps, 0 kadrs missing, 0 messages skipped" in out
    assert len((tmp_path / "copy.csv").read_text().splitlines()) == 2 + 10
    assert docs.communicate(timeout=30)[1] == "the publisher began another recording after 10 kadrs\n"
    assert docs.returncode == 1


def test_a_subscription_cut_short_by_ctrl_c_goes_on_with_that_message(tmp_path, monkeypatch):
    endpoint = f"ipc://{tmp_path}/cut"
    parse = lintara._stream._parsed
    cuts = iter([KeyboardInterrupt])

    def cut(frames):  # Ctrl-C once, with the message taken off the socket
        for interrupt in cuts:
            raise interrupt
        return parse(frames)
    monkeypatch.setattr(lintara._stream, "_parsed", cut)
    with lintara.subscribe(endpoint, timeout=5) as stream:
        # Ranges are optional: one message with them and one without are one recording.
        sender = ThreadPoolExecutor(1).submit(publish, endpoint, [], ranges=[0, 0])
        with pytest.raises(KeyboardInterrupt):
            next(stream)
        got = list(stream)
        sender.result()
    assert [(header.first_kadr, header.missing) for header, _ in got] == [(0, 0), (14, 4)]
    header, codes = got[0]
    assert np.array_equal(header.volts(codes), codes / np.float64(np.float32(3276.7)))  # the readers' float32
    with pytest.raises(ValueError, match="^codes must hold one for each of the 2 selected channels, not 3 in"):
        header.volts(np.zeros((1, 3), np.int16))


@pytest.mark.parametrize("bound, last", [
    ({"kadrs": 12}, 2),
    ({"seconds": 0.0116}, 2),  # 11.6 kadrs' time: 12
    ({"seconds": 0.0125}, 3),  # 12.5: a half up, as record() and e16rec -t count
    # Less than one kadr, known at the first message: refused as record() refuses it.
    ({"seconds": 0.0004}, "seconds: 0.0004 s at 1000 kadrs/s is less than one kadr; give more time or kadrs"),
])
def test_subscribe_ends_at_the_kadrs_asked_for_or_a_silence(tmp_path, bound, last):
    endpoint = f"ipc://{tmp_path}/few"
    with lintara.subscribe(endpoint, timeout=5, **bound) as stream:
        sender = ThreadPoolExecutor(1).submit(publish, endpoint, [])
        if isinstance(last, str):
            with pytest.raises(ValueError, match=f"^{re.escape(last)}$"):
                next(stream)
            assert stream.closed and list(stream) == []
            last = None
        blocks = [codes for _, codes in stream]
        sender.result()
    assert [len(b) for b in blocks] == ([] if last is None else [10, last])
    with lintara.subscribe(f"ipc://{tmp_path}/none", timeout=0.2) as silent:
        with pytest.raises(TimeoutError, match="^" + re.escape(f"no message from ipc://{tmp_path}/none for 0.2 s") + "$"):
            next(silent)
    # Another module's messages, however many wait, do not put the timeout
    # off: passing 900 over takes longer than 1 ms.
    with lintara.subscribe(f"ipc://{tmp_path}/others", timeout=0.001) as flooded:
        publisher = bound_probe(f"ipc://{tmp_path}/others")
        await_subscribers(publisher, 1)
        for frames in [message(0, 0, 10), *[message(0, 0, 1, serial="SIM00090")] * 900, message(1, 10, 1)]:
            publisher.send_multipart(frames)
        time.sleep(0.3)  # all of them at the subscriber
        next(flooded)
        with pytest.raises(TimeoutError, match="^" + re.escape(
                f"no message from SIM0009 at ipc://{tmp_path}/others for 0.001 s; "
                "messages of other modules came (SIM00090)") + "$"):
            next(flooded)
        publisher.close()
    # Closed from another thread, or from a signal's handler on its own, a
    # waiting reader ends without an error; a second reader is refused.
    waiting = lintara.subscribe(f"ipc://{tmp_path}/none")
    reader = ThreadPoolExecutor(1).submit(list, waiting)
    time.sleep(0.3)
    with pytest.raises(RuntimeError, match="^a Subscription is read by one thread at a time$"):
        next(waiting)  # a second reader on its socket would abort the process
    waiting.close()
    assert waiting.closed and reader.result(timeout=5) == []
    alarmed = lintara.subscribe(f"ipc://{tmp_path}/none")
    before = signal.signal(signal.SIGALRM, lambda *_: alarmed.close())
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.3)
        assert list(alarmed) == [] and alarmed.closed
    finally:
        signal.signal(signal.SIGALRM, before)
    # One dropped without a close closes its socket as it goes.
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        lintara.subscribe(f"ipc://{tmp_path}/none")
        gc.collect()
    assert [str(w.message) for w in seen] == []
