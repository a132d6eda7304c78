#!/bin/sh
# The quick-start demo: the single-string methods on a few sample names.
set -e
VEXLOR=${1:-build/vexlor}
run() { printf '$ vexlor %s\n' "$*"; "$VEXLOR" "$@"; echo; }

run normalize "Müller GmbH & Co. KG" "Prof. Dr. med. Hans von Goethe" "Hauptstraße 5"
run distance "Meier" "Meyer"
run difference "Schmidt" "Schmitt"
run soundex Robert Rupert Tymczak
run metaphone Peters Knight
run dmetaphone Thompson Xavier Filipowicz
run compare "Hello World" "W?rld"
run call Difference "Hauptstraße 12" "Hauptstr. 12"
