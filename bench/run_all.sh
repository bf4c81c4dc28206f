#!/usr/bin/env bash
# Runs every benchmark of the project on this machine and writes
# docs/benchmarks.md. Usage: bash bench/run_all.sh [minutes of the long run, default 10]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
LONG_MINUTES="${1:-10}"
bash "$ROOT/scripts/setup.sh"
command -v /usr/bin/python3 >/dev/null && /usr/bin/python3 -c 'import matplotlib' 2>/dev/null || \
  { apt-get install -y -q --no-install-recommends python3-matplotlib >/dev/null; }
B="$ROOT/build-bench"
cmake -S "$ROOT" -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$B" --target vemo_bench vemo-recorder press-sim judging_bench >/dev/null
WORK="$(mktemp -d /tmp/vemo-benchrun-XXXXXX)"
trap 'pkill -f "$WORK" 2>/dev/null || true; rm -rf "$WORK"' EXIT
RESULTS="$WORK/results.txt"
: > "$RESULTS"
GUI="$ROOT/tests/run_gui.sh"

# Start-up: launch to the plot's first paint, and resident memory when idle.
mkdir -p "$WORK/app" && ln -s "$ROOT/icons" "$WORK/app/icons"
printf 'ip=127.0.0.1\nport=1\nautoconnect=false\nskipQuestion=true\n' > "$WORK/app/config.ini"
cat > "$WORK/startup.sh" <<SH
cd "$WORK/app"
for i in 1 2 3 4 5; do
  start=\$(date +%s%6N)
  paint=\$(VEMO_FIRST_PAINT_PROBE=1 "$B/vemo-recorder" 2>/dev/null | awk '/first-paint-us/ {print \$2}')
  echo "startup_first_paint_run \$(( (paint - start) / 1000 )) ms"
done
"$B/vemo-recorder" >/dev/null 2>&1 &
APP=\$!
sleep 5
echo "idle_rss \$(awk '/VmRSS/ {printf "%.1f", \$2/1024}' /proc/\$APP/status) MB"
kill \$APP
SH
bash "$GUI" bash "$WORK/startup.sh" >> "$RESULTS" 2>/dev/null

# In-process figures: decoding, per-reading step, repaint, report, latency, live redraw.
( cd "$B" && PRESS_SIM="$B/press-sim" bash "$GUI" ./bench/vemo_bench decode step repaint report latency live reconnect flood_60 2>/dev/null ) >> "$RESULTS"

# Judging a 13 000-sample recording by every kind of criterion, and teaching
# an envelope from 1 000 recordings (of 1 300 and of 13 000 samples).
"$B/bench/judging_bench" 1000 1300 >> "$RESULTS"
"$B/bench/judging_bench" 1000 13000 | grep teach_ >> "$RESULTS"

# The matplotlib recorder against press-sim, the same machine, the same run.
"$B/press-sim" --port 0 --log /dev/null > "$WORK/sim.txt" &
SIM=$!
sleep 0.3
PORT=$(sed 's/.*://' "$WORK/sim.txt")
/usr/bin/python3 "$ROOT/bench/mpl_recorder.py" "$PORT" 1000 40 >> "$RESULTS"
/usr/bin/python3 "$ROOT/bench/mpl_recorder.py" "$PORT" 13000 40 >> "$RESULTS"
kill $SIM

# CPU of the real program while connected and polling for 60 s.
"$B/press-sim" --port 0 --log /dev/null > "$WORK/sim2.txt" &
SIM=$!
sleep 0.3
PORT=$(sed 's/.*://' "$WORK/sim2.txt")
printf 'ip=127.0.0.1\nport=%s\nautoconnect=true\nskipQuestion=true\n' "$PORT" > "$WORK/app/config.ini"
cat > "$WORK/cpu.sh" <<SH
cd "$WORK/app"
"$B/vemo-recorder" >/dev/null 2>&1 &
APP=\$!
sleep 5
t0=\$(awk '{print \$14+\$15}' /proc/\$APP/stat)
sleep 60
t1=\$(awk '{print \$14+\$15}' /proc/\$APP/stat)
hz=\$(getconf CLK_TCK)
awk -v a=\$t0 -v b=\$t1 -v hz=\$hz 'BEGIN {printf "cpu_polling_60s %.3f %%\\n", (b-a)*100/hz/60}'
kill \$APP
SH
bash "$GUI" bash "$WORK/cpu.sh" >> "$RESULTS" 2>/dev/null
kill $SIM

# Memory over a long run with a recording every minute.
( cd "$B" && PRESS_SIM="$B/press-sim" bash "$GUI" ./bench/vemo_bench "longrun_$LONG_MINUTES" 2>/dev/null ) >> "$RESULTS"

/usr/bin/python3 "$ROOT/bench/write_report.py" "$RESULTS" "$LONG_MINUTES" > "$ROOT/docs/benchmarks.md"
cat "$ROOT/docs/benchmarks.md"
