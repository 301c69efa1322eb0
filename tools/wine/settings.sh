#!/usr/bin/env bash
# Gives a Wine prefix what Vardel's window needs to look as on a Chinese
# Windows, or gives it back:
#   tools/wine/settings.sh PREFIX
#   - font linking from the dialog font (MS Shell Dlg, which Wine maps to
#     Tahoma) to WenQuanYi Micro Hei, so that the Chinese texts show as
#     Chinese and not as boxes, and the letters of every run are the same;
#   - a virtual desktop, so that Wine draws the window's frame and caption
#     itself, as Windows does, with or without a window manager; 1280x800
#     holds the dialog at 150 % (1144x696 pixels at 144 DPI).
# Wine writes its own font links over the link each time a program starts
# under another code page than the last one did (the Chinese end-to-end run is
# GBK, the rest of the suite the machine's): after such a run, this puts the
# link back for the programs that follow. The first program under the
# machine's code page (reg here) has Wine write its links before the import.
set -euo pipefail
export WINEPREFIX=$(realpath -m "$1") WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine reg query 'HKCU\Software\Wine\Fonts' </dev/null >/dev/null 2>&1 || true

settings=$(mktemp --suffix=.reg)
trap 'rm -f "$settings"' EXIT
# regedit reads UTF-16; the file is written as UTF-8 and converted.
iconv -f UTF-8 -t UTF-16 >"$settings" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
"Tahoma"=hex(7):77,00,71,00,79,00,2d,00,6d,00,69,00,63,00,72,00,6f,00,68,00,65,00,69,00,2e,00,74,00,74,00,63,00,2c,00,57,00,65,00,6e,00,51,00,75,00,61,00,6e,00,59,00,69,00,20,00,4d,00,69,00,63,00,72,00,6f,00,20,00,48,00,65,00,69,00,00,00,00,00

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1280x800"
REG
wine regedit /S "$(winepath -w "$settings" 2>/dev/null)" </dev/null >/dev/null 2>&1
