#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, starts the installed
# program under Xvfb as the desktop entry does and checks that it shows its
# window, finds its icons and creates its per-user working directory.
# usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
B="$1"; SRC="$2"
if [ "$(id -u)" != 0 ]; then echo "not root: package test skipped"; exit 0; fi
cd "$B"
rm -f vemo-recorder_*.deb
cpack -G DEB >/dev/null
DEB=$(ls vemo-recorder_*.deb)
dpkg-deb --info "$DEB" | grep -E "Depends" 
dpkg-deb --contents "$DEB" | grep -E "usr/bin/vemo-recorder|usr/bin/press-sim|alarm.wav|logo.jpg|applications/vemo-recorder.desktop|vemo-recorder.png"
apt-get install -y -q "./$DEB" >/dev/null
trap 'apt-get remove -y -q vemo-recorder >/dev/null 2>&1 || true' EXIT
HOME_DIR=$(mktemp -d)
EXEC=$(sed -n 's/^Exec=//p' /usr/share/applications/vemo-recorder.desktop)
cd "$HOME_DIR"
OUT=$(HOME="$HOME_DIR" XDG_DATA_HOME= bash "$SRC/tests/run_gui.sh" bash -c "VEMO_FIRST_PAINT_PROBE=1 $EXEC" 2>"$HOME_DIR/stderr.txt" || true)
echo "$OUT"
cat "$HOME_DIR/stderr.txt"
echo "$OUT" | grep -q first-paint-us || { echo "FAIL: the installed program showed no window"; exit 1; }
if grep -q "Failed to load image\|can't open file" "$HOME_DIR/stderr.txt"; then echo "FAIL: icons not found"; exit 1; fi
[ -d "$HOME_DIR/.local/share/vemo-recorder" ] || { echo "FAIL: no per-user working directory"; exit 1; }
press-sim --help | head -1
echo "package test passed"
