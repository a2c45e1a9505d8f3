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
    "$KV_LINUX_BIN/kv3380u-emulator" --address "$emulator_address" --port 0 --vlan-ports 0,0,0 \
        --state "$scratch/emulator/state" --usb-dir "$scratch/emulator/usb" --no-usb \
        --lifetime 300 "${extra_emulator_options[@]}" >"$scratch/emulator/out" \
        2>"$scratch/emulator/err" &
    emulator_pid=$!
    for _ in $(seq 200); do
        grep -qx ready "$scratch/emulator/out" && break
        kill -0 "$emulator_pid" 2>/dev/null || fail "the emulator ended: $(cat "$scratch/emulator/err")"
        sleep 0.05
    done
    grep -qx ready "$scratch/emulator/out" || fail "the emulator is not ready"
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
