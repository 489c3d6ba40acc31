#!/bin/sh
# Fails when the library, or any library it pulls in, needs Qt. The list must
# hold the component runtime, so an empty or failed listing cannot pass.
libraries=$(ldd "$1") || exit 1
echo "$libraries"
echo "$libraries" | grep -q 'libcomrt\.so' || { echo "libcomrt.so missing from the list"; exit 1; }
if echo "$libraries" | grep -i 'libqt'; then
    echo "$1 needs Qt"
    exit 1
fi
