#!/usr/bin/env bash
# Installs what the project needs, builds everything and runs every test:
# unit tests without a display, GUI and end-to-end tests in real windows under
# Xvfb against the press simulator on 127.0.0.1, and a short fuzzing run.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
bash "$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$ROOT/build"
cd "$ROOT/build"
ctest --output-on-failure
