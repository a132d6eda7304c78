#!/bin/bash
# The 32-bit and the 64-bit server registered side by side, as users of
# both Office architectures have them: unregistering one leaves the other
# creatable, and unregistering both leaves no key of ours in either view.
#
# Usage: both_views_test.sh WIN32_DLL WIN64_DLL
set -u
[ $# -eq 2 ] || { echo "usage: $0 WIN32_DLL WIN64_DLL" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tools/wine-prefix.sh" || exit 2
winpath() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }
dll32=$(winpath "$1")
dll64=$(winpath "$2")
wine32() { wine "$@"; }
wine64() { /usr/lib/wine/wine64 "$@"; }
script=$(mktemp --suffix=.vbs)
trap 'rm -f "$script"' EXIT
printf 'Set c = CreateObject("VEXLOR.VexlorCtrl.1")\r\nWScript.Echo c.EditDistance("flaw", "lawn")\r\n' > "$script"
failures=0
creatable() {  # ARCH: prints nothing, fails unless the control answers 2
  local out
  if [ "$1" = win64 ]; then
    out=$(wine64 cscript //nologo "$(winpath "$script")" 2>/dev/null)
  else
    out=$(wine32 'C:\windows\syswow64\cscript.exe' //nologo "$(winpath "$script")" 2>/dev/null)
  fi
  [ "$(printf '%s' "$out" | tr -d '\r')" = 2 ]
}
not_creatable() { ! creatable "$1"; }
check() {  # WHAT COMMAND...
  local what=$1
  shift
  "$@" || { echo "failed: $what"; failures=$((failures + 1)); }
}
no_keys() {
  local key
  for key in 'HKCR\VEXLOR.VexlorCtrl.1' \
             'HKCR\CLSID\{6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A01}' \
             'HKCR\TypeLib\{6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A00}'; do
    for view in /reg:32 /reg:64; do
      if wine64 reg query "$key" $view > /dev/null 2>&1; then return 1; fi
    done
  done
}

wine32 regsvr32 /s "$dll32"
wine64 regsvr32 /s "$dll64"
check "both creatable" creatable win32
check "both creatable (64)" creatable win64
wine64 regsvr32 /s /u "$dll64"
check "32-bit creatable after the 64-bit one is unregistered" creatable win32
check "64-bit gone after its unregistration" not_creatable win64
wine32 regsvr32 /s /u "$dll32"
check "no key left" no_keys
wineserver -w
[ $failures -eq 0 ] && echo "both_views: all passed"
exit $((failures > 0))
