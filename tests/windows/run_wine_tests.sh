#!/usr/bin/env bash
# The Windows build under Wine: the display-free unit tests (the transport and
# the link against press-sim.exe on 127.0.0.1 through Windows Sockets), a smoke
# test of vemo-recorder.exe driven through its window under Xvfb, and the
# installer installed, started and removed silently.
# usage: run_wine_tests.sh BUILD_DIR
set -euo pipefail
B="$(cd "$1" && pwd)"
SRC="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vemo}"
W="$(mktemp -d /tmp/vemo-wine-XXXXXX)"
PG="$(mktemp -d /tmp/vemo-wine-pg-XXXXXX)"
cleanup() {
  pkill -f "vemo-recorder.exe" 2>/dev/null || true
  pkill -f "press-sim.exe" 2>/dev/null || true
  # The plant server by its PID.
  [ -f "$PG/data/postmaster.pid" ] && kill -INT "$(head -1 "$PG/data/postmaster.pid")" 2>/dev/null || true
  sleep 1
  rm -rf "$W" "$PG"
}
trap cleanup EXIT
[ -n "${KEEP:-}" ] && trap - EXIT
winpath() { echo "Z:${1//\//\\}"; }
fail=0

echo "== unit tests under Wine"
wineboot -i >/dev/null 2>&1 || true # the first start makes the prefix
timeout 120 wineserver -w || true
unit() { (cd "$B" && timeout 600 wine tests/unit_tests.exe "$@" 2>&1 | tr -d '\r' | grep -v '^0x'); }
if [ -n "${SKIP_UNIT:-}" ]; then
  :
elif unit > "$W/unit.txt"; then
  tail -3 "$W/unit.txt"
else
  # Timing tests may miss on a loaded machine: failures are run once more alone.
  tail -8 "$W/unit.txt"
  failed=$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_.]*\)$/\1/p' "$W/unit.txt" | sort -u | paste -sd: -)
  if [ -n "$failed" ] && unit --gtest_filter="$failed" > "$W/again.txt"; then
    echo "passed when run again alone: $failed"
  else
    cat "$W/again.txt" 2>/dev/null || true
    echo "FAIL: unit tests under Wine"; fail=1
  fi
fi

echo "== vemo-recorder.exe under Wine and Xvfb"
S="$W/smoke"; mkdir -p "$S/reports"
cp -r "$SRC/icons" "$S/icons"
echo "1250:P0" > "$S/superfici.ini"
printf 'i001\r\n' > "$S/init.ini"
(cd "$B" && wine press-sim.exe --port 0 --count 10 --unpadded --log "$(winpath "$S/sim.log")" > "$S/port.txt" 2>/dev/null &)
for _ in $(seq 100); do [ -s "$S/port.txt" ] && break; sleep 0.2; done
PORT=$(sed 's/.*://' "$S/port.txt" | tr -d '\r')
sleep 5 # Wine's own services finish starting
printf 'ip=127.0.0.1\r\nport=%s\r\nautoconnect=true\r\nskipQuestion=true\r\noperator=OP1\r\ndir_path=%s\r\n' \
  "$PORT" "$(winpath "$S/reports" | sed 's/\\/\\\\/g')" > "$S/config.ini"
# A plant server of the test's own on 127.0.0.1 (PostgreSQL, as the postgres
# user when the tests run as root): the recording must reach it from Windows,
# logged in with a password from libpq's password file, over TLS with the
# server's certificate (made here, signed by a CA of the test's own) verified.
PGBIN=/usr/lib/postgresql/15/bin
pgrun() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
echo admin-secret > "$PG/pw"
(cd "$PG" && ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes" &&
 openssl req -x509 $ec -days 3 -subj /CN=vemo-test-ca -keyout ca.key -out ca.crt &&
 openssl req $ec -subj /CN=127.0.0.1 -keyout server.key -out server.csr &&
 echo "subjectAltName=IP:127.0.0.1" > server.ext &&
 openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 3 \
   -extfile server.ext -out server.crt && chmod 600 server.key) > "$PG/certificates.log" 2>&1
[ "$(id -u)" = 0 ] && chown -R postgres "$PG"
PGPORT=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
pgsql() { PGPASSWORD=admin-secret psql -h 127.0.0.1 -p "$PGPORT" -U admin -X -q -tA "$@"; }
plant=0
if pgrun "$PGBIN/initdb" -D "$PG/data" -U admin --auth=scram-sha-256 --pwfile="$PG/pw" \
     --no-sync -E UTF8 > "$PG/initdb.log" 2>&1; then
  (pgrun "$PGBIN/postgres" -D "$PG/data" -h 127.0.0.1 -p "$PGPORT" -k "$PG" -c fsync=off \
     -c ssl=on -c ssl_cert_file="$PG/server.crt" -c ssl_key_file="$PG/server.key" \
     > "$PG/server.log" 2>&1 &)
  for _ in $(seq 100); do pgsql -d postgres -c 'SELECT 1' >/dev/null 2>&1 && plant=1 && break; sleep 0.3; done
fi
if [ "$plant" = 1 ]; then
  pgsql -d postgres -c "CREATE ROLE press3 LOGIN PASSWORD 'press3-secret'" \
    -c "CREATE DATABASE presses OWNER press3"
  printf '127.0.0.1:%s:presses:press3:press3-secret\r\n' "$PGPORT" > "$S/pgpass.conf"
  # In a connection string a backslash escapes: the path with forward slashes.
  printf 'records_server=host=127.0.0.1 port=%s dbname=presses user=press3 passfile=Z:%s sslrootcert=Z:%s\r\n' \
    "$PGPORT" "$S/pgpass.conf" "$PG/ca.crt" >> "$S/config.ini"
