#!/bin/sh
# Builds every libFuzzer target fuzz/*_fuzz.cc with clang (address and
# undefined-behaviour sanitizers), replays its regression inputs and runs it
# for a bounded time.
#
#   fuzz/run.sh [SECONDS] [NAME...]          SECONDS per target, default 60
#   fuzz/run.sh --total SECONDS [NAME...]    SECONDS shared by the targets
#   fuzz/run.sh --replay [NAME...]           regression inputs only
#
# NAME picks targets (pattern = pattern_fuzz.cc). A target lists the library
# sources it needs, relative to the repository root, and any libraries to
# link, in comments among its first lines (a long list may take several
# "sources:" lines):
#   // sources: vexlor/strings/pattern_compare.cc vexlor/platform/text.cc
#   // libs: -licui18n -licuuc
#   // options: -len_control=0       (extra libFuzzer flags for its runs)
# Each library source is compiled once per run into $FUZZ_BUILD_DIR/obj
# (and again only when it or a header it includes changed), so targets that
# share sources share objects.
#
# Inputs: inputs that once found a bug belong in fuzz/regressions/NAME/ (no
# target has any yet, so the folder does not exist); each is run once
# before fuzzing, and any failure is a finding. Seeds are read from
# fuzz/corpus/NAME/ (never written); inputs found while running go to
# fuzz/corpus-NAME/ (not tracked). Binaries, logs and crash inputs go to
# $FUZZ_BUILD_DIR (default build-fuzz/ in the repository). CXX picks the
# compiler (default clang++), FUZZ_JOBS the parallel compiles (default 2).
#
# Exit status: 0 when every target built and ran without a finding; 1 when a
# target failed to build or reported a crash, hang, leak or sanitizer error;
# 2 for bad arguments.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
# Source patterns are relative to the root.
cd "$root" || exit 1
usage() {
  echo "usage: $0 [SECONDS | --total SECONDS | --replay] [NAME...]" >&2
  exit 2
}
number() {
  case $1 in ''|*[!0-9]*) usage ;; esac
}

mode=each
seconds=60
case ${1:-} in
  --total) [ $# -ge 2 ] || usage; number "$2"; mode=total; seconds=$2; shift 2 ;;
  --replay) mode=replay; seconds=0; shift ;;
  -*) usage ;;
  '') ;;
  *[!0-9]*) ;;  # a target name
  *) seconds=$1; shift ;;
esac

out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${CXX:-clang++}
jobs=${FUZZ_JOBS:-2}
mkdir -p "$out/obj" || exit 1

# Findings must stop the run: no recovering from undefined behaviour.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export ASAN_OPTIONS="abort_on_error=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

if [ $# -gt 0 ]; then
  targets=""
  for name in "$@"; do targets="$targets $root/fuzz/${name}_fuzz.cc"; done
else
  targets=$(ls "$root"/fuzz/*_fuzz.cc 2>/dev/null)
fi
[ -n "$targets" ] || { echo "no fuzz targets in $root/fuzz" >&2; exit 1; }
count=$(echo $targets | wc -w)
if [ "$mode" = total ]; then
  seconds=$((seconds / count))
  [ "$seconds" -ge 5 ] || seconds=5
fi

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
flags="-std=c++20 -g -O1 -Wall -Wextra -Werror $sanitize -I$root -I$root/include"

# Header lines of a target: the words after "// KEY:", all lines joined.
# Globs among the sources are expanded here, and the Windows side of each
# platform seam (*_win.cc) is left out: it only builds with the Windows
# headers.
directive() {
  local words
  words=$(head -n 8 "$1" | sed -n "s|^// *$2: *||p" | tr '\n' ' ')
  if [ "$2" = sources ]; then
    # shellcheck disable=SC2086
    (cd "$root" && printf '%s\n' $words | grep -v '_win\.cc$' | tr '\n' ' ')
  else
    echo "$words"
  fi
}

# One makefile for the objects of every selected target, so make compiles
# them in parallel and notices changed headers through the .d files.
all_sources=""
for source in $targets; do
  [ -f "$source" ] && all_sources="$all_sources $(directive "$source" sources)"
done
objects=""
{
  echo "all:"
  for s in $(printf '%s\n' $all_sources | sort -u); do
    o="$out/obj/${s%.cc}.o"
    objects="$objects $o"
    echo "all: $o"
    echo "$o: $root/$s"
    echo "	@mkdir -p \$(@D)"
    echo "	$cxx $flags -fsanitize=fuzzer-no-link -MMD -MP -c \$< -o \$@"
    echo "-include $out/obj/${s%.cc}.d"
  done
} > "$out/objects.mk"
echo "== compiling library sources" >&2
if ! make -s -j "$jobs" -f "$out/objects.mk" all >&2; then
  echo "library sources failed to build" >&2
  exit 1
fi

failed=0
summary=""
for source in $targets; do
  name=$(basename "$source" _fuzz.cc)
  if [ ! -f "$source" ]; then
    echo "$name: no such target $source" >&2
    failed=$((failed + 1)); summary="$summary\n$name: missing"; continue
  fi
  library=""
  for s in $(directive "$source" sources); do
    library="$library $out/obj/${s%.cc}.o"
  done
  libs=$(directive "$source" libs)
  binary="$out/${name}_fuzz"
  echo "== $name: building" >&2
  # shellcheck disable=SC2086
  if ! "$cxx" $flags -fsanitize=fuzzer "$source" $library $libs -o "$binary"; then
    failed=$((failed + 1)); summary="$summary\n$name: build failed"; continue
  fi

  log="$out/$name.log"
  regressions="$root/fuzz/regressions/$name"
  replayed=0
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    replayed=$(ls -A "$regressions" | wc -l)
    echo "== $name: replaying $replayed regression inputs" >&2
    if ! "$binary" -runs=1 "$regressions"/* > "$log.replay" 2>&1; then
      tail -n 40 "$log.replay" >&2
      failed=$((failed + 1))
      summary="$summary\n$name: REGRESSION (see $log.replay)"
      continue
    fi
  fi
  if [ "$mode" = replay ]; then
    summary="$summary\n$name: $replayed regression inputs pass"
    continue
  fi

  work="$root/fuzz/corpus-$name"
  mkdir -p "$work"
  seeds=""
  [ -d "$root/fuzz/corpus/$name" ] && seeds="$root/fuzz/corpus/$name"
  echo "== $name: running for ${seconds}s (log $log)" >&2
  # shellcheck disable=SC2086
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$out/$name-" \
      $(directive "$source" options) "$work" $seeds > "$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ $status -ne 0 ]; then
    tail -n 40 "$log" >&2
    failed=$((failed + 1))
    summary="$summary\n$name: FINDING (exit $status) after ${runs:-?} runs, see $log"
  else
    summary="$summary\n$name: ${runs:-?} runs in ${seconds}s, $replayed regression inputs, no finding"
  fi
done

printf "%b\n" "$summary" | sed '/^$/d'
[ $failed -eq 0 ]
