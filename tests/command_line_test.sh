#!/usr/bin/env bash
# The commands that need no display: `vemo-recorder --import DIR` reads a
# folder of reports into the record store of the working directory once and
# says what it did; `--verify-store` walks the store's chain and names the
# record changed with a database tool; `--verify` on a file that names no
# report cannot verify it and says so; `--help` tells the usage and makes
# nothing.
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
[ $rc = 0 ] && [ "$store" = "OK: the record store records.db holds 2 recordings, 0 changes and 0 printed pages, each linked to the one before (by this PC's store alone, which cannot prove it was not rewritten by someone with the PC's files)." ] || { echo "FAIL: whole store ($rc)"; exit 1; }
/usr/bin/python3 -c "
import sqlite3; db = sqlite3.connect('$W/records.db'); db.execute(\"UPDATE recordings SET axle = 'AX9' WHERE axle = 'AX8'\"); db.commit()"
store=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --verify-store); rc=$?
echo "$store"
[ $rc = 1 ] || { echo "FAIL: a changed record passed ($rc)"; exit 1; }
echo "$store" | grep -q "^CHANGED: in the record store records.db, recording 2 (report .*, axle AX9 A) was changed after it was written.$" || { echo "FAIL: the changed record is not named"; exit 1; }
file=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --verify "$W/reports/Report_Mounting_AX7B_20250301.csv"); rc=$?
echo "$file"
[ $rc = 2 ] && echo "$file" | grep -q "^CANNOT VERIFY: Report_Mounting_AX7B_20250301.csv names no report" || { echo "FAIL: a file without a report id ($rc)"; exit 1; }
# --evaluate and --teach: a program judges curve files as the program writes
# them, noisy and on a jittered clock, and teaches its envelope from 20 good ones.
mkdir "$W/curves"
/usr/bin/python3 - "$W/curves" <<'PY'
import random, sys
for k in range(21):
    random.seed(k); rows = []; t = 0.0; top = 400 + random.uniform(-2, 2)
    hold = 1.5 if k == 20 else 3.5
    step = lambda: 0.01 + random.uniform(-0.003, 0.003)
    while t < 2: rows.append((t, min(10 + 195 * t, 0.94 * top) + random.uniform(-.5, .5))); t += step()
    t0 = t
    while t - t0 < hold: rows.append((t, top + random.uniform(-.5, .5))); t += step()
    t0 = t
    while t - t0 < 1: rows.append((t, top * (1 - (t - t0)))); t += step()
    with open("%s/c%02d.csv" % (sys.argv[1], k), "w") as f:
        f.write('# Vemo Press Pressure Recorder 1.0.8\n# report_id,"id-%02d"\ntime_s,force_t,pressure_bar\n' % k)
        f.writelines("%.3f,%.4f,%d\n" % (t, v, round(v / 1.275)) for t, v in rows)
PY
cat > "$W/tbu.json" <<'JSON'
{"name": "TBU 130x230", "version": 1, "bearing": "TBU 130x230*",
 "criteria": [{"peak": {"min_t": 350, "max_t": 420}},
              {"hold": {"above_t": 390, "min_s": 3.0, "max_decay_pct": 2.0}},
              {"envelope": {"k_sigma": 4, "min_width_t": 8}}]}
JSON
out=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --evaluate "$W/curves/c00.csv" --program "$W/tbu.json" 2>&1); rc=$?
[ $rc = 2 ] && echo "$out" | grep -q "criterion 3 (envelope): not taught yet" || { echo "FAIL: untaught envelope ($rc): $out"; exit 1; }
out=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --teach "$W/tbu.json" "$W"/curves/c0*.csv 2>&1); rc=$?
[ $rc = 2 ] && echo "$out" | grep -q "at least 20 good curves; 10 given" || { echo "FAIL: teach from 10 ($rc): $out"; exit 1; }
out=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --teach "$W/tbu.json" "$W"/curves/c*.csv 2>&1); rc=$?
[ $rc = 2 ] && echo "$out" | grep -q "c20.csv: not a good mounting by the program (Result: FAIL (hold 1.5 s" || { echo "FAIL: a bad curve taught from ($rc): $out"; exit 1; }
out=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --teach "$W/tbu.json" "$W"/curves/c0*.csv "$W"/curves/c1*.csv 2>&1); rc=$?
echo "$out"
[ $rc = 0 ] && grep -q '"id-19"' "$W/tbu.json" || { echo "FAIL: not taught ($rc)"; exit 1; }
out=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --evaluate "$W/curves/c03.csv" --program "$W/tbu.json"); rc=$?
echo "$out"
[ $rc = 0 ] && [ "$(echo "$out" | tail -1)" = "Result: PASS" ] || { echo "FAIL: a good curve ($rc)"; exit 1; }
out=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --evaluate "$W/curves/c20.csv" --program "$W/tbu.json"); rc=$?
[ $rc = 1 ] && echo "$out" | grep -q "^NOK  hold 1.5 s" || { echo "FAIL: a short hold ($rc): $out"; exit 1; }
out=$(env -u DISPLAY timeout 60 "$B/vemo-recorder" --evaluate "$W/none.csv" --program "$W/tbu.json" 2>&1); rc=$?
[ $rc = 2 ] && [ "$out" = "$W/none.csv: cannot be read" ] || { echo "FAIL: a missing file ($rc): $out"; exit 1; }
# --help: the usage, without a display, and nothing made where it is asked.
mkdir "$W/empty"
out=$(cd "$W/empty" && env -u DISPLAY timeout 60 "$B/vemo-recorder" --help); rc=$?
[ $rc = 0 ] && echo "$out" | grep -q "^       vemo-recorder --statistics \[--press NAME\]" \
  && echo "$out" | grep -q "^       vemo-recorder --verify FILE$" || { echo "FAIL: --help ($rc): $out"; exit 1; }
[ -z "$(ls -A "$W/empty")" ] || { echo "FAIL: --help made $(ls -A "$W/empty")"; exit 1; }
echo "command line test passed"
