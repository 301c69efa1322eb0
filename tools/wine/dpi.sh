#!/usr/bin/env bash
# Sets the screen's DPI of the build's Wine prefix for the programs started
# from now on (those already running keep theirs):
#   tools/wine/dpi.sh DPI
# Runs inside tools/wine/session.sh. 96 is Windows' 100 %, 120 125 %, 144
# 150 %, 192 200 %. Wine 8 reads LogPixels from HKCU\Control Panel\Desktop
# before the machine-wide value (96) under Hardware Profiles; 96 removes the
# user's value, which puts the prefix back as it was made.
set -euo pipefail
: "${WINEPREFIX:?run inside tools/wine/session.sh}"
dpi=$1
key='HKCU\Control Panel\Desktop'
if [ "$dpi" = 96 ]; then
    wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1 || true
else
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
fi
