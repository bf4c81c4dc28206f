#!/usr/bin/env bash
# The commands that need no display: `vemo-recorder --import DIR` reads a
# folder of reports into the record store of the working directory once and
# says what it did; `--verify-store` walks the store's chain and names the
# record changed with a database tool; `--verify` on a file that names no
# report cannot verify it and says so.
# usage: command_line_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
B="$(cd "$1" && pwd)"; SRC="$(cd "$2" && pwd)"
W="$(mktemp -d /tmp/vemo-import-XXXXXX)"
trap 'rm -rf "$W"' EXIT
mkdir "$W/reports"
printf 'time_s,force_t\n0,12.75\n0.075,25.5\n' > "$W/reports/Report_Mounting_AX7B_20250301.csv"
printf '# operator_id,"OP7"\n# axle_designation,"AX8"\n# mounting_side,"A"\n# stop_date,"2026-12-08"\n# stop_time,"18:40:22"\ntime_s,force_t,pressure_bar\n0.000,12.7500,10\n' \
  > "$W/reports/Report_Mounting_AX8A_20261208.csv"
echo "nothing" > "$W/reports/Report_Mounting_bad_20250301.csv"
cd "$W"
first=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --import "$W/reports")
second=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --import "$W/reports")
echo "$first"; echo "$second"
[ "$(echo "$first" | head -1)" = "2 reports read, 0 already in the store, 1 skipped:" ] || { echo "FAIL: first import"; exit 1; }
echo "$first" | grep -q "Report_Mounting_bad_20250301.csv: no \"time_s,force_t\" column line" || { echo "FAIL: no reason"; exit 1; }
[ "$(echo "$second" | head -1)" = "0 reports read, 2 already in the store, 1 skipped:" ] || { echo "FAIL: second import"; exit 1; }
/usr/bin/python3 -c "
import sqlite3; rows = sqlite3.connect('$W/records.db').execute('SELECT axle, side FROM recordings ORDER BY stopped_at').fetchall()
assert rows == [('AX7', 'B'), ('AX8', 'A')], rows"
set +e
store=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --verify-store); rc=$?
echo "$store"
[ $rc = 0 ] && [ "$store" = "OK: the record store records.db holds 2 recordings and 0 changes, each linked to the one before." ] || { echo "FAIL: whole store ($rc)"; exit 1; }
/usr/bin/python3 -c "
import sqlite3; db = sqlite3.connect('$W/records.db'); db.execute(\"UPDATE recordings SET axle = 'AX9' WHERE axle = 'AX8'\"); db.commit()"
store=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --verify-store); rc=$?
echo "$store"
[ $rc = 1 ] || { echo "FAIL: a changed record passed ($rc)"; exit 1; }
echo "$store" | grep -q "^CHANGED: in the record store records.db, recording 2 (report .*, axle AX9 A) was changed after it was written.$" || { echo "FAIL: the changed record is not named"; exit 1; }
file=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --verify "$W/reports/Report_Mounting_AX7B_20250301.csv"); rc=$?
echo "$file"
[ $rc = 2 ] && echo "$file" | grep -q "^CANNOT VERIFY: Report_Mounting_AX7B_20250301.csv names no report" || { echo "FAIL: a file without a report id ($rc)"; exit 1; }
echo "command line test passed"
