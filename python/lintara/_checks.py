"""Arguments checked before anything reaches the driver, which would take a
wrong one in silence or fail later: ValueError for a value out of range,
TypeError for a wrong type, each naming the argument and what it takes."""

import collections.abc
import difflib
import math
import numbers
import sys

import numpy as np

from . import _lintara

CHANNELS = 32  # logical channels 0..31
SELECTION_MAX = _lintara.channel_table_entries  # the module channel table's entries; a channel may repeat
MAX_SAMPLES = 500000.0  # per second, over all channels of a kadr
LONG_MAX = 2**31 - 1  # the driver's counts of samples


def is_int(value):
    return isinstance(value, numbers.Integral) and not isinstance(value, bool)


def is_number(value):
    return isinstance(value, numbers.Real) and not isinstance(value, bool)


class NoNewAttributes:
    """Refuses to set a public attribute its class does not have: a
    misspelt setting (``e16.chanels = ...``) would be kept and do nothing."""

    __slots__ = ()

    def __setattr__(self, name, value):
        cls = type(self)
        if not name.startswith("_") and not hasattr(cls, name) and name not in getattr(
                cls, "__dataclass_fields__", {}):
            known = [n for n in dir(cls) if not n.startswith("_")] + list(getattr(cls, "__dataclass_fields__", {}))
            close = difflib.get_close_matches(name, known, 1)
            raise AttributeError(f"lintara.{cls.__name__} has no attribute {name!r}"
                                 + (f"; did you mean {close[0]!r}?" if close else ""))
        super().__setattr__(name, value)


def counted(n, noun):
    """``n`` and the noun, singular for one: "1 channel", "3 channels"."""
    return f"{n} {noun}" + ("" if n == 1 else "s")


def _out_of_range(name, takes, value):
    raise ValueError(f"{name} must be {takes}, not {value!r}")


def _wrong_type(name, takes, value):
    raise TypeError(f"{name} must be {takes}, not {type(value).__name__}")


def positive_int(name, value):
    """``value`` as an int of at least 1."""
    takes = "a positive int"
    if not is_int(value):
        _wrong_type(name, takes, value)
    if value < 1:
        _out_of_range(name, takes, value)
    return int(value)


def positive_int_or_none(name, value):
    """None, or ``value`` as an int of at least 1."""
    takes = "a positive int or None"
    if value is None:
        return None
    if not is_int(value):
        _wrong_type(name, takes, value)
    if value < 1:
        _out_of_range(name, takes, value)
    return int(value)


def seconds(name, value, none_too=False):
    """``value`` as a finite float above 0 (or None with ``none_too``)."""
    takes = "None or a number of seconds above 0" if none_too else "a number of seconds above 0"
    if value is None and none_too:
        return None
    if not is_number(value):
        _wrong_type(name, takes, value)
    if not (value > 0 and math.isfinite(value)):
        _out_of_range(name, takes, value)
    return float(value)


def kadrs_in(name, duration, rate):
    """The kadrs of ``duration`` seconds at ``rate`` kadrs/s: e16rec's rule
    (hosts/kit KadrsIn), the nearest whole number, a half up, of the decimal
    typed. The binary product may fall a few ulps short of it (0.5105 s at
    1000 is 510.49999999999994), so those last bits are forgiven. Less than
    one is refused; more than 2^63 is taken as 2^63, which no recording
    reaches."""
    count = math.floor(min(duration * rate * (1 + 4 * sys.float_info.epsilon), 2.0**63) + 0.5)
    if count < 1:
        raise ValueError(f"{name}: {duration:g} s at {rate:g} kadrs/s is less than one kadr; "
                         "give more time or kadrs")
    return count


def flag(name, value):
    """``value`` as a bool: True or False (a numpy bool too)."""
    if not isinstance(value, (bool, np.bool_)):
        _wrong_type(name, "True or False", value)
    return bool(value)


def integer(name, value, low=None, high=None):
    """``value`` as an int, in low..high when they are given."""
    takes = "an int" if low is None else f"an int in {low}..{high}"
    if not is_int(value):
        _wrong_type(name, takes, value)
    if low is not None and not low <= value <= high:
        _out_of_range(name, takes, value)
    return int(value)


def finite(name, value):
    """``value`` as a finite float."""
    takes = "a finite number"
    if not is_number(value):
        _wrong_type(name, takes, value)
    if not math.isfinite(value):
        _out_of_range(name, takes, value)
    return float(value)