else
  echo "FAIL: no plant server for the smoke test (see $PG/initdb.log)"; fail=1
fi
cat > "$S/drive.sh" <<SH
set -eu
cd "$S"
wine "$B/vemo-recorder.exe" > app.out 2> app.err &
timeout 60 xdotool search --sync --name "^Vemo Press" >/dev/null
sleep 8
import -window root window.png
# The shift's operator is kept in config.ini: the window opens in the axle
# field. The axle is typed, F5 starts and F6 stops, as an operator does
# without the mouse.
# A click on the banner brings the window forward, as the window manager
# does for a new window; the banner takes no focus of its own.
for _ in 1 2 3; do
  xdotool mousemove 300 45 click 1
  sleep 1
  xdotool type --delay 60 AX1
  sleep 1
  xdotool key F5
  sleep 3
  ls "$S"/reports/recordings/*.csv >/dev/null 2>&1 && break
done
sleep 4
xdotool key F6
sleep 3
import -window root asked.png
xdotool key Return
sleep 4
import -window root created.png
xdotool key Return
sleep 4
import -window root written.png
# "Report Created" is closed, and the program with it.
xdotool key Return
sleep 1
SH
timeout 120 bash "$SRC/tests/run_gui.sh" bash "$S/drive.sh" || true
polls=$(grep -c 'p000' "$S/sim.log" || true)
init=$(grep -c 'i001' "$S/sim.log" || true)
echo "module log: $init start-up command(s), $polls polls"
/usr/bin/python3 - "$S/sim.log" <<'PY'
import statistics, sys
t = [float(l.split()[0]) for l in open(sys.argv[1]) if l.split()[1:2] == ["p000\\r"]]
gaps = [b - a for a, b in zip(t, t[1:])]
print("poll gap median %.1f ms over %d polls" % (statistics.median(gaps), len(gaps)))
assert 70 <= statistics.median(gaps) <= 85
PY
[ "$init" -ge 1 ] || { echo "FAIL: no start-up command"; fail=1; }
PDF=$(ls "$S"/reports/*.pdf 2>/dev/null | head -1 || true)
CSV=$(ls "$S"/reports/*.csv 2>/dev/null | head -1 || true)
if [ -z "$PDF" ] || [ -z "$CSV" ]; then
  echo "FAIL: no report written (screenshots kept in $SRC/build-win-smoke)"; fail=1
  mkdir -p "$SRC/build-win-smoke" && cp "$S"/*.png "$S"/app.err "$SRC/build-win-smoke/" 2>/dev/null || true
else
  pdftotext "$PDF" - | grep -q "Operator ID" || { echo "FAIL: the PDF has no page text"; fail=1; }
  /usr/bin/python3 - "$CSV" <<'PY'
import sys
rows = [l.strip().split(",") for l in open(sys.argv[1]) if l[0].isdigit()]
bars = [int(r[2]) for r in rows]
times = [float(r[0]) for r in rows]
assert len(rows) >= 40, "only %d samples" % len(rows)
assert all(b == a + 1 for a, b in zip(bars, bars[1:])), "readings missing or repeated"
assert all(b > a for a, b in zip(times, times[1:])), "times not increasing"
print("report: %d samples over %.2f s, every reading once" % (len(rows), times[-1]))
PY
  # The page proves its data on Windows too: the check answers in the
  # console it was started from, and names a CSV file changed by one digit.
  verify() { (cd "$S" && timeout 60 wine "$B/vemo-recorder.exe" --verify "$(winpath "$1")" 2>/dev/null | tr -d '\r'); }
  answer=$(verify "$PDF" || true)
  echo "verify: $answer"
  echo "$answer" | grep -q "^OK: report " || { echo "FAIL: --verify of the page"; fail=1; }
  /usr/bin/python3 - "$CSV" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
at = data.rindex(b",", 0, len(data) - 1) - 1  # the last force's last digit
data = data[:at] + (b"1" if data[at:at + 1] != b"1" else b"2") + data[at + 1:]
open(sys.argv[1], "wb").write(data)
PY
  answer=$(verify "$PDF" || true)
  echo "verify after a digit changed: $answer"
  echo "$answer" | grep -q "^CHANGED: report .*is not the one the page names" || { echo "FAIL: --verify missed a changed CSV file"; fail=1; }
  if [ "$plant" = 1 ]; then
    samples=$(grep -c '^[0-9]' "$CSV")
    arrived=""
    for _ in $(seq 60); do
      arrived=$(pgsql -d presses -c "SELECT axle || ' ' || side || ', ' || sample_count || ' samples, ' || result || ', ' || link FROM recordings" 2>/dev/null || true)
      [ -n "$arrived" ] && break; sleep 0.5
    done
    echo "plant server: ${arrived:-nothing arrived}"
    echo "$arrived" | grep -q "^AX1 A, $samples samples" || { echo "FAIL: the recording did not reach the plant server whole ($samples samples in the CSV file)"; fail=1; }
    echo "$arrived" | grep -q ", TLS, server verified$" || { echo "FAIL: the recording did not reach the plant server over TLS with the server verified"; fail=1; }
  fi
fi

pkill -f "press-sim.exe" 2>/dev/null || true

if ls "$B"/vemo-recorder-*-win64.exe >/dev/null 2>&1; then
  echo "== installer under Wine"
  bash "$SRC/tests/windows/installer_test.sh" "$(ls "$B"/vemo-recorder-*-win64.exe | head -1)" || fail=1
fi
[ "$fail" = 0 ] && echo "Windows tests passed"
exit "$fail"
