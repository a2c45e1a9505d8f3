# What the wine tests share (sourced): the Linux build's emulator on a loopback address
# of the test's own, program folders made from the Windows build, and kv3380u.exe run
# under wine. Set by CTest (tests/windows/CMakeLists.txt):
#   KV_SOURCE_DIR   the repository
#   KV_WINDOWS_BIN  the Windows build's bin folder (kv3380u.exe, the DLLs, fakes/)
#   KV_LINUX_BIN    the Linux build's bin folder (kv3380u-emulator, kv3380u)
set -euo pipefail
: "${KV_SOURCE_DIR:?}" "${KV_WINDOWS_BIN:?}" "${KV_LINUX_BIN:?}"

scratch=$(mktemp -d /tmp/kv-wine-test-XXXXXX)
emulator_pid=
extra_emulator_options=()
cleanup() {
    if [ -n "$emulator_pid" ]; then
        kill -TERM "$emulator_pid" 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
    fi
    for hook in "${cleanup_hooks[@]:-}"; do [ -n "$hook" ] && eval "$hook"; done
    chmod -R u+w "$scratch" 2>/dev/null || true
    rm -rf "$scratch"
}
cleanup_hooks=()
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

wine_run() {
    "$KV_SOURCE_DIR/scripts/wine-run.sh" "$@"
}

[ -x "$KV_LINUX_BIN/kv3380u-emulator" ] ||
    fail "no Linux build at $KV_LINUX_BIN (bash scripts/build.sh, then the Windows build)"

# start_emulator: the emulator (with extra_emulator_options) on 127.0.0.x (x from this shell's process number, never 1,
# where the clients live) with free ports; sets emulator_address and emulator_port (the
# remote management port, which kind 1 "LAN QUDP" talks to).
start_emulator() {
    emulator_address=127.0.0.$((2 + $$ % 250))
    mkdir -p "$scratch/emulator/usb"
    chmod 700 "$scratch/emulator/usb"
    # An emulator started before left its "ready" in out: the file goes first, or the wait
    # below could see that line before the new emulator's start empties the file.
    rm -f "$scratch/emulator/out" "$scratch/emulator/err"
    "$KV_LINUX_BIN/kv3380u-emulator" --address "$emulator_address" --port 0 --vlan-ports 0,0,0 \
        --state "$scratch/emulator/state" --usb-dir "$scratch/emulator/usb" --no-usb \
        --lifetime 300 "${extra_emulator_options[@]}" >"$scratch/emulator/out" \
        2>"$scratch/emulator/err" &
    emulator_pid=$!
    # A generous deadline for a loaded machine.
    local deadline=$((SECONDS + 60))
    while [ "$SECONDS" -lt "$deadline" ]; do
        grep -sqx ready "$scratch/emulator/out" && break
        kill -0 "$emulator_pid" 2>/dev/null || fail "the emulator ended: $(cat "$scratch/emulator/err")"
        sleep 0.05
    done
    grep -qx ready "$scratch/emulator/out" ||
        fail "the emulator is not ready: $(cat "$scratch/emulator/out" "$scratch/emulator/err")"
    emulator_port=$(sed -n 's/^udp .*:\([0-9]*\) remote management$/\1/p' "$scratch/emulator/out")
    [ -n "$emulator_port" ] || fail "no management port in: $(cat "$scratch/emulator/out")"
}

# program_folder DIR: kv3380u.exe and the eight transport libraries in DIR, as installed.
program_folder() {
    mkdir -p "$1"
    cp "$KV_WINDOWS_BIN/kv3380u.exe" "$KV_WINDOWS_BIN"/Q*.DLL "$1/"
}

# A Linux path as a Windows program names it: wine's drive Z: is the root.
winpath() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

# to_emulator: the options that name the emulator (kind 1, "LAN QUDP"), with an empty
# settings file, so that nobody's stored settings play a part.
to_emulator() {
    printf '[kv]\n' >"$scratch/empty.ini"
    connection=(--kind "LAN QUDP" --ip "$emulator_address" --port "$emulator_port" --timeout 2000)
    linux_connection=(--settings "$scratch/empty.ini" "${connection[@]}")
    windows_connection=(--settings "$(winpath "$scratch/empty.ini")" "${connection[@]}")
}

