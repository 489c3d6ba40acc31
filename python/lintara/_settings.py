"""The driver's stored settings that its host interfaces do not carry: the
channel table (what each logical channel measures) and the waveform
generator of the analog outputs.

They live in the registry store under HKEY_CURRENT_USER\\Software\\Tervan\\ADC\\L-Card\\E16
(the module-independent key) and its sub-key per module serial number. The
driver reads them when a driver object is first created and when it detects
a module, and writes its own copy back when its last object is released, so
they can be changed only while no Driver of this process is open.
"""

import enum
import struct
from dataclasses import dataclass, field

from . import _checks, _lintara
from ._errors import DriverError

SETTINGS_KEY = "Software\\Tervan\\ADC\\L-Card\\E16"
REG_BINARY = 3
REG_DWORD = 4

# Bounds the driver holds a stored generator setting to; it loads a value
# outside them as 0 (100 Hz for the frequency).
CODE_MIN, CODE_MAX = -32000, 32000
FREQUENCY_MIN, FREQUENCY_MAX = 0.5, 100000.0
CODES_PER_VOLT = 3200.0


class Waveform(enum.IntEnum):
    """What an analog output plays while the generator runs, as stored."""

    OFF = 0
    DC = 1
    NOISE = 2
    SINE = 3
    PULSE = 4
    RAMP = 5
    TRIANGLE = 6


@dataclass
class Wave(_checks.NoNewAttributes):
    """One analog output's waveform: its kind, amplitude and baseline in
    output codes (3200 codes per volt, -32000..32000) and its phase as a
    fraction of a period (0 <= phase < 1)."""

    kind: Waveform = Waveform.OFF
    amplitude: int = 0
    baseline: int = 0
    phase: float = 0.0

    def check(self):
        """Raises ValueError for a value the driver would not take, TypeError
        for one of the wrong type."""
        if not _checks.is_int(self.kind):
            raise TypeError(f"kind must be a lintara.Waveform, not {type(self.kind).__name__}")
        if not 0 <= self.kind < len(Waveform):
            raise ValueError(f"kind {self.kind!r} is not a lintara.Waveform")
        for name in ("amplitude", "baseline"):
            value = getattr(self, name)
            if not _checks.is_int(value):
                raise TypeError(f"{name} must be an int, not {type(value).__name__}")
            if not CODE_MIN <= value <= CODE_MAX:
                raise ValueError(f"{name} {value} is not a code in {CODE_MIN}..{CODE_MAX}")
        if not _checks.is_number(self.phase):
            raise TypeError(f"phase must be a number, not {type(self.phase).__name__}")
        if not 0.0 <= self.phase < 1.0:
            raise ValueError(f"phase {self.phase} is not in [0, 1)")


@dataclass
class Generator(_checks.NoNewAttributes):
    """The waveform generator's settings: one frequency in hertz
    (0.5..100000) shared by both outputs and one Wave per output."""

    frequency: float = 100.0
    waves: list = field(default_factory=lambda: [Wave(), Wave()])

    def check(self):
        """Raises ValueError for a value the driver would not take, TypeError
        for one of the wrong type."""
        if not _checks.is_number(self.frequency):
            raise TypeError(f"frequency must be a number, not {type(self.frequency).__name__}")
        if not FREQUENCY_MIN <= self.frequency <= FREQUENCY_MAX:
            raise ValueError(f"frequency {self.frequency} Hz is not in {FREQUENCY_MIN}..{FREQUENCY_MAX}")
        if not isinstance(self.waves, (list, tuple)) or not all(isinstance(w, Wave) for w in self.waves):
            raise TypeError("waves must be a list of lintara.Wave")
        if len(self.waves) != 2:
            raise ValueError("the module has two analog outputs: give two waves")
        for wave in self.waves:
            wave.check()


def _refuse_while_open():
    if _lintara.Session.open_count() > 0:
        raise DriverError("close every Driver first: the driver writes its own settings back when released")


def _module_key(serial):
    return SETTINGS_KEY + "\\" + _checks.serial(serial)


def known_modules():
    """Serial numbers of the modules the store keeps settings for (the driver
    adds one when it is released after detecting a module)."""
    return _lintara.store_subkeys(SETTINGS_KEY)


def store_inputs(single_ended=True):
    """Stores the channel table, in one transaction, for the driver and every
    module it has seen: logical channel k measures X1..X16, Y1..Y16 against
    ground (``single_ended``) or XY1..XY16 differentially. Takes effect when
    the next Driver is created."""
    single_ended = _checks.flag("single_ended", single_ended)
    _refuse_while_open()
    _lintara.store_channel_table(single_ended)


def _double(value):
    return struct.pack("<d", value)


def _dword(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def store_generator(generator, serial):
    """Stores ``generator`` for the module with that serial number, in one
    transaction. The driver loads it when it next detects that module."""
    if not isinstance(generator, Generator):
        raise TypeError(f"generator must be a lintara.Generator, not {type(generator).__name__}")
    generator.check()
    key = _module_key(serial)
    _refuse_while_open()
    writes = [(key, "DACChRate", REG_BINARY, _double(generator.frequency))]
    for n, wave in enumerate(generator.waves, start=1):
        writes += [
            (key, f"DACChType{n}", REG_DWORD, _dword(int(wave.kind) & 0xFFFF)),
            (key, f"DACChAmp{n}", REG_DWORD, _dword(int(wave.amplitude))),
            (key, f"DACChBase{n}", REG_DWORD, _dword(int(wave.baseline))),
            (key, f"DACChPhase{n}", REG_BINARY, _double(wave.phase)),
        ]
    _lintara.store_write(writes)


def _read(key, name, kind):
    found = _lintara.store_value(key, name)
    if found is None:
        return None
    value_type, data = found
    if kind == "double" and value_type == REG_BINARY and len(data) == 8:
        return struct.unpack("<d", data)[0]
    if kind in ("long", "integer") and value_type == REG_DWORD and len(data) == 4:
        value = struct.unpack("<i", data)[0]
        return struct.unpack("<h", struct.pack("<H", value & 0xFFFF))[0] if kind == "integer" else value
    return None


def stored_generator(serial):
    """The generator settings stored for a module, as the driver would load
    them into a fresh state; None when the store has no key for it."""
    key = _module_key(serial)
    if _checks.serial(serial).lower() not in (known.lower() for known in known_modules()):
        return None
    frequency = _read(key, "DACChRate", "double")
    generator = Generator()
    if frequency is not None:
        generator.frequency = frequency if FREQUENCY_MIN <= frequency <= FREQUENCY_MAX else 100.0
    for n, wave in enumerate(generator.waves, start=1):
        kind = _read(key, f"DACChType{n}", "integer")
        wave.kind = Waveform(kind) if kind is not None and 0 <= kind < len(Waveform) else Waveform.OFF
        for name, value_name in (("amplitude", "DACChAmp"), ("baseline", "DACChBase")):
            value = _read(key, f"{value_name}{n}", "long")
            setattr(wave, name, value if value is not None and CODE_MIN <= value <= CODE_MAX else 0)
        phase = _read(key, f"DACChPhase{n}", "double")
        wave.phase = phase if phase is not None and 0.0 <= phase < 1.0 else 0.0
    return generator
