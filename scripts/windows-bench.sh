#!/usr/bin/env bash
# A backup of the emulator's five blocks by kv3380u.exe under wine beside the Linux
# build's kv3380u, against the same emulator (kind 1, "LAN QUDP", over loopback), and
# wine's own start-up: the same kv3380u.exe asked only for --version (no library, no
# network). Medians and 90th percentiles of ROUNDS runs each, in milliseconds.
#   scripts/windows-bench.sh [ROUNDS]       (default 20; builds: build/, build-windows*/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-20}
export KV_SOURCE_DIR=$root KV_WINDOWS_BIN=$root/build-windows/bin KV_LINUX_BIN=$root/build/bin
source "$root/tests/windows/WineTest.sh"
start_emulator
to_emulator
cd "$scratch"

# measure NAME COMMAND...: runs the command ROUNDS times (after one warm-up run) and
# prints its median and 90th percentile.
measure() {
    local name=$1
    shift
    "$@" >/dev/null 2>&1 || fail "$name: $* ended with $?"
    local times=()
    for _ in $(seq "$rounds"); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    mapfile -t sorted < <(printf '%s\n' "${times[@]}" | sort -n)
    local median=${sorted[$((rounds / 2))]} p90=${sorted[$((rounds * 9 / 10))]}
    awk -v n="$name" -v m="$median" -v p="$p90" 'BEGIN { printf "%-48s %9.1f %9.1f\n", n, m / 1000, p / 1000 }'
}

printf '%-48s %9s %9s   (%s rounds)\n' "" "median ms" "p90 ms" "$rounds"
measure "Linux kv3380u backup" "$KV_LINUX_BIN/kv3380u" backup linux.ini "${linux_connection[@]}"
for flavour in windows windows32; do
    bin=$root/build-$flavour/bin
    [ -x "$bin/kv3380u.exe" ] || continue
    measure "wine $flavour: kv3380u.exe --version (start-up)" wine_run "$bin/kv3380u.exe" --version
    measure "wine $flavour: kv3380u.exe backup" \
        wine_run "$bin/kv3380u.exe" backup "$flavour.ini" "${windows_connection[@]}"
    cmp linux.ini "$flavour.ini" || fail "the $flavour backup differs from the Linux build's"
done
