#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as a user and a host
# programmer would: e16scope installs with its desktop entry, the installed e16rec records through the installed driver
# (not the build's, though the build's was registered last), the tree still
# works once moved elsewhere, e16rec's run tests pass on the installed
# program, and the example host builds against the package with CMake and
# with pkg-config, then records.
#   install_test.sh BUILD_DIR SANITIZER
set -euo pipefail
build=$1
sanitizer=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
unset DISPLAY WAYLAND_DISPLAY
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/e16rec bin/comrt-reg bin/comrt-register lib/libcomrt.so lib/velmora/Lintara.adc \
         lib/velmora/libe16sim.so include/velmora/interfaces.h lib/cmake/Velmora/VelmoraConfig.cmake \
         lib/pkgconfig/velmora.pc share/man/man1/e16rec.1 share/man/man1/comrt-reg.1 \
         bin/e16scope share/applications/e16scope.desktop share/man/man1/e16scope.1; do
  [ -e "$work/prefix/$f" ] || fail "$f was not installed"
done
if readelf -d "$work/prefix/bin/e16rec" "$work/prefix/bin/e16scope" "$work/prefix/lib/velmora/Lintara.adc" |
  grep -q "$build"; then
  fail "an installed RUNPATH names the build folder"
fi

# The build's driver registered, then the installed e16rec: it says so and
# takes its own.
"$build/bin/comrt-register" "$build/bin/Lintara.adc" >/dev/null
record() { (cd "$work" && "$1/bin/e16rec" -t 0.1 -q -o - </dev/null 2>"$work/err"); }
out=$(record "$work/prefix")
grep -q "^module: simulated module ($work/prefix/lib/velmora/libe16sim.so)" <<<"$out" || fail "installed e16rec: $out"
grep -q "is not the one beside this program; registering $work/prefix/lib/velmora/Lintara.adc" "$work/err" ||
  fail "no word on the other driver: $(cat "$work/err")"
mv "$work/prefix" "$work/moved"
out=$(record "$work/moved")
grep -q "^module: simulated module ($work/moved/lib/velmora/libe16sim.so)" <<<"$out" || fail "moved tree: $out"
grep -q "registered driver $work/prefix/lib/velmora/Lintara.adc is gone" "$work/err" ||
  fail "no word on the gone driver: $(cat "$work/err")"

# The recorder's own tests, run on the installed program.
(cd "$build/bin" && E16REC="$work/moved/bin/e16rec" ./e16rec_run_test >"$work/run_test" 2>&1) ||
  fail "e16rec_run_test on the installed e16rec: $(tail -20 "$work/run_test")"

# A host built against the package; sanitizer builds leave this out, as a
# plain program cannot load their libraries.
[ -z "$sanitizer" ] || exit 0
example=$work/moved/share/doc/Lintara/examples/record_volts
cmake -G Ninja -S "$example" -B "$work/example" -DCMAKE_PREFIX_PATH="$work/moved" >/dev/null
cmake --build "$work/example" >/dev/null
rows=$(cd "$work" && "$work/example/record_volts" 5 </dev/null 2>/dev/null)
[ "$(wc -l <<<"$rows")" -eq 5 ] || fail "CMake-built example printed: $rows"
cp -r "$example" "$work/bypc"
PKG_CONFIG_PATH=$work/moved/lib/pkgconfig make -s -C "$work/bypc" >/dev/null
rows=$(cd "$work" && "$work/bypc/record_volts" 3 </dev/null 2>/dev/null)
[ "$(wc -l <<<"$rows")" -eq 3 ] || fail "pkg-config-built example printed: $rows"
echo "install_test: passed"
