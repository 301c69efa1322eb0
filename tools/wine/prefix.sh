#!/usr/bin/env bash
# Makes the build's own Wine prefix, once:
#   tools/wine/prefix.sh PREFIX
# wineboot -i creates it; Mono and Gecko are never offered (nothing here needs
# .NET or a browser, and their installers would wait for a click). The prefix
# then gets what Vardel's window needs to look as on a Chinese Windows:
#   - font linking from the dialog font (MS Shell Dlg, which Wine maps to
#     Tahoma) to WenQuanYi Micro Hei, so that the Chinese texts show as
#     Chinese and not as boxes;
#   - a virtual desktop, so that Wine draws the window's frame and caption
#     itself, as Windows does, with or without a window manager; 1280x800
#     holds the dialog at 150 % (1144x696 pixels at 144 DPI).
# A prefix that is already complete is left as it is; one made with other
# settings (an older marker) is made again.
set -euo pipefail

prefix=$(realpath -m "$1")
ready="$prefix/.vardel-prefix-2"
[[ -f $ready ]] && exit 0

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
echo "making the Wine prefix $prefix (once)"
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w

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
wineserver -w
touch "$ready"
