#!/usr/bin/env bash
# Runs a GUI test program in a virtual 1366 x 768 screen with a window manager
# (without one a maximised frame stays at its initial size).
set -euo pipefail
exec xvfb-run -a -s "-screen 0 1366x768x24" bash -c 'matchbox-window-manager -use_titlebar no >/dev/null 2>&1 & sleep 0.3; "$@"' _ "$@"
