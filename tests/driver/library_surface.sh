#!/bin/sh
# Fails when the library exports more than its four entry points, or when it,
# or any library it pulls in, needs Qt. The list must hold the component
# runtime, so an empty or failed listing cannot pass.
exports=$(nm -D --defined-only "$1" | awk '{ print $3 }' | sort | tr '\n' ' ') || exit 1
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
    { echo "exports: $exports"; exit 1; }
libraries=$(ldd "$1") || exit 1
echo "$libraries" | grep -q 'libcomrt\.so' || { echo "libcomrt.so missing from the list"; exit 1; }
if echo "$libraries" | grep -i 'libqt'; then
    echo "$1 needs Qt"
    exit 1
fi
