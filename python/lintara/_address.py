"""Answering the driver's address chooser without asking anyone.

While ``answered(address)`` is active, the chooser the driver shows at
detection takes ``address``: its remembered list starts with it, no display is
offered and standard input is not a terminal, so the chooser takes its first
item without a window or a prompt. The list file, the display variables and
standard input are put back afterwards.
"""

import contextlib
import ipaddress
import os
from pathlib import Path

from . import _lintara

LIST_NAME = "iplist.txt"


def loaded_path(stem):
    """The file of a library mapped into this process whose name starts with
    ``stem``, as the kernel names it; None when there is none."""
    with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
        for line in maps:
            slash = line.find("/")
            if slash >= 0 and os.path.basename(line[slash:].rstrip("\n")).startswith(stem):
                return line[slash:].rstrip("\n")
    return None


def address_list_file(folder):
    """The address list the chooser of a driver in ``folder`` keeps: beside
    the driver, or in the user's config folder when the driver's folder is
    read-only."""
    folder = Path(folder)
    if os.access(folder, os.W_OK):
        return folder / LIST_NAME
    return Path(_lintara.store_path()).parent / LIST_NAME


@contextlib.contextmanager
def answered(address):
    """Within the block, the driver's address chooser answers ``address``
    (an IPv4 address as text or an ``ipaddress.IPv4Address``)."""
    text = str(ipaddress.IPv4Address(str(address)))
    driver = _lintara.loaded_driver()
    if not driver:
        raise RuntimeError("the driver is not loaded")
    list_file = address_list_file(Path(driver).parent)
    saved = list_file.read_bytes() if list_file.is_file() else None
    list_file.parent.mkdir(parents=True, exist_ok=True)
    list_file.write_bytes(text.encode("ascii") + b"\r\n" + (saved or b""))
    hidden = {name: os.environ.pop(name) for name in ("DISPLAY", "WAYLAND_DISPLAY") if name in os.environ}
    stdin = os.dup(0)
    null = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null, 0)
    os.close(null)
    try:
        yield
    finally:
        os.dup2(stdin, 0)
        os.close(stdin)
        os.environ.update(hidden)
        if saved is None:
            list_file.unlink(missing_ok=True)
        else:
            list_file.write_bytes(saved)
