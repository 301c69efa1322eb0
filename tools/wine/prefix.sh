#!/usr/bin/env bash
# Makes the build's own Wine prefix, once:
#   tools/wine/prefix.sh PREFIX
# wineboot -i creates it; Mono and Gecko are never offered (nothing here needs
# .NET or a browser, and their installers would wait for a click). The prefix
# then gets what Vardel's window needs (settings.sh).
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

bash "$(dirname "$0")/settings.sh" "$prefix"
wineserver -w
touch "$ready"
