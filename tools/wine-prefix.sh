#!/bin/sh
# The project's own Wine prefix, in which the cross-built Windows tests run:
# build-wine/prefix in the repository, made when missing (a 64-bit prefix,
# which runs 32- and 64-bit programs alike). Mono and Gecko are switched
# off so that making it asks for neither, and Wine's debug output is
# silenced.
#
#   eval "$(sh tools/wine-prefix.sh)"   prints the export lines
#   . tools/wine-prefix.sh              sets them in the current shell
#
# VEXLOR_WINEPREFIX, when set, names another prefix.

if [ -n "${BASH_SOURCE:-}" ]; then
  vexlor_root=$(cd "$(dirname "$BASH_SOURCE")/.." && pwd)
else
  case $0 in
    *wine-prefix.sh) vexlor_root=$(cd "$(dirname "$0")/.." && pwd) ;;
    *) vexlor_root=$(pwd) ;;
  esac
fi
WINEPREFIX=${VEXLOR_WINEPREFIX:-$vexlor_root/build-wine/prefix}
WINEDLLOVERRIDES="mscoree,mshtml="
WINEDEBUG=-all
export WINEPREFIX WINEDLLOVERRIDES WINEDEBUG

# A prefix is complete once wineboot has written its registry.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  echo "making the Wine prefix $WINEPREFIX" >&2
  # Some kernels refuse 32-bit executables: then the 64-bit loader boots.
  if /usr/lib/wine/wine --version > /dev/null 2>&1; then
    WINEARCH=win64 wineboot -i > /dev/null 2>&1 || true
  else
    WINEARCH=win64 /usr/lib/wine/wine64 wineboot -i > /dev/null 2>&1 || true
  fi
  wineserver -w
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wineboot did not make the prefix $WINEPREFIX" >&2
    false
  fi
fi

case $0 in
  *wine-prefix.sh)
    echo "export WINEPREFIX='$WINEPREFIX'"
    echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
    echo "export WINEDEBUG='$WINEDEBUG'"
    ;;
esac
unset vexlor_root