# gui_program_folder DIR: W_KV3380U.exe with everything it needs beside it (Qt's DLLs and
# plug-ins, the MinGW runtime, the eight libraries, the help pages), as installed.
gui_program_folder() {
    mkdir -p "$1"
    cp "$KV_WINDOWS_BIN/W_KV3380U.exe" "$KV_WINDOWS_BIN"/*.dll "$KV_WINDOWS_BIN"/Q*.DLL "$1/"
    cp -r "$KV_WINDOWS_BIN/platforms" "$KV_WINDOWS_BIN/styles" "$KV_WINDOWS_BIN/help" "$1/"
}

# start_display: a virtual display (Xvfb) of this test's own for programs with windows;
# sets display. Its wine prefix is one of its own (KV_WINEPREFIX, made on first use),
# so that no windowless test shares a desktop with it; end_display waits for that
# prefix's programs to end and stops the display.
display_pid=
start_display() {
    local tool
    for tool in Xvfb xdotool xwininfo import; do
        command -v "$tool" >/dev/null && continue
        # Skipped (77) outside CI, as the wine tests are without wine.
        case "${CI:-}" in
            "" | false | 0) echo "skipped: $tool is not installed (scripts/deps.sh installs it)"; exit 77 ;;
        esac
        fail "$tool is not installed (scripts/deps.sh installs it)"
    done
    Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp 8>"$scratch/display" 2>"$scratch/xvfb.log" &
    display_pid=$!
    for _ in $(seq 100); do
        [ -s "$scratch/display" ] && break
        sleep 0.05
    done
    [ -s "$scratch/display" ] || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"
    display=:$(head -1 "$scratch/display")
    export KV_WINE_DISPLAY=$display
    export KV_WINEPREFIX=${KV_WINE_DISPLAY_PREFIX:-$KV_SOURCE_DIR/build-wine/prefix-display}
    cleanup_hooks+=(end_display)
    # Programs of the prefix still running without a display keep its desktop, and a
    # program with windows would then join that desktop, which has none: wait them out.
    # (An if, not a && list: a prefix not made yet must not end the function with 1.)
    if [ -d "$KV_WINEPREFIX" ]; then
        WINEPREFIX=$KV_WINEPREFIX timeout 60 wineserver -w 2>/dev/null || true
    fi
}
end_display() {
    [ -n "$display_pid" ] || return 0
    # A program with windows left running (a test that failed) goes first: wine takes no
    # SIGTERM from outside.
    [ -n "${windows_pid:-}" ] && kill -KILL "$windows_pid" 2>/dev/null
    WINEPREFIX=$KV_WINEPREFIX timeout 60 wineserver -w 2>/dev/null || true
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
    display_pid=
}

# window_named PATTERN: the id of the first window on the display whose name matches
# (grep -E), waiting for it (bounded); empty when none came.
window_named() {
    local id
    for _ in $(seq 200); do
        id=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -E "$1" | awk '{print $1; exit}')
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
}

# start_windows EXE: W_KV3380U.exe on the display with the windows platform (wine's GDI
# draws no text in Qt's windows; FreeType does), until its main window is up; sets
# windows_pid and main_window.
start_windows() {
    wine_run "$1" -platform windows:fontengine=freetype >"$scratch/windows.log" 2>&1 &
    windows_pid=$!
    main_window=$(window_named 'KV-3380U  -  nastaven')
    [ -n "$main_window" ] || fail "the main window did not appear: $(cat "$scratch/windows.log")"
}

# end_windows: "&Konec" (Alt+K) in the main window; the program must end with 0.
end_windows() {
    DISPLAY=$display xdotool windowfocus --sync "$main_window" key alt+k
    local code=
    for _ in $(seq 300); do
        if ! kill -0 "$windows_pid" 2>/dev/null; then
            code=0
            wait "$windows_pid" || code=$?
            break
        fi
        sleep 0.1
    done
    [ -n "$code" ] || fail "Alt+K did not end the program"
    windows_pid=
    [ "$code" = 0 ] || fail "the program ended with $code: $(cat "$scratch/windows.log")"
}
