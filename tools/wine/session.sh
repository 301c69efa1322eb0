#!/usr/bin/env bash
# Runs a command inside a Wine session of the build's prefix:
#   tools/wine/session.sh PREFIX COMMAND [ARGUMENTS...]
# The prefix is made first if need be (prefix.sh). One wineserver then stays
# up for the whole command, so that each Windows program it starts does not
# pay for starting Wine afresh, and it is ended afterwards. Wine's own
# services are started here, with nothing of the command's output attached:
# a pipe that one of them inherited would never see its end. The display is
# the caller's (DISPLAY); `make` gives the tests an Xvfb of their own.
set -euo pipefail

here=$(dirname "$0")
prefix=$(realpath -m "$1")
shift
bash "$here/prefix.sh" "$prefix"

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
finish() { wineserver -k >/dev/null 2>&1 || true; }
trap finish EXIT
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
"$@"
