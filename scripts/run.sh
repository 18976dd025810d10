#!/usr/bin/env bash
# Starts the client. Without a display it starts a virtual one (Xvfb), saves a screenshot of the
# main window under the build folder and keeps running until Ctrl+C.
# Usage: scripts/run.sh <build folder>
set -euo pipefail
build=${1:-build}
client="$build/bin/RTCPIPCLIENT"
simulator="$build/bin/dispatchsim"

client_pid=
simulator_pid=
display_pid=
stop() {
    kill -TERM "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
# Ctrl+C reaches the client too; either way it closes as at "Afsluiten" (settings written, logs
# saved) while its display still runs, and only then go the simulator and the display.
cleanup() {
    trap - INT TERM EXIT
    [ -n "$client_pid" ] && stop "$client_pid"
    [ -n "$simulator_pid" ] && stop "$simulator_pid"
    [ -n "$display_pid" ] && stop "$display_pid"
    return 0
}
trap cleanup EXIT
trap 'cleanup; exit 0' INT TERM

# A dispatch host beside the client, so there is traffic to see at once.
if [ -x "$simulator" ]; then
    "$simulator" --port 4000 --period 5000 &
    simulator_pid=$!
fi

if [ -z "${DISPLAY:-}" ]; then
    display=:$((90 + RANDOM % 100))
    # In a session of its own, so the terminal's Ctrl+C does not end it under the client.
    setsid Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
    display_pid=$!
    export DISPLAY=$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

"$client" &
client_pid=$!
if [ -n "$display_pid" ]; then
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
fi
status=0
wait "$client_pid" || status=$?
client_pid=
exit "$status"
