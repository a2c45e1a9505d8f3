#!/usr/bin/env bash
# Sets up a fresh machine, builds, starts the module emulator (the default module, no
# hardware needed) and then the utility. Stopping the utility stops the emulator.
# Without a display the utility runs on a virtual one and a screenshot of its main
# window is saved; it then runs until Ctrl+C (or for KV_RUN_SECONDS seconds if set).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/deps.sh
bash scripts/build.sh default
bin=$root/build/bin

state_dir=${XDG_STATE_HOME:-$HOME/.local/state}/kv3380u
mkdir -p "$state_dir"
emu_log=$state_dir/emulator.log

pids=()
# Stops what this script started, last first: the utility closes (and saves its
# settings) while its display and the emulator are still there.
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || continue
        for _ in $(seq 1 50); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
        kill -9 "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The emulator listens on 127.0.0.2 only; the utility's stored defaults (USB interface,
# first device found) reach it through its virtual USB device.
"$bin/kv3380u-emulator" --state "$state_dir/emulator.state" >"$emu_log" 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do
    grep -q '^ready' "$emu_log" 2>/dev/null && break
    kill -0 "${pids[0]}" 2>/dev/null || { cat "$emu_log" >&2; echo "run: the emulator did not start" >&2; exit 1; }
    sleep 0.1
done
echo "run: emulator started (log $emu_log):"
sed 's/^/    /' "$emu_log"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "run: starting the utility $bin/W_KV3380U"
    "$bin/W_KV3380U"
    exit 0
fi

echo "run: there is no display; running the utility on a virtual display (Xvfb)"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$bin/W_KV3380U" &
app=$!
pids+=($app)
shot=$state_dir/main-window.png
# The main window, once it is mapped (its caption names the module type).
window=
for _ in $(seq 1 100); do
    window=$(xwininfo -root -tree 2>/dev/null | awk '/KV-3380U/ && /nastaven/ {print $1; exit}')
    [ -n "$window" ] && break
    sleep 0.1
done
sleep 1
if import -window "${window:-root}" "$shot" 2>/dev/null; then
    echo "run: screenshot of the main window: $shot"
else
    echo "run: could not take a screenshot" >&2
fi
if [ -n "${KV_RUN_SECONDS:-}" ]; then
    echo "run: stopping after ${KV_RUN_SECONDS} s"
    sleep "$KV_RUN_SECONDS"
    exit 0
fi
echo "run: the utility runs on $DISPLAY; press Ctrl+C to stop it and the emulator"
wait "$app"
