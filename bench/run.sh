#!/bin/sh
# Runs the benchmarks a build made: first the Google Benchmark programs (one
# per hot path), then the end-to-end runs of the fuzzy batch methods over
# the sample data (dupe_search_bench, match_merge_bench), which are left out
# with a note when the data folder is missing. Every bench/*_bench.cc is one
# program; those with a main of their own are the end-to-end ones.
#
#   bench/run.sh [BUILD_DIR] [NAME...]
#
# BUILD_DIR is the build folder (default build, what `make bench` builds);
# NAME picks programs by their source name without _bench.cc (strings,
# dupe_search). The end-to-end runs take several minutes; run their
# programs directly for their options (--only, --ct, --1m). The grep and
# Python comparisons (grep_bench.sh, python_compare.py) need other tools
# and are run on their own.
#
# Exit status: 0 when every program ran and succeeded, 1 when one was not
# built or failed, 2 for a missing build folder.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
[ $# -gt 0 ] && shift
case $build in /*) ;; *) build=$(pwd)/$build ;; esac
if [ ! -d "$build/bench" ]; then
  echo "no benchmarks in $build/bench: configure with -DVEXLOR_BENCH=ON" \
    "(the default) and libbenchmark-dev installed, then build" >&2
  exit 2
fi
data="$root/../shared/data"

if [ $# -gt 0 ]; then
  names="$*"
else
  names=$(ls "$root"/bench/*_bench.cc | sed 's|.*/||; s|_bench\.cc$||')
fi
# Micro benchmarks first, end-to-end runs last.
micro=""
end_to_end=""
for name in $names; do
  if grep -q '^int main' "$root/bench/${name}_bench.cc" 2>/dev/null; then
    end_to_end="$end_to_end $name"
  else
    micro="$micro $name"
  fi
done

failed=0
for name in $micro $end_to_end; do
  binary="$build/bench/${name}_bench"
  if [ ! -x "$binary" ]; then
    echo "$name: $binary was not built" >&2
    failed=1
    continue
  fi
  case " $end_to_end " in
    *" $name "*)
      if [ ! -d "$data" ]; then
        echo "== $name: left out, no sample data in $data"
        continue
      fi
      ;;
  esac
  echo "== $name"
  "$binary" || { echo "$name: failed" >&2; failed=1; }
done
exit $failed
