"""The module address a host gives the driver, checked before it goes there
by the driver's own parser: the driver ignores text that is no address."""

import ipaddress

from . import _lintara


def checked_address(address):
    """``address`` (IPv4 text or an ``ipaddress.IPv4Address``) as the dotted
    text the driver takes; TypeError for another type, ValueError for text
    that is no module's address (0.0.0.0 included)."""
    takes = "a module's IPv4 address, as text or an ipaddress.IPv4Address"
    if not isinstance(address, (str, ipaddress.IPv4Address)):
        raise TypeError(f"address must be {takes}, not {type(address).__name__}")
    checked = _lintara.dotted_address(str(address))
    if checked is None:
        raise ValueError(f"address must be {takes}, not {str(address)!r}")
    if checked == "0.0.0.0":
        raise ValueError(f"address must be {takes}, not {str(address)!r}, which names no module")
    return checked
