#!/usr/bin/env bash
# Many modules at once, measured (a benchmark, not a test): a clone of one file to
# MODULES emulated modules of which SILENT answer nothing, at a time-out of TIMEOUT ms,
# with --jobs 1 beside --jobs JOBS; then rounds of probes of every module through
# `kv3380u exporter`, all at once: wall time and the exporter's CPU time.
#   scripts/fleet-bench.sh [MODULES=64] [SILENT=4] [JOBS=16] [TIMEOUT=1000]
# Needs a build (scripts/build.sh). Every emulator listens on an address of its own in
# 127.0.1.0/24 and ends by itself after five minutes; the script stops them all when it
# ends, whichever way.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/bin
modules=${1:-64}
silent=${2:-4}
jobs=${3:-16}
timeout=${4:-1000}
port=47000
[ -x "$bin/kv3380u" ] && [ -x "$bin/kv3380u-emulator" ] || {
    echo "fleet-bench: build first (scripts/build.sh)" >&2
    exit 2
}
((modules >= 1 && modules <= 250 && silent >= 0 && silent < modules)) || {
    echo "fleet-bench: 1..250 modules, fewer silent ones than modules" >&2
    exit 2
}

work=$(mktemp -d /tmp/kv-fleet-bench-XXXXXX)
pids=()
exporter=
cleanup() {
    [ -n "$exporter" ] && kill "$exporter" 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM HUP PIPE

# Every (modules/silent)-th module is silent, spread over the list.
is_silent() { ((silent > 0 && $1 % (modules / silent) == 0)); }
targets=()
for ((i = 1; i <= modules; i++)); do
    extra=()
    is_silent "$i" && extra=(--silent)
    "$bin/kv3380u-emulator" --address "127.0.1.$i" --port $port --vlan-ports 0,0,0 --no-usb \
        --state "$work/state-$i" --lifetime 300 "${extra[@]}" >"$work/emu-$i.log" 2>&1 &
    pids+=($!)
    targets+=("127.0.1.$i:$port")
done
for ((i = 1; i <= modules; i++)); do
    for _ in $(seq 100); do grep -q '^ready' "$work/emu-$i.log" && break; sleep 0.05; done
    grep -q '^ready' "$work/emu-$i.log" || { echo "emulator $i did not start" >&2; exit 1; }
done
list=$(IFS=,; echo "${targets[*]}")
# The "LAN" kind: no source port of its own, so any number of connections side by side.
# A settings file of no interface: every command below names its module itself.
: >"$work/none.ini"
connection=(--settings "$work/none.ini" --kind LAN --timeout "$timeout")

"$bin/kv3380u" backup "$work/pattern.ini" "${connection[@]}" --ip 127.0.1.1 --port $port \
    >/dev/null 2>&1
# Each run writes one block to every module: the VLAN2 port goes back and forth.
pattern() {
    awk -v port="$1" '/^\[/ { s = $0 } s == "[vlan2]" && /^Číslo UDP portu=/ { $0 = "Číslo UDP portu=" port } { print }' \
        "$work/pattern.ini" >"$work/clone-$1.ini"
}
pattern 6101
pattern 6102

TIMEFORMAT='%R %U %S'
measure() { # label, command...: prints "label wall user+sys", keeps the exit code
    local label=$1 t
    shift
    t=$( { time "$@" >"$work/out.txt" 2>"$work/err.txt"; } 2>&1) || true
    read -r wall user sys <<<"$t"
    printf '%-34s %7.2f s wall  %6.2f s CPU  (%s)\n' "$label" "$wall" \
        "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "$(tail -1 "$work/out.txt")"
}
echo "== clone to $modules modules, $silent silent, time-out $timeout ms"
measure "one module alone (its exchanges)" "$bin/kv3380u" restore "$work/clone-6101.ini" \
    "${connection[@]}" --targets "127.0.1.1:$port"
measure "restore --jobs 1" "$bin/kv3380u" restore "$work/clone-6102.ini" "${connection[@]}" \
    --targets "$list" --jobs 1
measure "restore --jobs $jobs" "$bin/kv3380u" restore "$work/clone-6101.ini" \
    "${connection[@]}" --targets "$list" --jobs "$jobs"
echo "goal for --jobs $jobs: within 1.5 x $timeout ms plus the slowest answering module's own exchanges"

echo "== probes of $modules modules through the exporter, all at once"
"$bin/kv3380u" exporter --listen 127.0.0.1:0 "${connection[@]}" >"$work/exporter.out" \
    2>"$work/exporter.err" &
exporter=$!
for _ in $(seq 100); do grep -q 'http://' "$work/exporter.out" && break; sleep 0.05; done
listen=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/exporter.out")
[ -n "$listen" ] || { echo "the exporter did not start" >&2; exit 1; }
probe() { # target: the answer's kv3380u_up line, over bash's own TCP
    exec 3<>"/dev/tcp/127.0.0.1/$listen"
    printf 'GET /probe?target=%s HTTP/1.0\r\nX-Prometheus-Scrape-Timeout-Seconds: 10\r\n\r\n' "$1" >&3
    grep '^kv3380u_up ' <&3 || true
    exec 3>&-
}
cpu() { awk '{ print $14 + $15 }' "/proc/$exporter/stat"; }
ticks=$(getconf CLK_TCK)
for round in 1 2 3; do
    before=$(cpu)
    start=$(date +%s.%N)
    probes=()
    for target in "${targets[@]}"; do
        probe "$target" >"$work/probe-$round-${target%%:*}" &
        probes+=($!)
    done
    wait "${probes[@]}"
    end=$(date +%s.%N)
    up=$(cat "$work"/probe-"$round"-* | grep -c ' 1$' || true)
    printf 'round %d%-26s %7.2f s wall  %6.2f s exporter CPU  (%d of %d up)\n' "$round" \
        "$([ "$round" = 1 ] && echo ' (connections open)' || echo '')" \
        "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
        "$(awk -v a="$before" -v b="$(cpu)" -v t="$ticks" 'BEGIN { print (b - a) / t }')" "$up" \
        "$modules"
    sleep 0.2
done
