#!/bin/sh
# Builds every libFuzzer target fuzz/*_fuzz.cc with clang (address and
# undefined-behaviour sanitizers) and runs each for a bounded time.
#
#   fuzz/run.sh [SECONDS] [NAME...]     SECONDS per target, default 60;
#                                       NAME picks targets (pattern = pattern_fuzz.cc)
#
# A target lists the library sources it needs, relative to the repository
# root, in a comment among its first lines:
#   // sources: vexlor/strings/pattern_compare.cc vexlor/platform/text.cc
# Seeds are read from fuzz/corpus/NAME/ (never written); inputs found while
# running go to fuzz/corpus-NAME/ (not tracked). Binaries, logs and crash
# inputs go to $FUZZ_BUILD_DIR (default build-fuzz/ in the repository).
# CXX picks the compiler (default clang++). Targets run one after another,
# one process each.
#
# Exit status: 0 when every target built and ran without a finding; 1 when a
# target failed to build or reported a crash, hang, leak or sanitizer error;
# 2 for bad arguments.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
case $seconds in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS] [NAME...]" >&2; exit 2 ;;
esac
out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${CXX:-clang++}
mkdir -p "$out" || exit 1

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

failed=0
summary=""
for source in $targets; do
  name=$(basename "$source" _fuzz.cc)
  if [ ! -f "$source" ]; then
    echo "$name: no such target $source" >&2
    failed=$((failed + 1)); summary="$summary\n$name: missing"; continue
  fi
  sources=$(head -n 5 "$source" | sed -n 's|^// *sources: *||p' | head -n 1)
  library=""
  for s in $sources; do library="$library $root/$s"; done
  binary="$out/${name}_fuzz"
  echo "== $name: building" >&2
  # shellcheck disable=SC2086
  if ! "$cxx" -std=c++20 -g -O1 -Wall -Wextra -Werror \
      -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
      -fno-omit-frame-pointer -I"$root" "$source" $library -o "$binary"; then
    failed=$((failed + 1)); summary="$summary\n$name: build failed"; continue
  fi

  work="$root/fuzz/corpus-$name"
  mkdir -p "$work"
  seeds=""
  [ -d "$root/fuzz/corpus/$name" ] && seeds="$root/fuzz/corpus/$name"
  log="$out/$name.log"
  echo "== $name: running for ${seconds}s (log $log)" >&2
  # shellcheck disable=SC2086
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$out/$name-" \
      "$work" $seeds > "$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ $status -ne 0 ]; then
    tail -n 40 "$log" >&2
    failed=$((failed + 1))
    summary="$summary\n$name: FINDING (exit $status) after ${runs:-?} runs, see $log"
  else
    summary="$summary\n$name: ${runs:-?} runs, no finding"
  fi
done

printf "%b\n" "$summary" | sed '/^$/d'
[ $failed -eq 0 ]
