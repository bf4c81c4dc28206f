#!/usr/bin/env bash
# Runs a GUI test program in a virtual screen with a window manager (without
# one a maximised frame stays at its initial size). The screen is 1366 x 768
# unless VEMO_SCREEN says otherwise ("1920x1080"); VEMO_TITLEBAR=yes gives
# windows a title bar, as on the plant's PCs.
set -euo pipefail
screen="${VEMO_SCREEN:-1366x768}"
export VEMO_TITLEBAR="${VEMO_TITLEBAR:-no}"
# No test reaches a printer of the machine: the printing tests start their own.
export CUPS_SERVER="${CUPS_SERVER:-/nonexistent/vemo-tests-have-no-printer.sock}"
exec xvfb-run -a -s "-screen 0 ${screen}x24" bash -c 'matchbox-window-manager -use_titlebar "$VEMO_TITLEBAR" >/dev/null 2>&1 & sleep 0.3; "$@"' _ "$@"
