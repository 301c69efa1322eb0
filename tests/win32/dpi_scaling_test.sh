#!/usr/bin/env bash
# Vardel.exe at 150 % scaling: the dialog manager lays the dialog out again
# from its dialog units, with its font asked for 1.5 times as high, and not a
# 96-DPI dialog that the system stretches. So at each DPI the client area is
# the template's frame mapped by the dialog's own units, and the units grow
# with the DPI. A font's pixels are whole and its own (at 144 DPI the letters
# are 10 pixels wide in WenQuanYi Micro Hei, 11 in DejaVu Sans), so the area
# grows by about 1.5, not exactly.
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

# At a DPI: the client area's width and height, the template's frame mapped by
# the dialog's units, and those units. What the dialog was laid out with goes
# to standard error, for a run that fails.
client_at() {
    local shown
    bash "$tools/wine/dpi.sh" "$1"
    run "$apps/Vardel.exe" & program_pid=$!
    shown=$(run "$apps/VardelSend.exe" show)
    run "$apps/VardelSend.exe" exit
    wait "$program_pid" || true
    program_pid=
    sed -n "s/^layout: /at $1 dpi a dialog started now gets /p" <<<"$shown" >&2
    sed -n "s/^units: /  the dialog's units: /p" <<<"$shown" >&2
    echo "$(sed -n 's/^client: //p' <<<"$shown") $(sed -n 's/^template: //p' <<<"$shown")" \
        "$(sed -n 's/^units: //p' <<<"$shown")"
}

read -r w96 h96 tw96 th96 x96 y96 <<<"$(client_at 96)"
read -r w144 h144 tw144 th144 x144 y144 <<<"$(client_at 144)"
echo "client area: ${w96:-?}x${h96:-?} at 96 DPI, ${w144:-?}x${h144:-?} at 144 DPI"
python3 - "$w96" "$h96" "$tw96" "$th96" "$x96" "$y96" "$w144" "$h144" "$tw144" "$th144" "$x144" "$y144" <<'PY'
import sys
w96, h96, tw96, th96, x96, y96, w144, h144, tw144, th144, x144, y144 = map(int, sys.argv[1:])
for dpi, client, frame in ((96, (w96, h96), (tw96, th96)), (144, (w144, h144), (tw144, th144))):
    if client != frame:
        sys.exit(f"FAIL: at {dpi} DPI the client area is {client}, not the template's {frame}")
for name, grew in (("wide", x144 / x96), ("high", y144 / y96)):
    if not 1.35 <= grew <= 1.65:
        sys.exit(f"FAIL: the dialog's units are {grew:.3f} times as {name} at 144 DPI")
for name, grew in (("width", w144 / w96), ("height", h144 / h96)):
    if not 1.35 <= grew <= 1.65:
        sys.exit(f"FAIL: the {name} grew {grew:.3f} times, not about 1.5")
print(f"PASS: width {w144 / w96:.3f} times, height {h144 / h96:.3f} times")
PY
