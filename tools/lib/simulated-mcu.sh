# shellcheck shell=bash
# The simulated MCU (the Linux tool vardel-mcu-sim) for the demo and
# benchmark scripts, which source this file. Sourcing it makes a scratch
# folder, $work, where the simulator's output goes ($work/sim.out and
# $work/sim.err), and sets the exit trap: it ends the program under test
# ($program_pid, when the script set one) and the simulator, runs the
# script's own at_exit function if it has one, and removes $work.
#   mcu_demo_image SIM FILE...             the demo image (448 blocks) as each FILE
#   mcu_start SIM IMAGE LINK [FLAGS...]    starts it at LINK and waits for it
#   mcu_finish                             lets it end by itself a moment, then stops it
#   mcu_stop                               stops it at once
#   mcu_verdict PROGRAM_STATUS             the demo's verdict; its status
# mcu_pid is the running simulator's pid, mcu_status its exit status once
# stopped. With mcu_launcher set (an array), the simulator is started through it.

mcu_pid=
mcu_status=0
mcu_launcher=()
program_pid=
work=$(mktemp -d)

mcu_cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    mcu_kill
    if declare -F at_exit >/dev/null; then at_exit; fi
    rm -rf "$work"
}
trap mcu_cleanup EXIT

mcu_demo_image() {
    local sim=$1
    shift
    "$sim" --write-demo-image "$@"
}

mcu_start() {
    local sim=$1 image=$2 link=$3
    shift 3
    mkdir -p "$(dirname "$link")"
    ${mcu_launcher[@]+"${mcu_launcher[@]}"} "$sim" --image "$image" --link "$link" --ready \
        --max-seconds 900 "$@" >"$work/sim.out" 2>"$work/sim.err" &
    mcu_pid=$!
    for _ in $(seq 100); do
        grep -q '^ready ' "$work/sim.out" && return
        kill -0 "$mcu_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "the simulated MCU did not start:" >&2
    cat "$work/sim.err" >&2
    exit 1
}

mcu_stop() {
    kill -TERM "$mcu_pid" 2>/dev/null || true
    mcu_status=0
    wait "$mcu_pid" 2>/dev/null || mcu_status=$?
    mcu_pid=
}

# The MCU ends by itself once the reset frame came; it is told to stop only
# if that does not happen soon. Its verdict and timing lines follow.
mcu_finish() {
    for _ in $(seq 60); do
        kill -0 "$mcu_pid" 2>/dev/null || break
        sleep 0.05
    done
    mcu_stop
    grep -E '^(verdict|timing):' "$work/sim.out" || cat "$work/sim.err" >&2
}

mcu_verdict() {
    local program_status=$1
    if [ "$program_status" -eq 0 ] && [ "$mcu_status" -eq 0 ]; then
        echo "demo: the MCU received the image identical and the reset frame"
        return 0
    fi
    echo "demo: failed (program status $program_status, MCU status $mcu_status)" >&2
    return 1
}

mcu_kill() {
    if [ -n "$mcu_pid" ]; then
        kill "$mcu_pid" 2>/dev/null && wait "$mcu_pid" 2>/dev/null
    fi
    return 0
}
