#!/usr/bin/env bash
# Builds the recorder and runs it against the simulated press module on
# 127.0.0.1, in the working directory run/, whose config.ini points at the
# simulator and connects at once. Nothing here talks to any other address.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PORT="${VEMO_SIM_PORT:-65100}"
bash "$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build" --target vemo-recorder press-sim

RUN="$ROOT/run"
mkdir -p "$RUN/reports"
ln -sfn "$ROOT/icons" "$RUN/icons"
# Settings of the demonstration: the simulator's address, autoconnect, no question.
if [ ! -f "$RUN/config.ini" ]; then
  cat > "$RUN/config.ini" <<CONF
ip=127.0.0.1
port=$PORT
autoconnect=true
superficie=0
dir_path=$RUN/reports
skipQuestion=true
CONF
fi
[ -f "$RUN/superfici.ini" ] || printf '1250:Press 1250 cm2,2010:Press 2010 cm2\n' > "$RUN/superfici.ini"
[ -f "$RUN/init.ini" ] || printf 'i001\n' > "$RUN/init.ini"

"$ROOT/build/press-sim" --port "$PORT" --log "$RUN/press-sim.log" &
SIM=$!
trap 'kill $SIM 2>/dev/null || true' EXIT INT TERM
sleep 0.3
cd "$RUN"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting under Xvfb (screenshots with 'import -window root')." >&2
  xvfb-run -a -s "-screen 0 1366x768x24" bash -c "matchbox-window-manager -use_titlebar no & '$ROOT/build/vemo-recorder'"
else
  "$ROOT/build/vemo-recorder"
fi
