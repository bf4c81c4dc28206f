#!/usr/bin/env bash
# The real program killed (SIGKILL) in the middle of a recording: its journal
# holds every reading up to the last second before the kill, and the next start
# says so once.
# usage: kill_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
B="$(cd "$1" && pwd)"; SRC="$(cd "$2" && pwd)"
W="$(mktemp -d /tmp/vemo-kill-XXXXXX)"
trap 'pkill -f "$W" 2>/dev/null || true; kill ${SIM:-} 2>/dev/null || true; rm -rf "$W"' EXIT
ln -s "$SRC/icons" "$W/icons"
echo "1250:P0" > "$W/superfici.ini"
# Values count up by one per reply, so every reading can be found in the journal.
"$B/press-sim" --port 0 --count 10 --unpadded --log "$W/sim.log" --log-sends > "$W/port.txt" &
SIM=$!
for _ in $(seq 50); do [ -s "$W/port.txt" ] && break; sleep 0.1; done
PORT=$(sed 's/.*://' "$W/port.txt")
printf 'ip=127.0.0.1\nport=%s\nautoconnect=true\nskipQuestion=true\noperator=OP1\ndir_path=%s\n' "$PORT" "$W" > "$W/config.ini"

cat > "$W/run.sh" <<SH
set -euo pipefail
cd "$W"
# A window that goes away while xdotool walks the tree (the toolkit's own
# short-lived ones at start) fails that search: it is asked again.
find_window() {
  for _ in \$(seq 100); do
    found=\$(xdotool search --onlyvisible --name "\$1" 2>/dev/null | head -1 || true)
    [ -n "\$found" ] && { echo "\$found"; return 0; }
    sleep 0.2
  done
  return 1
}
"$B/vemo-recorder" 2> "$W/first.err" &
APP=\$!
WIN=\$(find_window "Vemo")
sleep 2
# The operator is kept from the last shift: the window opens in the axle
# field; the axle is typed and F5 starts.
xdotool windowactivate --sync "\$WIN" 2>/dev/null || true
for _ in 1 2 3 4 5; do
  ls "$W"/recordings/*.csv >/dev/null 2>&1 && break
  xdotool type --delay 50 "AX1"
  xdotool key F5
  sleep 1
done
ls "$W"/recordings/*.csv >/dev/null 2>&1 || { import -window root "$W/no-start.png"; echo "FAIL: no recording started"; exit 1; }
sleep 6
kill -9 \$APP
date +%s%6N > "$W/killed_at"
wait \$APP 2>/dev/null || true

# The next start reports the interrupted recording once.
"$B/vemo-recorder" 2> "$W/second.err" &
APP=\$!
told=0
for _ in \$(seq 100); do
  xdotool search --name "^Interrupted recording\$" >/dev/null 2>&1 && { told=1; break; }
  sleep 0.2
done
if [ "\$told" != 1 ]; then
  echo "FAIL: the next start did not report the interrupted recording"; kill \$APP; exit 1
fi
kill \$APP; wait \$APP 2>/dev/null || true
"$B/vemo-recorder" 2> "$W/third.err" &
APP=\$!
find_window "Vemo" >/dev/null
sleep 3
if xdotool search --name "^Interrupted recording\$" >/dev/null; then
  echo "FAIL: reported twice"; kill \$APP; exit 1
fi
kill \$APP; wait \$APP 2>/dev/null || true
SH
bash "$SRC/tests/run_gui.sh" bash "$W/run.sh"

JOURNAL=$(ls "$W"/recordings/*.csv | head -1)
tail -2 "$JOURNAL" | head -1 | grep -q "^# end,interrupted" || { echo "FAIL: journal not marked: $(tail -2 "$JOURNAL")"; exit 1; }
tail -1 "$JOURNAL" | grep -q "^# stored," || { echo "FAIL: journal not marked stored: $(tail -1 "$JOURNAL")"; exit 1; }
KILLED=$(cat "$W/killed_at")
/usr/bin/python3 - "$JOURNAL" "$W/sim.log" "$KILLED" <<'PY'
import sys
journal, simlog, killed = sys.argv[1], sys.argv[2], int(sys.argv[3])
bars = [int(l.split(",")[2]) for l in open(journal) if l[0].isdigit()]
sent = [(int(p[1]), int(p[2])) for p in (l.split() for l in open(simlog)) if p and p[0] == "send"]
assert len(bars) > 40, "only %d samples" % len(bars)
gaps = [(a, b) for a, b in zip(bars, bars[1:]) if b != a + 1]
assert not gaps, "samples missing or repeated: %s" % gaps[:5]
# Every reading sent up to a second before the kill is in the journal.
due = [bar for us, bar in sent if us <= killed - 1_000_000 and bar >= bars[0]]
assert due and bars[-1] >= due[-1], "last sample %d, sent a second before the kill %d" % (bars[-1], due[-1])
print("journal: %d samples %d..%d, every reading sent until a second before the kill" % (len(bars), bars[0], bars[-1]))
PY
# The next start kept the interrupted recording in the record store, once,
# with every sample of its journal.
/usr/bin/python3 - "$JOURNAL" "$W/records.db" <<'PY'
import sqlite3, sys
journal, db = sys.argv[1], sys.argv[2]
samples = sum(1 for l in open(journal) if l[0].isdigit())
rows = sqlite3.connect(db).execute("SELECT status, sample_count, incomplete FROM recordings").fetchall()
assert len(rows) == 1, "records: %s" % rows
status, count, incomplete = rows[0]
assert status == "interrupted" and count == samples, rows[0]
assert incomplete.startswith("interrupted at "), incomplete
print("record store: the interrupted recording with its %d samples" % count)
PY
echo "kill test passed"
