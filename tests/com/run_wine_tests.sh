#!/bin/bash
# Tests the in-process server in real automation hosts under Wine, for one
# architecture: registers the DLL (twice, which must be harmless), runs the
# VBScript and JScript tests with Wine's own cscript and the compiled event
# host, compares the exported CSV file byte for byte, unregisters, and
# checks that no key of ours is left in either registry view and that the
# control can no longer be created.
#
# Usage: run_wine_tests.sh win64|win32 DLL_PATH [EVENT_HOST_EXE]
# Exits nonzero, with one line per failure, when anything fails.
set -u

usage() {
  echo "usage: $0 win64|win32 DLL_PATH [EVENT_HOST_EXE]" >&2
  exit 2
}
if [ $# -lt 2 ] || [ $# -gt 3 ]; then usage; fi
arch=$1
dll=$(realpath "$2") || usage
host=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

case $arch in
  win64)
    wine=/usr/lib/wine/wine64
    system='C:\windows\system32'
    view=/reg:64
    other_view=/reg:32
    ;;
  win32)
    wine=wine
    system='C:\windows\syswow64'
    view=/reg:32
    other_view=/reg:64
    ;;
  *) usage ;;
esac
[ -f "$dll" ] || { echo "no DLL at $2" >&2; exit 2; }
[ -z "$host" ] || [ -f "$host" ] || { echo "no event host at $host" >&2; exit 2; }

# Wine's programs read an argument that starts with a slash as a switch, so
# every path handed to them is a Windows path on the Z: drive.
winpath() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }

[ -f "$root/tools/wine-prefix.sh" ] ||
  { echo "no tools/wine-prefix.sh in $root" >&2; exit 2; }
# The project's prefix, made when missing.
# shellcheck source=../../tools/wine-prefix.sh
. "$root/tools/wine-prefix.sh" || exit 2
# Without a window system the progress window and the About box cannot
# open, which the scripts count on.
unset DISPLAY WAYLAND_DISPLAY

# Both architectures register into the one prefix: one run at a time.
exec 9>"$WINEPREFIX.lock"
flock 9

work=$(mktemp -d "${TMPDIR:-/tmp}/vexlor-com.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL [$arch]: $*"
  failures=$((failures + 1))
}

readonly prefix='6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A0'
keys=(
  "HKCR\\CLSID\\{${prefix}1}"
  "HKCR\\CLSID\\{${prefix}2}"
  'HKCR\VEXLOR.VexlorCtrl.1'
  'HKCR\VEXLOR.VexlorPropPage.1'
  "HKCR\\TypeLib\\{${prefix}0}"
  "HKCR\\Interface\\{${prefix}3}"
  "HKCR\\Interface\\{${prefix}4}"
)

# Prints the keys of ours that exist in registry view $1.
present_keys() {
  local key
  for key in "${keys[@]}"; do
    if "$wine" "$system\\reg.exe" query "$key" "$1" >/dev/null 2>&1; then
      echo "$key"
    fi
  done
}

regsvr32() {
  "$wine" "$system\\regsvr32.exe" /s "$@" "$(winpath "$dll")" >/dev/null 2>&1
}

# Runs a test program and reads its summary line "NAME: N checks, M
# failed"; a script that stops on an unhandled error prints no summary
# (Wine's script host reports nothing then) and so fails too.
run_test() {
  local name=$1 output status summary
  shift
  "$wine" "$@" >"$work/output" 2>&1
  status=$?
  output=$(tr -d '\r' <"$work/output")
  [ -n "$output" ] && printf '%s\n' "$output"
  summary=$(printf '%s\n' "$output" |
    grep -E "^$name: [0-9]+ checks, [0-9]+ failed$")
  if [ -z "$summary" ]; then
    fail "$name stopped before its summary line (exit status $status)"
  elif [ "$status" -ne 0 ] || [ "${summary%, 0 failed}" = "$summary" ]; then
    fail "$name: ${summary#*: } (exit status $status)"
  fi
}

before_other=$(present_keys "$other_view")
[ -z "$before_other" ] ||
  echo "note: the other registry view already holds keys of ours; it is not checked"

regsvr32 || fail "regsvr32 exit status $?"
regsvr32 || fail "a second regsvr32 exit status $?"
server=$("$wine" "$system\\reg.exe" query "HKCR\\CLSID\\{${prefix}1}\\InprocServer32" \
  "$view" 2>/dev/null | tr -d '\r')
grep -qiF "$(winpath "$dll")" <<<"$server" ||
  fail "InprocServer32 does not name the DLL: $server"
grep -qi 'ThreadingModel.*Apartment' <<<"$server" ||
  fail "ThreadingModel is not Apartment: $server"

cscript="$system\\cscript.exe"
run_test e2e.vbs "$cscript" //nologo "$(winpath "$here/e2e.vbs")" "$(winpath "$work")"
printf '"Column1";"Amount";"Column3";"Column4"\r\n"a""b";0.1;True;\r\n"x y\xe9";-2.5;0;42\r\n' \
  >"$work/export.expected"
cmp -s "$work/export.expected" "$work/export.csv" ||
  fail "export.csv differs from the expected bytes: $(od -c "$work/export.csv" 2>&1 | head -5)"
run_test e2e.js "$cscript" //nologo "$(winpath "$here/e2e.js")"
if [ -n "$host" ]; then
  run_test event_host "$host"
fi

regsvr32 /u || fail "regsvr32 /u exit status $?"
left=$(present_keys "$view")
[ -z "$left" ] || fail "keys left after unregistering: $left"
if [ -z "$before_other" ]; then
  left=$(present_keys "$other_view")
  [ -z "$left" ] || fail "keys left in the other registry view: $left"
fi
printf 'On Error Resume Next\r\nSet o = CreateObject("VEXLOR.VexlorCtrl.1")\r\nWScript.Echo "error " & Err.Number\r\n' \
  >"$work/gone.vbs"
gone=$("$wine" "$cscript" //nologo "$(winpath "$work/gone.vbs")" 2>&1 | tr -d '\r')
case $gone in
  "error 0" | "") fail "the control is still creatable after unregistering ($gone)" ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "run_wine_tests [$arch]: $failures failure(s)"
  exit 1
fi
echo "run_wine_tests [$arch]: all passed"
