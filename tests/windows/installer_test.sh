#!/usr/bin/env bash
# The Windows installer under Wine: installs silently, starts the installed
# program as its Start-menu shortcut does, checks the window and the per-user
# working directory, and uninstalls silently.
# usage: installer_test.sh INSTALLER.exe
set -euo pipefail
INSTALLER="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
SRC="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vemo}"
C="$WINEPREFIX/drive_c"
wine "$INSTALLER" /S
EXE=""
for _ in $(seq 120); do
  EXE=$(find "$C" -path "*Vemo Recorder/bin/vemo-recorder.exe" | head -1)
  [ -n "$EXE" ] && [ -n "$(find "$C" -name "Vemo Press Pressure Recorder.lnk")" ] && break
  sleep 0.5
done
sleep 1
[ -n "$EXE" ] || { echo "FAIL: the program was not installed"; exit 1; }
DIR="$(dirname "$(dirname "$EXE")")"
for f in bin/press-sim.exe share/vemo-recorder/icons/alarm.wav share/vemo-recorder/icons/logo.jpg Uninstall.exe; do
  [ -f "$DIR/$f" ] || { echo "FAIL: $f not installed"; exit 1; }
done
LINK=$(find "$C" -name "Vemo Press Pressure Recorder.lnk" | head -1)
[ -n "$LINK" ] || { echo "FAIL: no Start-menu shortcut"; exit 1; }
strings -e l "$LINK" | grep -q -- "--user-dir" || { echo "FAIL: the shortcut does not ask for the user directory"; exit 1; }
echo "installed in ${DIR#$C/}, shortcut ${LINK#$C/}"
# Started as the shortcut starts it, from a directory that is not its own.
OUT=$(cd /tmp && VEMO_FIRST_PAINT_PROBE=1 timeout 90 bash "$SRC/tests/run_gui.sh" \
        wine "$EXE" --user-dir 2>/tmp/vemo-installed.err || true)
echo "$OUT" | grep -q first-paint-us || { echo "FAIL: the installed program showed no window"; cat /tmp/vemo-installed.err; exit 1; }
if grep -q "Failed to load image\|can't open file" /tmp/vemo-installed.err; then echo "FAIL: icons not found"; exit 1; fi
APPDATA_DIR=$(find "$C/users" -maxdepth 4 -type d -path "*AppData/Roaming/vemo-recorder" | head -1)
[ -n "$APPDATA_DIR" ] || { echo "FAIL: no per-user working directory"; exit 1; }
echo "per-user directory: ${APPDATA_DIR#$C/}"
wine "$DIR/Uninstall.exe" /S
for _ in $(seq 120); do [ -f "$EXE" ] || break; sleep 0.5; done
[ ! -f "$EXE" ] || { echo "FAIL: the uninstaller left the program"; exit 1; }
echo "installer test passed"
