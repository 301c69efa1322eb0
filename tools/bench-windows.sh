#!/usr/bin/env bash
# make bench-windows: measures Vardel.exe under Wine and writes the Windows
# part of the performance document, leaving the rest of it as it is.
#   tools/bench-windows.sh HOST_BUILD WINDOWS_BUILD DOCUMENT
# Runs inside a Wine session of the Windows build's prefix (tools/wine/
# session.sh). The program is the real Vardel.exe, its "COM4:" the simulated
# MCU of the Linux build on a pseudo-terminal. CPU use is read from /proc for
# the program's process and for the wineserver, which does the kernel's part
# of every Windows call under Wine, over the same window of time.
set -euo pipefail

host=$1
windows=$2
document=$3
: "${WINEPREFIX:?run inside tools/wine/session.sh}"
here=$(cd "$(dirname "$0")" && pwd)
apps=$(cd "$windows/app" && pwd)
sim="$host/sim/vardel-mcu-sim"
link="$WINEPREFIX/dosdevices/com4"
window_s=${BENCH_WINDOW_SECONDS:-10}
runs=${BENCH_LINE_RATE_RUNS:-3}
ideal=8.867 # 448 blocks x (7-byte request + 69-byte frame) x 10 bits / 38,400 baud
ticks_per_s=$(getconf CLK_TCK)
# shellcheck source=tools/lib/simulated-mcu.sh
source "$here/lib/simulated-mcu.sh"
at_exit() { wait 2>/dev/null; }

say() { echo "bench-windows: $*" >&2; }
send() { "$here/wine/run.sh" "$WINEPREFIX" "$apps/VardelSend.exe" "$@" >/dev/null; }

# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

wineserver_pid() {
    local pid
    for pid in $(pgrep -x 'wineserver|wineserver64'); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return
        fi
    done
}

