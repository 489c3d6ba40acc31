#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves it, and uses the moved
# package as a user would: it imports from the prefix's Python folder, loads
# libcomrt.so and the driver of the moved tree (not the build's, though the
# build's was registered last), and records from the simulated module.
#   install_test.sh BUILD_DIR PYTHON PACKAGE_DIR
set -euo pipefail
build=$1
python=$2
package=$3 # relative to the prefix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
unset DISPLAY WAYLAND_DISPLAY LINTARA_DRIVER
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
ls "$work/prefix/$package"/lintara/_lintara*.so "$work/prefix/$package"/lintara/__init__.py >/dev/null ||
  fail "the package was not installed in $package"
if readelf -d "$work/prefix/$package"/lintara/_lintara*.so | grep -q "$build"; then
  fail "the installed extension's RUNPATH names the build folder"
fi
"$build/bin/comrt-register" "$build/bin/Lintara.adc" >/dev/null
mv "$work/prefix" "$work/moved"
cd "$work"
PYTHONPATH="$work/moved/$package" "$python" - "$work/moved" </dev/null 2>/dev/null <<'PY' || fail "the moved package did not record"
import sys
import lintara
moved = sys.argv[1]
assert lintara.driver_path() == moved + "/lib/velmora/Lintara.adc", lintara.driver_path()
with lintara.Driver() as e16:
    assert e16.test("127.0.0.1"), e16.last_error
    assert e16.backend == f"simulated module ({moved}/lib/velmora/libe16sim.so)", e16.backend
    e16.channels = [0, 31]
    assert e16.record(kadrs=100).shape == (100, 2)
maps = open("/proc/self/maps").read()
assert moved + "/lib/libcomrt.so" in maps
assert lintara._lintara.registered_driver() == moved + "/lib/velmora/Lintara.adc"
PY
echo "install_test: passed"
