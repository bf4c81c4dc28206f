#!/usr/bin/env bash
# The alarm is heard: a PulseAudio server with a null sink records what the
# program plays, and sox measures it (0.5 for the tone, 0 for silence).
# usage: alarm_sound_test.sh ALARM_PROBE ALARM_WAV
set -euo pipefail
PROBE="$1"; WAV="$2"
command -v pulseaudio >/dev/null || { echo "pulseaudio not installed: skipped"; exit 0; }
export XDG_RUNTIME_DIR="$(mktemp -d)"
pulseaudio --daemonize=yes --exit-idle-time=-1 -n --load="module-null-sink sink_name=testsink" \
  --load=module-native-protocol-unix 2>/dev/null
trap 'pulseaudio --kill 2>/dev/null || true; rm -rf "$XDG_RUNTIME_DIR"' EXIT
sleep 1
pactl set-default-sink testsink
REC="$XDG_RUNTIME_DIR/rec.wav"
(timeout 4 parec -d testsink.monitor --file-format=wav "$REC" &)
sleep 0.5
CANBERRA_DRIVER=pulse "$PROBE" "$WAV"
sleep 2.5
AMP=$(sox "$REC" -n stat 2>&1 | awk '/Maximum amplitude/ {print $3}')
echo "maximum amplitude recorded: $AMP"
awk -v a="$AMP" 'BEGIN { exit !(a > 0.3) }'
