#!/bin/sh
# Linkage quality of `vexlor match` against a truth file: each MASTER row is
# marked with one FILE row (--match-id); a mark is right when the FILE row's
# truth names that master row. Precision = right / marked, recall = right /
# master rows that have a true FILE row, F1 from the two; processor time of
# the whole command (user+sys) and its wall time.
#
#   bench/link_quality.sh BUILD_DIR MASTER FILE FILE_TRUTH COLUMNS "OPTIONS" ...
#
# FILE_TRUTH has columns id and master_id (empty for a new record), as
# incoming-10k.truth.csv.gz and persons-link-b.truth.csv. Example:
#   bench/link_quality.sh build /tmp/p/persons-link-a.csv \
#     /tmp/p/persons-link-b.csv /tmp/p/persons-link-b.truth.csv \
#     given_name,surname,... "--match best" "--match best --scoring estimated"
set -eu

build=$1
master=$2
file=$3
truth=$4
columns=$5
shift 5
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "| options | user+sys | wall | marked | right | precision | recall | F1 |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
for options in "$@"; do
  # shellcheck disable=SC2086 # the options are several flags
  /usr/bin/time -f "%U %S %e" -o "$out/time" "$build/vexlor" match \
    "$master" "$file" --id-column id --cluster "$columns" \
    --compare "$columns" --match-id --progress none -o "$out/result.csv" \
    $options
  times=$(cat "$out/time")
  python3 - "$out/result.csv" "$truth" "$options" "$times" <<'EOF'
import csv, gzip, sys

def rows(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt", encoding="utf-8", newline="") as f:
        return list(csv.DictReader(f))

result, truth, options, times = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
true_of = {}
for r in rows(truth):
    if r["master_id"]:
        true_of.setdefault(r["master_id"], set()).add(r["id"])
marked = right = 0
for r in rows(result):
    got = r.get("MatchID", "")
    if got and got != "0":
        marked += 1
        right += got in true_of.get(r["id"], ())
p = right / marked if marked else 0.0
rc = right / len(true_of) if true_of else 0.0
f1 = 2 * p * rc / (p + rc) if p + rc else 0.0
user, system, wall = (float(x) for x in times.split())
print(f"| `{options}` | {user + system:.2f} s | {wall:.2f} s | {marked} | {right} "
      f"| {p:.3f} | {rc:.3f} | {f1:.3f} |")
EOF
done
