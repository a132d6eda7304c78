#!/bin/bash
# Runs a cross-built test program on a virtual display (xvfb-run) under
# Wine, for the tests that need real windows. It runs in the prefix of the
# UI tests (VEXLOR_WINEPREFIX), under their lock, since the script tests'
# prefix counts on having no display.
#
# Usage: run_on_display.sh win64|win32 EXE [ARGS...]
set -u
case $1 in
  win64) wine=/usr/lib/wine/wine64 ;;
  win32) wine=wine ;;
  *) echo "unknown architecture $1" >&2; exit 2 ;;
esac
shift
command -v xvfb-run >/dev/null ||
  { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../tools/wine-prefix.sh
. "$root/tools/wine-prefix.sh" || exit 2
exec 9>"$WINEPREFIX.lock"
flock 9
xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$@"