def channel(name, value):
    """``value`` as a logical channel number."""
    takes = f"an int in 0..{CHANNELS - 1}"
    if not is_int(value):
        _wrong_type(name, takes, value)
    if not 0 <= value < CHANNELS:
        _out_of_range(name, takes, value)
    return int(value)


# Iterables that are no sequence of numbers: text, and the unordered ones
# (a set's order is not the one written, a dict's items are its keys).
_NOT_A_SEQUENCE = (str, bytes, set, frozenset, collections.abc.Mapping)


def channel_list(name, values):
    """``values`` (any ordered iterable of channel numbers) as a list."""
    takes = f"a sequence of ints in 0..{CHANNELS - 1}"
    if isinstance(values, _NOT_A_SEQUENCE):
        _wrong_type(name, takes, values)
    try:
        values = list(values)
    except TypeError:
        _wrong_type(name, takes, values)
    _each_int(name, values, CHANNELS)
    if not values:
        raise ValueError(f"{name} must hold at least one channel")
    if len(values) > SELECTION_MAX:
        raise ValueError(f"{name} must hold at most {SELECTION_MAX} entries, the module's channel table, "
                         f"not {len(values)}")
    return [int(value) for value in values]


def range_list(value, channels, ranges):
    """``value`` (one range index for every channel, or a sequence of one
    per channel) as a list of indexes below ``ranges``, one for each of the
    selected ``channels``; a channel selected twice has one range."""
    if is_int(value):
        values = [value] * len(channels)
    elif isinstance(value, _NOT_A_SEQUENCE) or not hasattr(value, "__iter__"):
        _wrong_type("ranges", f"an int in 0..{ranges - 1} or a sequence of them", value)
    else:
        values = list(value)
    _each_int("ranges", values, ranges)
    if len(values) != len(channels):
        raise ValueError(f"{counted(len(values), 'range')} for {counted(len(channels), 'channel')}")
    taken = {}
    for channel, index in zip(channels, values):
        if taken.setdefault(channel, index) != index:
            raise ValueError(f"channel {channel} is selected twice, with ranges {taken[channel]} and {index}: "
                             "a channel has one range")
    return [int(value) for value in values]


def codes(values, channels):
    """``values`` (codes of ``channels`` channels: an array of kadrs x
    channels, or one kadr) as a numpy array of integers; volts, or numbers
    past 16 bits, are no codes and would convert to nonsense."""
    array = np.asarray(values)
    if not np.issubdtype(array.dtype, np.integer):
        kind = type(values).__name__ if array.ndim == 0 else f"an array of {array.dtype.name}"
        raise TypeError(f"codes must be int16 codes, not {kind}")
    if array.dtype != np.int16 and array.size and (array.min() < -32768 or array.max() > 32767):
        raise ValueError(f"codes must be int16 codes, -32768..32767, not {array.min()}..{array.max()}")
    if array.shape[-1:] != (channels,):
        given = f"{array.shape[-1]} in each kadr" if array.ndim else "a single number"
        raise ValueError(f"codes must hold one for each of the {channels} selected channels, not {given}")
    return array


def _each_int(name, values, count):
    for value in values:
        if not is_int(value):
            raise TypeError(f"{name} must hold ints in 0..{count - 1}, not {type(value).__name__}")
        if not 0 <= value < count:
            raise ValueError(f"{name} must hold ints in 0..{count - 1}, not {value!r}")


# The least rate above 0 the driver's Single holds.
_LEAST_SINGLE = float(np.nextafter(np.float32(0), np.float32(1)))


def rate(value, channels):
    """``value`` as kadrs per second for a kadr of ``channels`` channels;
    one below what the driver's Single holds as the least it holds, which
    the driver takes as its slowest (0 would be no rate)."""
    high = MAX_SAMPLES / max(1, channels)
    # Written down, not rounded up past it: 166666.666 for 3 channels, not 166667.
    shown = math.floor(high * 1000) / 1000
    takes = f"a number of kadrs/s above 0 and at most {shown:.10g} for {counted(channels, 'channel')}"
    if not is_number(value):
        _wrong_type("rate", takes, value)
    if not 0 < value <= high:
        _out_of_range("rate", takes, value)
    return max(float(value), _LEAST_SINGLE)


def serial(value):
    """``value`` as a module serial number, without blanks around."""
    takes = "a module's serial number, a non-empty str"
    if not isinstance(value, str):
        _wrong_type("serial", takes, value)
    text = value.strip(" ")
    if not text or "\\" in text:
        _out_of_range("serial", takes, value)
    return text