# The simulator paces the line with one sleep a byte; it runs with 1 ns of
# timer slack (which a child keeps through exec), as the Linux benchmark's own
# simulator does, so that the usual 50 µs a sleep do not slow the line.
mcu_launcher=(python3 -c 'import ctypes, os, sys
ctypes.CDLL(None).prctl(29, 1, 0, 0, 0)  # PR_SET_TIMERSLACK
os.execv(sys.argv[1], sys.argv[1:])')
start_mcu() { mcu_start "$sim" "$apps/KD51A.BIN" "$link" "$@"; }

start_program() {
    wine "$apps/Vardel.exe" >/dev/null 2>&1 &
    program_pid=$!
}

# The window is closed with the exit command; the MCU is told to stop.
stop_both() {
    send exit || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=
    mcu_stop
}

# "P % (program) + W % (wineserver)" over the measuring window.
measure_cpu() {
    local server p0 w0 p1 w1
    server=$(wineserver_pid)
    p0=$(cpu_ticks "$program_pid"); w0=$(cpu_ticks "$server")
    sleep "$window_s"
    p1=$(cpu_ticks "$program_pid"); w1=$(cpu_ticks "$server")
    awk -v p=$((p1 - p0)) -v w=$((w1 - w0)) -v hz="$ticks_per_s" -v s="$window_s" \
        'BEGIN { printf "%.1f %.1f %.1f\n", 100 * (p + w) / hz / s, 100 * p / hz / s, 100 * w / hz / s }'
}

mcu_demo_image "$sim" "$apps/KD51A.BIN" "$apps/MTK51A.BIN"

say "timer messages a second, over ${window_s} s"
timer_line=$("$here/wine/run.sh" "$WINEPREFIX" "$windows/bench/win32/vardel_timer_rate.exe" "$window_s")
timer_rate=$(awk -v s="$window_s" '{ printf "%.1f", $2 / s }' <<<"$timer_line")

transfer_seconds() {
    sed -nE 's/^(sim: )?timing: transfer ([0-9.]+) s.*/\2/p' "$work/sim.out" "$work/sim.err" | head -1
}
median_of() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio_of() { awk -v m="$1" -v i="$ideal" 'BEGIN { printf "%.3f", m / i }'; }

# The Linux program (the demo build, offscreen, which presses its buttons
# itself) against the same simulator, run by run in turn with Vardel.exe: the
# simulator's own pacing and the machine's load weigh on both alike.
linux_program="$host/app/vardel-demo"
linux_device=$(sed -nE 's/^VARDEL_DEMO_COM4_DEVICE:STRING=(.*)$/\1/p' "$host/CMakeCache.txt")
linux_run() {
    mcu_demo_image "$sim" "$(dirname "$linux_program")/KD51A.BIN" \
        "$(dirname "$linux_program")/MTK51A.BIN"
    link=$linux_device start_mcu --line-rate
    QT_QPA_PLATFORM=offscreen "$linux_program" "$work/linux.png" >/dev/null 2>&1 || true
    wait "$mcu_pid" 2>/dev/null || true
    mcu_pid=
}

line_rate=()
linux_rate=()
for run in $(seq "$runs"); do
    say "line-rate transfer of 448 blocks, run $run of $runs"
    start_mcu --line-rate
    start_program
    if ! { send start && send wait-step 255; }; then
        say "the run did not finish; the window showed:"
        "$here/wine/run.sh" "$WINEPREFIX" "$apps/VardelSend.exe" show >&2 || true
        exit 1
    fi
    stop_both
    line_rate+=("$(transfer_seconds)")
    say "the same with the Linux program, run $run of $runs"
    linux_run
    linux_rate+=("$(transfer_seconds)")
done
median=$(median_of "${line_rate[@]}")
line_ratio=$(ratio_of "$median")
linux_median=$(median_of "${linux_rate[@]}")
linux_ratio=$(ratio_of "$linux_median")

say "CPU at STEP_READY, over ${window_s} s"
start_mcu
start_program
send wait-step 1
sleep 1
read -r ready_total ready_program ready_server < <(measure_cpu)
stop_both

say "CPU with the MCU silent in the middle of a request, over ${window_s} s"
start_mcu --silent-mid 8
start_program
send start
send wait-step 3
sleep 1
read -r silent_total silent_program silent_server < <(measure_cpu)
stop_both

size=$(stat -c %s "$apps/Vardel.exe")

met() { awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN { print (v >= lo && v <= hi) ? "yes" : "no" }'; }
machine="$(nproc) CPUs, $(sed -nE 's/^model name\s*: //p' /proc/cpuinfo | head -1 | sed -E 's/ [0-9]+-Core Processor//'), $(uname -sr), Debian $(cat /etc/debian_version), $(wine --version 2>/dev/null)"

part=$(cat <<MD
<!-- windows-part: written by \`make bench-windows\` (tools/bench-windows.sh); \`make bench\` keeps it. -->
## Windows: Vardel.exe under Wine

The figures come from \`tools/bench-windows.sh\`. It runs the real \`Vardel.exe\` under Wine, in the Windows build's own prefix with an X display (Xvfb when there is none), against the simulated MCU of the Linux build on a pseudo-terminal that the prefix knows as COM4, and drives the window with \`VardelSend\`. \`make bench-windows\` builds both presets, runs it and rewrites this part only.

- Command: \`make bench-windows\`
- Machine: $machine
- Date: $(date -u '+%Y-%m-%d %H:%M UTC')

| measure | value | goal | met |
|---|---|---|---|
| Timer messages a second: timer 1000 at 5 ms on the window host, in the program's own window, over ${window_s} s | $timer_rate | 199 to 201 | $(met "$timer_rate" 199 201) |
| Line-rate transfer of 448 blocks (28,672 bytes) at 38,400 baud both ways: enter-upgrade frame to completion request, median of $runs runs | $median s = $line_ratio × ideal $ideal s (runs: ${line_rate[*]} s) | ≤ 1.08 × ideal | $(met "$line_ratio" 0 1.08) |
| For reference, the Linux program (\`vardel-demo\`, offscreen) against the same simulator, run by run in turn with the one above, median of $runs runs | $linux_median s = $linux_ratio × ideal (runs: ${linux_rate[*]} s) | — | — |
| CPU waiting at STEP_READY (port open, no start), Vardel.exe and wineserver together, over ${window_s} s | $ready_total % of one core ($ready_program % Vardel.exe, $ready_server % wineserver) | ≤ 8 % | $(met "$ready_total" 0 8) |
| CPU with the MCU silent in the middle of a request (after 8 blocks), Vardel.exe and wineserver together, over ${window_s} s | $silent_total % of one core ($silent_program % Vardel.exe, $silent_server % wineserver) | ≤ 5 % | $(met "$silent_total" 0 5) |
| Size of Vardel.exe (static, stripped) | $size bytes ($(awk -v b="$size" 'BEGIN { printf "%.2f", b / 1048576 }') MB) | ≤ 1.5 MB | $(met "$size" 0 1572864) |

### How each Windows figure is taken

- Timer: \`vardel_timer_rate\` opens the program's dialog template on the Win32 window host, starts timer 1000 with 5 ms as the main dialog does, lets it settle for a second and counts the WM_TIMER messages the dialog receives. SetTimer itself stops at 10 ms (100 a second), so the host keeps this timer with a periodic waitable timer (of high resolution where the system grants one, else under timeBeginPeriod(1)), which its modal loop waits on together with the message queue.
- Line rate: the simulator (the tool \`vardel-mcu-sim --line-rate\`) paces both directions at 38,400 baud, 10 bits a byte, and takes no time to write a block; the time is the simulator's own, from the enter-upgrade frame to the completion request. The ideal is the line time of the same bytes. The tool paces with one sleep a byte and is started with 1 ns of timer slack, as the Linux benchmark's in-process simulator runs; it still loses a little more than that one, so the Linux program is measured against the same tool too, in turn with Vardel.exe, for a figure that the same simulator and the same moment stand behind.
- CPU: utime + stime from /proc/PID/stat of the Vardel.exe process and of the prefix's wineserver, over the same window, as a share of one core. STEP_READY: the port is open and nobody presses the button. Silent: the MCU sends half of its ninth request and nothing more; measured from a second after the step label shows 3.
- The machine is shared with other work while these are taken; the figures are a snapshot, and the command above takes them again.
MD
)

if [ -f "$document" ] && grep -q '^<!-- windows-part:' "$document"; then
    sed -i '/^<!-- windows-part:/,$d' "$document"
fi
[ -s "$document" ] && [ -n "$(tail -c1 "$document")" ] && echo >>"$document"
[ -s "$document" ] && echo >>"$document"
printf '%s\n' "$part" >>"$document"
echo "$part" | sed -n '/^| measure/,/^$/p'
say "written to $document"
