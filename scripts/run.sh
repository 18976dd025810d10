#!/usr/bin/env bash
# Starts the client. Without a display it starts a virtual one (Xvfb), saves a screenshot of the
# main window under the build folder and keeps running until Ctrl+C.
# Usage: scripts/run.sh <build folder>
set -euo pipefail
build=${1:-build}
client="$build/bin/RTCPIPCLIENT"
simulator="$build/bin/dispatchsim"

pids=()
cleanup() {
    # Newest first: the client goes before the display it draws on.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 0' INT TERM

# A dispatch host beside the client, so there is traffic to see at once.
if [ -x "$simulator" ]; then
    "$simulator" --port 4000 --period 5000 &
    pids+=($!)
fi

if [ -n "${DISPLAY:-}" ]; then
    "$client" &
    pids+=($!)
    wait "${pids[-1]}"
    exit 0
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$client" &
client_pid=$!
pids+=($client_pid)
window=
for _ in $(seq 100); do
    window=$(xwininfo -root -tree 2>/dev/null | grep 'TCP/IP Cli' | awk '{print $1}' | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
sleep 1
shot="$(cd "$build" && pwd)/screenshot.png"
import -window "${window:-root}" "$shot"
echo "run: no display here; the client runs on the virtual display $display."
echo "run: screenshot of the main window: $shot"
echo "run: press Ctrl+C to stop."
wait "$client_pid"
