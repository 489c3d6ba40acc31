#!/bin/sh
# The plug-in must reach the driver's process-wide state only through what
# the Dialogs interface hands it. Fails when it carries its own copy of that
# state's code: the shared record, the vendor table, the service's choice.
symbols=$(nm -C --defined-only "$1") || exit 1
echo "$symbols" | grep -q 'LintaraCreateQtDialogs' || { echo "no symbols read from $1"; exit 1; }
if echo "$symbols" | grep -E 'velmora::driver::|velmora::device::VendorApi::Process|velmora::ui::(CurrentDialogs|SetDialogs)'; then
    echo "$1 has its own copy of the driver's process-wide state"
    exit 1
fi
