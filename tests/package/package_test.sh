#!/usr/bin/env bash
# The Debian package as a user gets it: made with the build's CPack settings
# (what `make package` makes), unpacked into a scratch folder, its program's
# libraries all found, and the program started offscreen against a port that
# is not there and ended with SIGTERM, status 0.
#   package_test.sh BUILD_DIR VERSION DEVICE
set -uo pipefail
build=$1 version=$2 device=$3
work=$(mktemp -d)
program_pid=
finish() {
    [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/vardel_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work/out"; fail "no $deb"; }

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in fonts-wqy-microhei libqt6widgets6 libc6; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed"
done
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
program="$work/root/usr/lib/vardel/vardel"
[ -x "$program" ] || fail "no program in a folder of its own"
[ "$(readlink -f "$work/root/usr/bin/vardel")" = "$program" ] || fail "usr/bin/vardel"
ldd "$program" >"$work/ldd" 2>&1 || { cat "$work/ldd"; fail "ldd"; }
! grep -q "not found" "$work/ldd" || { cat "$work/ldd"; fail "a library is not found"; }

# A machine that has a device at the program's "COM4:" path gets an empty
# file put in its place, in a mount namespace of the test's own: the test
# never touches a real port.
start=("$program")
if [ -e "$device" ]; then
    : >"$work/no-port"
    start=(unshare --mount --propagation private sh -c 'mount --bind "$1" "$2" && exec "$3"'
           sh "$work/no-port" "$device" "$program")
fi
QT_QPA_PLATFORM=offscreen "${start[@]}" >"$work/out.log" 2>&1 &
program_pid=$!
sleep 2
kill -0 "$program_pid" 2>/dev/null || { cat "$work/out.log"; fail "the program did not keep running"; }
kill -TERM "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=
cat "$work/out.log"
[ "$status" -eq 0 ] || fail "ended with $status after SIGTERM"
echo "PASS"
