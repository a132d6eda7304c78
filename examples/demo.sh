#!/bin/sh
# The quick-start demo: the duplicate search on a bundled sample of 1,000
# customer records, then a few single-string methods.
set -e
VEXLOR=${1:-build/vexlor}
HERE=$(dirname "$0")
OUT=$(mktemp)
trap 'rm -f "$OUT"' EXIT

echo '$ vexlor dupes examples/customers-1k.csv --id-column id \'
echo '      --cluster first_name,last_name,company,street,postcode,city \'
echo '      --compare first_name,last_name,company,street,postcode,city --return dupes'
"$VEXLOR" dupes "$HERE/customers-1k.csv" --id-column id \
  --cluster first_name,last_name,company,street,postcode,city \
  --compare first_name,last_name,company,street,postcode,city \
  --return dupes --label-seed 1 --progress none -o "$OUT"
head -n 25 "$OUT"
rows=$(($(wc -l < "$OUT") - 1))
groups=$(tail -n +2 "$OUT" | awk -F'"' '{print $(NF-1)}' | sort -u | wc -l)
echo "... $rows records in $groups groups of duplicates (of 1,000 records)"
echo

run() { printf '$ vexlor %s\n' "$*"; "$VEXLOR" "$@"; echo; }
run normalize "Müller GmbH & Co. KG" "Prof. Dr. med. Hans von Goethe"
run difference "Hauptstraße 12" "Hauptstr. 12"
run soundex Meier Meyer Maier
run dmetaphone Schmidt Smith
