#!/bin/sh
# Throughput of `vexlor grep` against tre-agrep on ~100 MB of customer
# lines, for K = 0, 1 and 3 errors, same pattern, same file.
# Usage: bench/grep_bench.sh [BUILD_DIR]   (needs the tre-agrep package)
set -e
BUILD=${1:-build}
DATA=$(dirname "$0")/../../shared/data
TEXT=${TMPDIR:-/tmp}/vexlor_grep_bench.txt
if [ ! -f "$TEXT" ]; then
  gzip -dc "$DATA/customers-1m.csv.gz" > "$TEXT"
  gzip -dc "$DATA/customers-100k.csv.gz" >> "$TEXT"
  gzip -dc "$DATA/master-50k.csv.gz" >> "$TEXT"
fi
SIZE=$(stat -c %s "$TEXT")
echo "text: $SIZE bytes; pattern: Schmidt"
mbps() { awk -v s="$SIZE" -v t="$1" 'BEGIN { printf "%.0f", s / t / 1e6 }'; }
timed() {
  start=$(date +%s.%N)
  "$@" > /dev/null || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
printf '%-4s %16s %16s\n' K "vexlor MB/s" "tre-agrep MB/s"
for k in 0 1 3; do
  v=$(timed "$BUILD/vexlor" grep --max-errors "$k" Schmidt "$TEXT")
  if command -v tre-agrep > /dev/null; then
    t=$(timed tre-agrep -"$k" Schmidt "$TEXT")
    printf '%-4s %16s %16s\n' "$k" "$(mbps "$v")" "$(mbps "$t")"
  else
    printf '%-4s %16s %16s\n' "$k" "$(mbps "$v")" "n/a"
  fi
done
