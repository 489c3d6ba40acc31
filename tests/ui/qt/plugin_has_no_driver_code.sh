#!/bin/sh
# The plug-in reaches the driver only through the interfaces the driver
# hands it. Fails when it defines any code of the driver's own: its engine,
# device, outputs, digital I/O or settings, the setup dialog's models, the
# driver's process-wide state (the shared record, the service's choice).
# The listing must hold the entry point and the setup window, demangled, so
# an empty or failed one cannot pass.
symbols=$(nm -C --defined-only "$1") || exit 1
echo "$symbols" | grep -q 'LintaraCreateQtDialogs' || { echo "no symbols read from $1"; exit 1; }
echo "$symbols" | grep -q 'velmora::ui::dlgSetup::' || { echo "no demangled setup window in $1"; exit 1; }
forbidden='velmora::(engine|device|output|dio|settings|driver)::'
forbidden="$forbidden|velmora::ui::(dlgSetupModel|ucGeneralModel|ucADCModel|ucDACModel|ucDIOModel)::"
forbidden="$forbidden|velmora::ui::(CurrentDialogs|SetDialogs)\\("
if echo "$symbols" | grep -E "$forbidden"; then
    echo "$1 has its own copy of the driver's code above"
    exit 1
fi
