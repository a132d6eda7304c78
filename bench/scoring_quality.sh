#!/bin/sh
# Scoring=Mean against Scoring=Estimated through the command line: for each
# table and each set of extra options, `vexlor dupes` with the benchmark
# settings of the data folder's README (id the IDColumnIndex, first_name to
# city clustered and compared with weight 1, phone and email off, Threshold
# 80, ClusterThreshold 0.5, labels from a fixed seed), then precision,
# recall and F1 from bench/group_quality.py --result. Times are those of
# the whole command (reading and writing the file included): the best of
# RUNS runs of user+sys processor time, with the wall time of that run and
# the load average beside it.
#
#   bench/scoring_quality.sh BUILD_DIR TABLE "OPTIONS" ["OPTIONS" ...]
#
# TABLE: customers-10k, customers-100k ... (in ../shared/data). OPTIONS:
# extra command line flags, e.g. "--grouping clique --swap 1,2 --scoring
# estimated". RUNS (environment, default 3) sets the repetitions; DATA
# another data folder and COLUMNS its compared columns (the person tables
# of bench/make_persons.py: DATA=/tmp/persons COLUMNS=given_name,...).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
table=$2
shift 2
data=${DATA:-"$root/../shared/data"}
file="$data/$table.csv"
[ -e "$file" ] || file="$file.gz"
runs=${RUNS:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
columns=${COLUMNS:-first_name,last_name,company,street,postcode,city}

echo "| table | options | user+sys | wall | load | precision | recall | F1 |"
echo "|---|---|---:|---:|---:|---:|---:|---:|"
for options in "$@"; do
  best=""
  for _ in $(seq "$runs"); do
    # shellcheck disable=SC2086 # the options are several flags
    /usr/bin/time -f "%U %S %e" -o "$out/time" "$build/vexlor" dupes "$file" \
      --id-column id --cluster $columns --compare $columns --label-seed 1 \
      --progress none -o "$out/result.csv" $options
    set -- $(cat "$out/time")
    cpu=$(awk "BEGIN { print $1 + $2 }")
    if [ -z "$best" ] || awk "BEGIN { exit !($cpu < $best) }"; then
      best=$cpu
      wall=$3
    fi
  done
  load=$(cut -d' ' -f1 /proc/loadavg)
  quality=$(python3 "$root/bench/group_quality.py" "$table" --data "$data" \
    --result "$out/result.csv" | tail -1 | cut -d'|' -f5-7)
  echo "| $table | \`$options\` | $best s | $wall s | $load |$quality|"
done
