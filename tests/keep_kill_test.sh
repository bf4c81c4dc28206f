#!/usr/bin/env bash
# The press job killed with SIGKILL at random moments, again and again: while
# recording, right after a recording was handed to the store (the moment that
# used to lose it), and while the next start brings journals in. After a last
# start every recording is in the store once, with every sample its journal
# holds, every journal has its end and is marked stored, and the store's
# chain holds.
# usage: keep_kill_test.sh BUILD_DIR SOURCE_DIR [ROUNDS]
set -euo pipefail
B="$(cd "$1" && pwd)"; SRC="$(cd "$2" && pwd)"; ROUNDS="${3:-24}"
W="$(mktemp -d /tmp/vemo-keep-XXXXXX)"
trap 'kill ${SIM:-} 2>/dev/null || true; [ -n "${KEEP_W:-}" ] || rm -rf "$W"' EXIT
# A stroke of 1.6 s, over and over: at rest, up to 300 bar, held, released.
printf '0,0\n0.3,0\n0.5,300\n1.1,300\n1.2,0\n1.6,0\n' > "$W/stroke.csv"
"$B/press-sim" --port 0 --profile "$W/stroke.csv" --unpadded --log "$W/sim.log" > "$W/port.txt" &
SIM=$!
for _ in $(seq 50); do [ -s "$W/port.txt" ] && break; sleep 0.1; done
PORT=$(sed 's/.*://' "$W/port.txt")

RANDOM=4711
kills=0
for round in $(seq "$ROUNDS"); do
  case $((round % 3)) in
    0) "$B/tests/keep_driver" "$W" "$PORT" 3 --seed "$round" 2>>"$W/driver.err" &
       PID=$!
       sleep "$((RANDOM % 5)).$((RANDOM % 10))"
       kill -9 "$PID" 2>/dev/null || true ;;
    1) "$B/tests/keep_driver" "$W" "$PORT" 3 --die-after-keep --seed "$round" 2>>"$W/driver.err" &
       PID=$! ;;
    2) "$B/tests/keep_driver" "$W" "$PORT" 0 --die-in-recovery --seed "$round" 2>>"$W/driver.err" &
       PID=$! ;;
  esac
  status=0; wait "$PID" || status=$?
  [ "$status" -eq 137 ] && kills=$((kills + 1))
  if [ "$status" -ne 0 ] && [ "$status" -ne 137 ]; then
    echo "FAIL: round $round ended with $status"; tail -5 "$W/driver.err"; exit 1
  fi
done
# The last start, not killed.
"$B/tests/keep_driver" "$W" "$PORT" 0 2>>"$W/driver.err"
echo "$ROUNDS rounds, $kills killed"

/usr/bin/python3 - "$W" <<'PY'
import glob, sqlite3, sys
w = sys.argv[1]
db = sqlite3.connect(w + "/records.db")
rows = db.execute("SELECT uuid, status, sample_count FROM recordings").fetchall()
uuids = [r[0] for r in rows]
dups = {u for u in uuids if uuids.count(u) > 1}
assert not dups, "recordings stored twice: %s" % dups
stored = {r[0]: r for r in rows}
journals = 0
for path in sorted(glob.glob(w + "/recordings/*.csv")):
    lines = open(path).read().splitlines()
    if not any(l.startswith("# recording_start,") for l in lines):
        continue
    journals += 1
    assert lines[-1].startswith("# stored,"), "%s is not marked stored: %s" % (path, lines[-1])
    assert lines[-2].startswith("# end,"), "%s has no end: %s" % (path, lines[-2])
    uuid = next(l.split(",", 1)[1].strip('"') for l in lines if l.startswith("# uuid,"))
    assert uuid in stored, "%s is in no store" % path
    samples = sum(1 for l in lines if l[:1].isdigit() and l.count(",") == 2 and not l.endswith(","))
    whole = lines[-3].startswith("# stopped_s,")
    _, status, count = stored[uuid]
    assert status == ("complete" if whole else "interrupted"), (path, status, lines[-3:])
    assert count == samples, "%s: %d samples stored, %d in the journal" % (path, count, samples)
assert journals == len(rows), "%d journals with a recording, %d stored" % (journals, len(rows))
assert journals >= 8, "only %d recordings made" % journals
print("%d recordings, each once in the store with every sample of its journal" % journals)
PY
cd "$W" && "$B/vemo-recorder" --verify-store
echo "keep kill test passed"
