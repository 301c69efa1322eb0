#!/usr/bin/env bash
# systemd-analyze verify on the station's unit, in a root of its own with the
# program it starts where the package puts it, beside the system's own units
# (the targets it is ordered with): a unit systemd would refuse or warn of,
# or one that names a program it cannot find, fails here. Its manual page is
# the package's, checked with the package.
#   station_unit_test.sh UNIT
set -euo pipefail
unit=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/usr/bin" "$root/etc/default" "$root/usr/lib/systemd/system"
printf '#!/bin/sh\n' >"$root/usr/bin/vardel-flash"
chmod +x "$root/usr/bin/vardel-flash"
cp -r /usr/lib/systemd/system/. "$root/usr/lib/systemd/system/"
cp "$unit" "$root/usr/lib/systemd/system/"
: >"$root/etc/default/vardel-station"
out=$(systemd-analyze verify --man=no --root="$root" "$root/usr/lib/systemd/system/$(basename "$unit")" 2>&1) ||
    { echo "FAIL: $out"; exit 1; }
# verify only warns of some mistakes (an unknown key, a bad value).
if [ -n "$out" ]; then
    echo "FAIL: $out"
    exit 1
fi
echo "PASS"
