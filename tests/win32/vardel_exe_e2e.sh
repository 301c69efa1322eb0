#!/usr/bin/env bash
# The whole Vardel.exe under Wine against the simulated MCU: runs the Windows
# demo inside the suite's Wine session and checks what the window showed,
# the debug line the program wrote, and the MCU's verdict on the wire.
#   vardel_exe_e2e.sh SOURCE_DIR HOST_BUILD WINDOWS_BUILD
set -euo pipefail
source_dir=$1 host=$2 windows=$3
out=$(mktemp)
trap 'rm -f "$out"' EXIT

if [ ! -x "$host/sim/vardel-mcu-sim" ]; then
    echo "FAIL: no simulated MCU at $host/sim/vardel-mcu-sim (make build first)"
    exit 1
fi
status=0
bash "$source_dir/tools/demo-windows.sh" "$host" "$windows" "$windows/tests/win32/e2e-dialog.png" \
    >"$out" 2>&1 || status=$?
cat "$out"
[ "$status" -eq 0 ] || { echo "FAIL: the demo run ended with $status"; exit 1; }

expect() {
    grep -qxF -- "$1" "$out" || { echo "FAIL: never saw: $1"; exit 1; }
}
expect "window: status: 升级成功!"
expect "window: percent: 100%"
expect "window: step: Step = 255"
expect "window: button: 完成重启"
# The firmware file of the detected platform (a PC has far more than 130 MiB),
# beside the program, opened: a handle, not -1.
grep -qE '^debug: -------------update file name = Z:\\.*\\app\\MTK51A\.BIN, hand = [0-9]+----------------$' \
    "$out" || { echo "FAIL: no update-file-name debug line with an open handle"; exit 1; }
expect "verdict: image identical, 448 blocks, 28672 bytes, frames 450, repeats 0, faults 0, reset received"
echo "PASS"
