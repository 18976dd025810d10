#!/usr/bin/env bash
# Renders the README's pictures of the window into docs/, on a virtual X display.
# Usage: scripts/docshots.sh [build folder]
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target docshots
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tools/docshots" "$(pwd)/docs"
