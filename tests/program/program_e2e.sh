#!/usr/bin/env bash
# Runs the demo build of the whole program offscreen against the simulated MCU
# and checks what the user saw and what the MCU received.
#   program_e2e.sh SOURCE_DIR BUILD_DIR PROGRAM DEVICE
set -euo pipefail
source_dir=$1 build=$2 program=$3 device=$4
out=$(mktemp)
trap 'rm -f "$out"' EXIT

status=0
bash "$source_dir/tools/demo.sh" "$build" "$program" "$device" >"$out" 2>&1 || status=$?
cat "$out"
[ "$status" -eq 0 ] || { echo "FAIL: the demo run ended with $status"; exit 1; }

expect() {
    grep -qxF -- "$1" "$out" || { echo "FAIL: never saw: $1"; exit 1; }
}
expect "window: Vardel v4.0"
expect "status: 串口打开成功!"
expect "step: Step = 1"
expect "step: Step = 2"
expect "status: 通信建立，开始传输数据!"
expect "status: 正在升级......, 请稍后, 不要断电!!!"
expect "step: Step = 3"
expect "percent: 99%"
expect "percent: 100%"
expect "status: 升级成功!"
expect "button: 完成重启"
expect "step: Step = 255"
expect "demo: pressing 完成重启"
expect "window: ended with 2"
expect "verdict: image identical, 448 blocks, 28672 bytes, frames 450, repeats 0, faults 0, reset received"
echo "PASS"
