#!/usr/bin/env bash
# Sets up a fresh machine, builds, starts the module emulator (the default module, no
# hardware needed) and then the utility. Stopping the utility stops the emulator.
# Without a display the utility runs on a virtual one and a screenshot of its main
# window is saved; it then runs until Ctrl+C (or for KV_RUN_SECONDS seconds if set).
#   scripts/run.sh            the Linux build
#   scripts/run.sh windows32  the Windows build of the windows (W_KV3380U.exe) under wine,
#                             set to reach the emulator over "LAN QUDP" (QQUDP.DLL)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
flavour=${1:-default}
case "$flavour" in
    default | windows32) ;;
    *) echo "run: unknown flavour $flavour (default, windows32)" >&2; exit 2 ;;
esac

bash scripts/deps.sh
bash scripts/build.sh default
bin=$root/build/bin
if [ "$flavour" = windows32 ]; then
    bash scripts/build.sh windows32
    winbin=$root/build-windows32/bin
    if ! grep -q '^KV_BUILD_GUI:BOOL=ON' "$root/build-windows32/CMakeCache.txt"; then
        echo "run: the windows were not built for Windows (no Qt for Windows, see above)" >&2
        exit 1
    fi
    # Its own wine prefix: the tests' prefix runs programs without a display.
    export KV_WINEPREFIX=${KV_WINEPREFIX:-$root/build-wine/prefix-display}
fi

state_dir=${XDG_STATE_HOME:-$HOME/.local/state}/kv3380u
mkdir -p "$state_dir"
emu_log=$state_dir/emulator.log

pids=()
# Stops what this script started, last first: the utility closes (and saves its
# settings) while its display and the emulator are still there.
cleanup() {
    # Under wine a signal ends the program without closing its window: ask it to close
    # (WM_CLOSE), as the desktop would, and wait for wine to finish.
    if [ "$flavour" = windows32 ] && [ ${#pids[@]} -gt 1 ]; then
        timeout 20 bash "$root/scripts/wine-run.sh" taskkill /IM W_KV3380U.exe >/dev/null 2>&1 || true
        WINEPREFIX=$KV_WINEPREFIX timeout 20 wineserver -w 2>/dev/null || true
    fi
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

# The utility's command: the Linux program, or the Windows one under wine, which then
# keeps its settings beside it in build-windows32/bin; a first run there is set to reach
# the emulator's remote management port over "LAN QUDP" (the virtual USB device is a Unix
# socket that Windows programs cannot reach). Wine's GDI draws no text in Qt's windows;
# FreeType does.
utility=("$bin/W_KV3380U")
if [ "$flavour" = windows32 ]; then
    utility=(bash "$root/scripts/wine-run.sh" "$winbin/W_KV3380U.exe" -platform windows:fontengine=freetype)
    if [ ! -f "$winbin/W_kv3380u.ini" ]; then
        port=$(sed -n 's/^udp .*:\([0-9]*\) remote management$/\1/p' "$emu_log")
        printf '[P\xf8ipojen\xed]\r\nRozhran\xed=LAN QUDP\r\n[LAN QUDP]\r\nC\xedlov\xe1 IP adresa=127.0.0.2\r\nC\xedlov\xfd port=%s\r\n' \
            "$port" >"$winbin/W_kv3380u.ini"
    fi
fi

if [ -n "${DISPLAY:-}" ] || { [ "$flavour" = default ] && [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    echo "run: starting the utility ${utility[*]}"
    KV_WINE_DISPLAY=${DISPLAY:-} "${utility[@]}"
    exit 0
fi

echo "run: there is no display; running the utility on a virtual display (Xvfb)"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display KV_WINE_DISPLAY=$display
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"${utility[@]}" &
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
