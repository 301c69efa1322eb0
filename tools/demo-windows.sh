#!/usr/bin/env bash
# The Windows demo: Vardel.exe under Wine against the simulated MCU.
#   [DPI=144] tools/demo-windows.sh HOST_BUILD WINDOWS_BUILD [PICTURE.png]
# Runs inside a Wine session of the Windows build's prefix (`make
# demo-windows` starts one; the end-to-end test runs in the suite's own). The
# demo image of 448 blocks goes beside Vardel.exe as KD51A.BIN and MTK51A.BIN;
# the simulated MCU (the Linux tool vardel-mcu-sim) plays the MCU on a
# pseudo-terminal that the prefix knows as COM4. Vardel.exe runs under
# DebugLines, which prints its debug lines; VardelSend presses its button,
# waits for the end of the transfer, takes the picture and sends the exit
# command 1001, which writes the reset frame and closes the window. The exit
# status is 0 only when the MCU received the image identical and the reset
# frame came, and the program ended well. With DPI other than 96 the prefix
# has that DPI for the run (144 is 150 % scaling), and the picture is
# docs/dialog-windows-<DPI>dpi.png unless named.
set -euo pipefail

host=$1
windows=$2
dpi=${DPI:-96}
if [ "$dpi" = 96 ]; then
    picture=${3:-docs/dialog-windows.png}
else
    picture=${3:-docs/dialog-windows-${dpi}dpi.png}
fi
: "${WINEPREFIX:?run inside tools/wine/session.sh}"
here=$(cd "$(dirname "$0")" && pwd)
apps=$(cd "$windows/app" && pwd)
sim="$host/sim/vardel-mcu-sim"
link="$WINEPREFIX/dosdevices/com4"
# shellcheck source=tools/lib/simulated-mcu.sh
source "$here/lib/simulated-mcu.sh"
at_exit() { [ "$dpi" = 96 ] || bash "$here/wine/dpi.sh" 96; }

windows_path() { winepath -w "$1" 2>/dev/null; }
send() { "$here/wine/run.sh" "$WINEPREFIX" "$apps/VardelSend.exe" "$@"; }

[ "$dpi" = 96 ] || bash "$here/wine/dpi.sh" "$dpi"
mcu_demo_image "$sim" "$apps/KD51A.BIN" "$apps/MTK51A.BIN"
echo "demo image: 28672 bytes (448 blocks) as $apps/KD51A.BIN and MTK51A.BIN"

mcu_start "$sim" "$apps/KD51A.BIN" "$link"
echo "simulated MCU at COM4 ($link)"

# Ending the debugger (this process) ends the program it debugs.
wine "$apps/DebugLines.exe" "$(windows_path "$apps/Vardel.exe")" >"$work/debug.out" 2>&1 &
program_pid=$!

echo "pressing 开始升级 once the port is open"
send start
send wait-step 255
send show | sed 's/^/window: /; s/^window: window: /window at: /'
send picture "$(windows_path "$work/dialog.bmp")"
/usr/bin/python3 -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])' \
    "$work/dialog.bmp" "$picture"
echo "picture of the finished window: $picture"
echo "sending the exit command 1001"
send exit

program_status=0
wait "$program_pid" || program_status=$?
program_pid=
sed 's/\r$//; s/^/debug: /' "$work/debug.out"

mcu_finish
mcu_verdict "$program_status"
