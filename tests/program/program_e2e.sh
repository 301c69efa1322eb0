#!/usr/bin/env bash
# The whole program as a user starts it: the demo build offscreen against the
# simulated MCU, in the surroundings a user may give it; and the real program
# without a display.
#   program_e2e.sh SOURCE_DIR BUILD_DIR PROGRAM DEVICE CASE [REAL_PROGRAM]
set -uo pipefail
source_dir=$1 build=$2 program=$3 device=$4 case=$5 real_program=${6:-}
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
expect() { grep -qxF -- "$1" "$out" || fail "never saw: $1"; }
clean_verdict="verdict: image identical, 448 blocks, 28672 bytes, frames 450, repeats 0, faults 0, reset received"

# The demo with the program's standard error as given after the arguments.
# SIGPIPE is set back to its default first, as a shell gives it to a program.
demo() {
    env --default-signal=PIPE bash "$source_dir/tools/demo.sh" "$build" "$program" "$device" "$@"
}

case $case in
upgrade)
    demo >"$out" 2>&1 || { status=$?; cat "$out"; fail "the demo run ended with $status"; }
    cat "$out"
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
    expect "$clean_verdict"
    ;;
surroundings)
    # Standard error a pipe whose reader has gone: the debug lines are lost,
    # the upgrade is not. Then none at all: no debug byte may reach the wire,
    # which the MCU would count as a fault.
    demo >"$out" 2> >(exec 0<&-; true) || { status=$?; cat "$out"; fail "dead pipe: $status"; }
    expect "$clean_verdict"
    demo >"$out" 2>&- || { status=$?; cat "$out"; fail "no standard error: $status"; }
    expect "$clean_verdict"
    ;;
terminal)
    # On a terminal one live line; the plain "percent: N%" lines are for logs.
    script -qfec "$(printf '%q ' env --default-signal=PIPE bash "$source_dir/tools/demo.sh" \
        "$build" "$program" "$device")" /dev/null </dev/null >"$out" 2>&1 ||
        { status=$?; cat "$out"; fail "under script: status $status"; }
    tr '\r' '\n' <"$out" >"$err"
    grep -qF "[########################] 100%  Step = 255  升级成功!" "$err" ||
        { cat "$err"; fail "no live line at its end"; }
    ! grep -q "percent: " "$err" || fail "plain percent lines on a terminal"
    grep -qF "$clean_verdict" "$err" || fail "no clean verdict"
    ;;
no-display)
    # No display named, then one named that is not there: one line each on
    # standard error that says what to set, status 1, no core dump.
    for display in "" ":987"; do
        status=0
        env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" ${VARDEL_EMULATOR:-} "$real_program" \
            >"$out" 2>"$err" </dev/null || status=$?
        cat "$err"
        [ "$status" -eq 1 ] || fail "DISPLAY='$display': status $status"
        [ "$(wc -l <"$err")" -eq 1 ] || fail "DISPLAY='$display': not one line"
        grep -q "set DISPLAY" "$err" || fail "DISPLAY='$display': does not say what to set"
        [ ! -s "$out" ] || fail "DISPLAY='$display': wrote to standard output"
    done
    grep -q "could not connect to display :987" "$err" || fail "the cause is not named"
    ;;
*)
    fail "no case $case"
    ;;
esac
echo "PASS"
