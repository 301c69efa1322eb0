#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, in the build's own prefix:
#   tools/wine/run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# The build uses it as its cross-compiling emulator, so ctest runs every test
# program through it. Wine says nothing of its own (WINEDEBUG=-all) and never
# offers to install Mono or Gecko. The program's CR LF line ends become LF,
# which is what ctest and GoogleTest's test listing expect.
set -o pipefail
prefix=$1
shift
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine "$@" | tr -d '\r'
