#!/usr/bin/env bash
# The demo: the whole program against the simulated MCU.
#   tools/demo.sh BUILD_DIR                  (what `make demo` runs)
#   tools/demo.sh BUILD_DIR PROGRAM DEVICE   (another demo build and its COM4:)
# A demo image of 448 blocks (28,672 pseudo-random bytes of our own) goes
# beside the demo build of the program as both KD51A.BIN and MTK51A.BIN; the
# simulator plays the MCU at the device that build uses as "COM4:".
# With a display (DISPLAY or WAYLAND_DISPLAY) the real window opens: press
# "开始升级", watch the bar, press "完成重启" at the end and close the window
# with Escape. Without one the window runs offscreen, the buttons are pressed
# for you, the label changes are printed, and a picture of the finished
# window is saved. The exit status is 0 only if the MCU received the image
# identical and the reset frame came.
set -euo pipefail

BUILD=${1:-build/default}
PROGRAM=${2:-$BUILD/app/vardel-demo}
DEVICE=${3:-$(sed -nE 's/^VARDEL_DEMO_COM4_DEVICE:STRING=(.*)$/\1/p' "$BUILD/CMakeCache.txt")}
# A build for another processor names the simulator it plays against and the
# emulator that runs its program (see tests/CMakeLists.txt).
SIM=${VARDEL_MCU_SIM:-$BUILD/sim/vardel-mcu-sim}
read -ra RUN <<<"${VARDEL_EMULATOR:-}"
FOLDER=$(dirname "$PROGRAM")
IMAGE="$FOLDER/KD51A.BIN"
PICTURE="$(cd "$FOLDER" && pwd)/$(basename "$PROGRAM").png"
# shellcheck source=tools/lib/simulated-mcu.sh
source "$(dirname "$0")/lib/simulated-mcu.sh"

mcu_demo_image "$SIM" "$IMAGE" "$FOLDER/MTK51A.BIN"
echo "demo image: 28672 bytes (448 blocks) as $FOLDER/KD51A.BIN and MTK51A.BIN"

mcu_start "$SIM" "$IMAGE" "$DEVICE"
echo "simulated MCU at $DEVICE (pid $mcu_pid)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "the window is open: press 开始升级, then 完成重启 at the end; Escape closes it"
    program_status=0
    "${RUN[@]}" "$PROGRAM" "$PICTURE" || program_status=$?
else
    echo "no display: the window runs offscreen and the buttons are pressed for you"
    program_status=0
    QT_QPA_PLATFORM=offscreen "${RUN[@]}" "$PROGRAM" "$PICTURE" || program_status=$?
fi

# The window has closed.
mcu_finish
mcu_verdict "$program_status"
