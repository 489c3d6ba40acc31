"""The module address a host gives the driver, checked before it goes there:
the driver ignores text that is no address."""

import ipaddress


def checked_address(address):
    """``address`` (IPv4 text or an ``ipaddress.IPv4Address``) as the dotted
    text the driver takes; ValueError for anything else."""
    try:
        checked = ipaddress.IPv4Address(str(address))
    except ValueError:
        raise ValueError(f"{address!r} is not an IPv4 address") from None
    if checked.is_unspecified:
        raise ValueError(f"{address!r} names no module")
    return str(checked)
