#!/bin/bash
# Runs the UI test host on a virtual display (xvfb-run) under Wine, once
# with an English and once with a German user interface, for one
# architecture. The prefix is the project's own (tools/wine-prefix.sh,
# VEXLOR_WINEPREFIX names it), kept apart from the script tests, which
# count on having no display: it shows a virtual desktop, so that Wine
# draws the windows' frames and captions itself and the screenshots show
# them. Screenshots are written to SCREENSHOT_DIR.
#
# Usage: run_ui_tests.sh win64|win32 DLL HOST_EXE SCREENSHOT_DIR
set -u

if [ $# -ne 4 ] && [ "${1:-}" != --on-display ]; then
  echo "usage: $0 win64|win32 DLL HOST_EXE SCREENSHOT_DIR" >&2
  exit 2
fi

winpath() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }

# On the display: both languages, each in a Wine server of its own, since
# a server keeps the display and desktop it started with.
if [ "$1" = --on-display ]; then
  shift
  wine=$1 dll=$2 host=$3 shots=$4
  wineserver -w
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
    >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default \
    /d 1024x768 /f >/dev/null 2>&1
  failed=0
  for locale in en_US de_DE; do
    language=${locale%_*}
    echo "== $language"
    # The thread's user-interface language follows the locale Wine
    # starts with.
    env -u LC_ALL -u LC_MESSAGES LANG="$locale.UTF-8" "$wine" "$host" \
      "$(winpath "$dll")" "$(winpath "$shots")" "$language" 2>/dev/null |
      tr -d '\r'
    [ "${PIPESTATUS[0]}" -eq 0 ] || failed=1
    wineserver -w
  done
  exit $failed
fi

arch=$1
dll=$(realpath "$2") || exit 2
host=$(realpath "$3") || exit 2
shots=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
case $arch in
  win64) wine=/usr/lib/wine/wine64 ;;
  win32) wine=wine ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
command -v xvfb-run >/dev/null ||
  { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 2; }
mkdir -p "$shots"

# shellcheck source=../../tools/wine-prefix.sh
. "$root/tools/wine-prefix.sh" || exit 2
exec 9>"$WINEPREFIX.lock"
flock 9

xvfb-run -a -s "-screen 0 1024x768x24" \
  bash "$0" --on-display "$wine" "$dll" "$host" "$shots"
status=$?
echo "run_ui_tests [$arch]: $([ $status -eq 0 ] && echo passed || echo FAILED);" \
  "screenshots in $(realpath "$shots")"
exit $status
