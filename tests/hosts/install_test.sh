#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as a user and a host
# programmer would: e16scope installs with its desktop entry, the installed e16rec records through the installed driver
# (not the build's, though the build's was registered last), the tree still
# works once moved elsewhere, e16rec's run tests pass on the installed
# program, the example host builds against the package with CMake and with
# pkg-config (in a prefix whose name has a space), then records, and the
# moved Python package records too.
#   install_test.sh BUILD_DIR SANITIZER [PYTHON PACKAGE_DIR]
set -euo pipefail
build=$1
sanitizer=${2:-}
python=${3:-}
package=${4:-} # relative to the prefix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
unset DISPLAY WAYLAND_DISPLAY LINTARA_DRIVER
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/e16rec bin/comrt-reg bin/comrt-register lib/libcomrt.so lib/velmora/Lintara.adc \
         lib/velmora/libe16sim.so include/velmora/interfaces.h include/velmora/e16sim_control.h \
         lib/cmake/Velmora/VelmoraConfig.cmake \
         lib/pkgconfig/velmora.pc share/man/man1/e16rec.1 share/man/man1/comrt-reg.1 \
         bin/e16scope share/applications/e16scope.desktop share/man/man1/e16scope.1 \
         share/doc/Lintara/sim/README.md; do
  [ -e "$work/prefix/$f" ] || fail "$f was not installed"
done
grep -q "±10 V full" "$work/prefix/share/man/man1/e16rec.1" || fail "e16rec.1 lost the ± of its help"
# The installed README's links and pictures resolve beside it.
doc=$work/prefix/share/doc/Lintara
for link in $(grep -o '](docs/[^)]*)' "$doc/README.md" | sed 's/^](//; s/)$//' | sort -u); do
  [ -e "$doc/$link" ] || fail "the installed README links $link, which is not there"
done
if readelf -d "$work/prefix/bin/e16rec" "$work/prefix/bin/e16scope" "$work/prefix/lib/velmora/Lintara.adc" \
  ${package:+"$work/prefix/$package"/lintara/_lintara*.so} |
  grep -q "$build"; then
  fail "an installed RUNPATH names the build folder"
fi

# The build's driver registered, then the installed e16rec: it says so and
# takes its own.
"$build/bin/comrt-register" "$build/bin/Lintara.adc" >/dev/null
record() { (cd "$work" && "$1/bin/e16rec" -t 0.1 -q -o - </dev/null 2>"$work/err"); }
out=$(record "$work/prefix")
grep -q "^module: SIM0001 (E16 rev. A), simulated module ($work/prefix/lib/velmora/libe16sim.so), version " <<<"$out" ||
  fail "installed e16rec: $out"
grep -q "the store names the driver .*, not this one; registering $work/prefix/lib/velmora/Lintara.adc" "$work/err" ||
  fail "no word on the other driver: $(cat "$work/err")"
mv "$work/prefix" "$work/moved"
out=$(record "$work/moved")
grep -q "^module: SIM0001 (E16 rev. A), simulated module ($work/moved/lib/velmora/libe16sim.so), version " <<<"$out" ||
  fail "moved tree: $out"
grep -q "registered driver $work/prefix/lib/velmora/Lintara.adc is gone" "$work/err" ||
  fail "no word on the gone driver: $(cat "$work/err")"

# Sanitizer builds stop here: their installed e16rec is the build's own,
# whose run tests already passed, and a plain program cannot load their
# libraries.
[ -z "$sanitizer" ] || exit 0

# The recorder's own tests, run on the installed program.
(cd "$build/bin" && E16REC="$work/moved/bin/e16rec" ./e16rec_run_test >"$work/run_test" 2>&1) ||
  fail "e16rec_run_test on the installed e16rec:
$(grep -A30 ': Failure$' "$work/run_test"; grep '^\[  FAILED' "$work/run_test")"

# A host built against the package.
example=$work/moved/share/doc/Lintara/examples/record_volts
cmake -G Ninja -S "$example" -B "$work/example" -DCMAKE_PREFIX_PATH="$work/moved" >/dev/null
cmake --build "$work/example" >/dev/null
rows=$(cd "$work" && "$work/example/record_volts" 5 </dev/null 2>/dev/null)
[ "$(wc -l <<<"$rows")" -eq 5 ] || fail "CMake-built example printed: $rows"
cp -r "$example" "$work/bypc"
ln -s moved "$work/a prefix" # pkg-config's flags then hold a space
PKG_CONFIG_PATH="$work/a prefix/lib/pkgconfig" make -s -C "$work/bypc" >/dev/null
rows=$(cd "$work" && "$work/bypc/record_volts" 3 127.0.0.2 </dev/null 2>"$work/err")
[ "$(wc -l <<<"$rows")" -eq 3 ] || fail "pkg-config-built example printed: $rows"
grep -q "module SIM0002" "$work/err" || fail "the example at 127.0.0.2: $(cat "$work/err")"
# What it cannot take it refuses, rather than record something else.
for refused in "2 localhost|'localhost' is no address such as 127.0.0.1" \
               "2x|N must be a number of kadrs from 1 to 1000000"; do
  args=${refused%%|*}
  if (cd "$work" && "$work/bypc/record_volts" $args </dev/null >/dev/null 2>"$work/err"); then
    fail "the example took $args"
  fi
  [ "$(cat "$work/err")" = "record_volts: ${refused#*|}" ] || fail "the example on $args: $(cat "$work/err")"
done

# A registered driver whose file is gone: the example says what to do.
driver=$work/moved/lib/velmora/Lintara.adc
"$build/bin/comrt-register" "$driver" >/dev/null && mv "$driver" "$driver.away"
(cd "$work" && "$work/bypc/record_volts" 2 </dev/null >/dev/null 2>"$work/err") && fail "the example ran without its driver"
mv "$driver.away" "$driver"
[ "$(cat "$work/err")" = "record_volts: the registered driver file is gone or cannot be loaded (0x800401F8): \
register it again with comrt-register" ] || fail "the example without its driver: $(cat "$work/err")"

# The package imports from the moved prefix and loads its libcomrt.so and
# driver, though the build's was registered last, and says so.
[ -n "$python" ] || exit 0
"$build/bin/comrt-register" "$build/bin/Lintara.adc" >/dev/null
(cd "$work" && PYTHONPATH="$work/moved/$package" "$python" - "$work/moved" 2>"$work/err") <<'PY' ||
import sys
import lintara
moved = sys.argv[1]
assert lintara.driver_path() == moved + "/lib/velmora/Lintara.adc", lintara.driver_path()
with lintara.Driver() as e16:
    assert e16.test("127.0.0.1"), e16.last_error
    assert e16.backend.startswith(f"simulated module ({moved}/lib/velmora/libe16sim.so), version "), e16.backend
    e16.channels = [0, 31]
    assert e16.record(kadrs=100).shape == (100, 2)
assert moved + "/lib/libcomrt.so" in open("/proc/self/maps").read()
assert lintara._lintara.registered_driver() == moved + "/lib/velmora/Lintara.adc"
PY
  fail "the moved Python package: $(tail -5 "$work/err")"
grep -q "RuntimeWarning: lintara: the store names the driver .*, not this one; registering $work/moved/lib/velmora/Lintara.adc" "$work/err" ||
  fail "no word from the Python package on the other driver: $(cat "$work/err")"
echo "install_test: passed"
