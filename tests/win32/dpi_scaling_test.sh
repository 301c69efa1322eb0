#!/usr/bin/env bash
# Vardel.exe at 150 % scaling: the dialog manager lays the dialog out again
# from its dialog units, so its client area is 1.5 times as large as at 96
# DPI, and not a 96-DPI dialog that the system stretches. Across the width
# the factor is that of the dialog font's average character width, a whole
# number of pixels at each DPI (7 and 10 with the prefix's fonts), so it may
# miss 1.5 by a few per cent; the height follows the font's height exactly.
#   dpi_scaling_test.sh WINDOWS_BUILD
set -euo pipefail
apps=$1/app
: "${WINEPREFIX:?run inside tools/wine/session.sh}"
here=$(cd "$(dirname "$0")" && pwd)
tools="$here/../../tools"
run() { "$tools/wine/run.sh" "$WINEPREFIX" "$@"; }
program_pid=
finish() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    bash "$tools/wine/dpi.sh" 96
}
trap finish EXIT

# The client area's width and height at a DPI; the DPI and the font the
# dialog was laid out with go to standard error, for a run that fails.
client_at() {
    local shown
    bash "$tools/wine/dpi.sh" "$1"
    run "$apps/Vardel.exe" & program_pid=$!
    shown=$(run "$apps/VardelSend.exe" show)
    run "$apps/VardelSend.exe" exit
    wait "$program_pid" || true
    program_pid=
    sed -n "s/^layout: /asked for $1 dpi, laid out at /p" <<<"$shown" >&2
    sed -n 's/^client: //p' <<<"$shown"
}

read -r w96 h96 <<<"$(client_at 96)"
read -r w144 h144 <<<"$(client_at 144)"
echo "client area: ${w96:-?}x${h96:-?} at 96 DPI, ${w144:-?}x${h144:-?} at 144 DPI"
python3 - "$w96" "$h96" "$w144" "$h144" <<'PY'
import sys
w96, h96, w144, h144 = map(int, sys.argv[1:])
if abs(h144 - 1.5 * h96) > 3:
    sys.exit(f"FAIL: the height grew {h144 / h96:.3f} times, not 1.5")
if abs(w144 / w96 - 1.5) > 0.075:
    sys.exit(f"FAIL: the width grew {w144 / w96:.3f} times, not about 1.5")
print(f"PASS: width {w144 / w96:.3f} times, height {h144 / h96:.3f} times")
PY
