#!/usr/bin/env bash
# The whole Vardel.exe under Wine against the simulated MCU: runs the Windows
# demo inside the suite's Wine session and checks what the window showed,
# the debug line the program wrote, and the MCU's verdict on the wire.
# The programs run from a folder with Chinese letters in its name, on a
# Chinese system: Wine hands OutputDebugStringW's text to DebugLines in the
# ANSI code page (GBK there), which DebugLines must convert, so that the debug
# line names the folder right.
#   vardel_exe_e2e.sh SOURCE_DIR HOST_BUILD WINDOWS_BUILD
set -euo pipefail
source_dir=$1 host=$2 windows=$3
out=$(mktemp)
scratch=$(mktemp -d)
: "${WINEPREFIX:?run inside tools/wine/session.sh}"
# Wine rewrites its font links for the Chinese run's code page; the tests
# after this one get the prefix's own link back.
trap 'bash "$source_dir/tools/wine/settings.sh" "$WINEPREFIX"; rm -rf "$out" "$scratch"' EXIT
folder="$scratch/升级 工具"
mkdir -p "$folder/app"
cp "$windows"/app/{Vardel,VardelSend,DebugLines}.exe "$folder/app/"

# The Chinese locale, made once into the build (Debian's `locales` has its
# source; no system locale is installed or changed).
locales="$windows/locale"
if [ ! -f "$locales/zh_CN.UTF-8/LC_CTYPE" ]; then
    rm -rf "$locales" && mkdir -p "$locales"
    # Whole or not at all: made aside, then put in place.
    localedef -i zh_CN -f UTF-8 "$locales/new" >/dev/null 2>&1 || true
    [ -f "$locales/new/LC_CTYPE" ] && mv "$locales/new" "$locales/zh_CN.UTF-8"
fi
[ -f "$locales/zh_CN.UTF-8/LC_CTYPE" ] ||
    { echo "FAIL: no zh_CN.UTF-8 locale (localedef, package locales)"; exit 1; }

if [ ! -x "$host/sim/vardel-mcu-sim" ]; then
    echo "FAIL: no simulated MCU at $host/sim/vardel-mcu-sim (make build first)"
    exit 1
fi
status=0
LOCPATH=$locales LC_ALL=zh_CN.UTF-8 bash "$source_dir/tools/demo-windows.sh" "$host" "$folder" \
    "$windows/tests/win32/e2e-dialog.png" >"$out" 2>&1 || status=$?
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
grep -qE '^debug: -------------update file name = Z:\\.*\\升级 工具\\app\\MTK51A\.BIN, hand = [0-9]+----------------$' \
    "$out" || { echo "FAIL: no update-file-name debug line with an open handle"; exit 1; }
expect "verdict: image identical, 448 blocks, 28672 bytes, frames 450, repeats 0, faults 0, reset received"
echo "PASS"
