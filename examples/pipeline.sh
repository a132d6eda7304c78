#!/bin/sh
# Find duplicate customers, then keep the first record of each group.
set -e
VEXLOR=${VEXLOR:-vexlor}
IN=${1:-$(dirname "$0")/customers-1k.csv}
"$VEXLOR" dupes "$IN" --id-column id --cluster first_name,last_name,street,city \
    --compare first_name,last_name,company,street,postcode,city --progress none |
  "$VEXLOR" delete-dupes - --keep first --progress none
