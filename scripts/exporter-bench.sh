#!/usr/bin/env bash
# kv3380u exporter under load, measured (a benchmark, not a test; loopback only, every loop
# bounded in count and time):
#   slow    100 clients that send one byte every 3 s, then 100 that send nothing, while a
#           normal probe of a quick module is asked every 200 ms: how long each one took
#   flood   MODULES modules that answer, probed; then 1024 distinct targets where nothing
#           listens, 64 at a time; then the modules again and one more new target
#   late    a module that answers 600 ms late, --timeout 2000, a 1 s scrape time-out:
#           how many of 8 scrapes, 2 s apart, say it is up
#   buckets the exchange histogram of a silent module and of one answering 300 ms late:
#           the median Prometheus would compute from its buckets
#   turns   4 modules on one port number at 4 addresses over "LAN QUDP", asked at once
#           with a 1 s scrape time-out: how many are up in each of 5 rounds
#   port    a second exporter on the port of the first: its exit code
#   scripts/exporter-bench.sh [BIN-DIR=build/bin] [MODULES=60] [SCENARIO...]
# Every emulator listens on an address of its own in 127.0.1.0/24 and ends by itself after
# ten minutes; the script stops them all when it ends, whichever way.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
modules=${2:-60}
shift $(($# > 2 ? 2 : $#))
scenarios=${*:-slow flood late buckets turns port}
port=47100
[ -x "$bin/kv3380u" ] && [ -x "$bin/kv3380u-emulator" ] || {
    echo "exporter-bench: build first (scripts/build.sh), or name the folder of the programs" >&2
    exit 2
}
command -v curl >/dev/null || { echo "exporter-bench: needs curl" >&2; exit 2; }
((modules >= 1 && modules <= 200)) || { echo "exporter-bench: 1..200 modules" >&2; exit 2; }

work=$(mktemp -d /tmp/kv-exporter-bench-XXXXXX)
pids=()
helpers=()
exporter=
cleanup() {
    [ -n "$exporter" ] && kill "$exporter" 2>/dev/null || true
    for pid in "${helpers[@]}" "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM HUP PIPE
: >"$work/none.ini"

emulator() { # n, port, options...: 127.0.1.n, ready when this returns
    local n=$1 p=$2
    shift 2
    "$bin/kv3380u-emulator" --address "127.0.1.$n" --port "$p" --vlan-ports 0,0,0 --no-usb \
        --state "$work/state-$n-$p" --lifetime 600 "$@" >"$work/emu-$n-$p.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do grep -qs '^ready' "$work/emu-$n-$p.log" && return; sleep 0.05; done
    echo "emulator $n did not start" >&2
    exit 1
}
stop_emulators() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait "${pids[@]}" 2>/dev/null || true
    pids=()
}
start_exporter() { # options...
    "$bin/kv3380u" exporter --listen 127.0.0.1:0 --settings "$work/none.ini" "$@" \
        >"$work/exporter.out" 2>"$work/exporter.err" &
    exporter=$!
    for _ in $(seq 100); do grep -q 'http://' "$work/exporter.out" && break; sleep 0.05; done
    listen=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/exporter.out")
    [ -n "$listen" ] || { cat "$work/exporter.err" >&2; echo "the exporter did not start" >&2; exit 1; }
}
stop_exporter() {
    kill "$exporter" 2>/dev/null || true
    wait "$exporter" 2>/dev/null || true
    exporter=
}
# A probe: "status seconds", the answer in $work/answer-$2 (default: answer).
probe() { # target, [name], [scrape time-out]
    curl -s -o "$work/answer-${2:-x}" -w '%{http_code} %{time_total}\n' --max-time 10 \
        -H "X-Prometheus-Scrape-Timeout-Seconds: ${3:-10}" \
        "http://127.0.0.1:$listen/probe?target=$1" || echo "000 10"
}
own() { curl -s --max-time 10 "http://127.0.0.1:$listen/metrics"; }
sample() { awk -v n="$1" '$1 == n { print $2; exit }'; }
rss() { awk '/^VmRSS/ { printf "%.1f MB", $2 / 1024 }' "/proc/$exporter/status"; }
stats() { # seconds on stdin: "median max" in ms
    sort -n | awk '{ v[NR] = $1 * 1000 } END { printf "median %.1f ms, max %.1f ms", v[int((NR + 1) / 2)], v[NR] }'
}

scenario_slow() {
    echo "== 100 slow clients, then 100 idle ones, beside a normal probe every 200 ms"
    emulator 1 $port
    start_exporter --kind LAN --timeout 1000
    probe "127.0.1.1:$port" >/dev/null
    for kind in slow idle; do
        helpers=()
        for ((i = 0; i < 100; i++)); do
            if [ "$kind" = slow ]; then
                # One byte every 3 s for 30 s: a request that never ends.
                (exec 3<>"/dev/tcp/127.0.0.1/$listen" || exit 0
                 for c in G E T ' ' / m e t r i; do printf '%s' "$c" >&3 || exit 0; sleep 3; done) &
            else
                (exec 3<>"/dev/tcp/127.0.0.1/$listen" || exit 0; sleep 30) &
            fi
            helpers+=($!)
        done
        sleep 1
        : >"$work/times"
        codes=
        for ((i = 0; i < 25; i++)); do
            read -r code seconds < <(probe "127.0.1.1:$port")
            echo "$seconds" >>"$work/times"
            codes+=" $code"
            sleep 0.2
        done
        printf '%-5s 25 probes: %s  (HTTP%s)\n' "$kind" "$(stats <"$work/times")" \
            "$(tr ' ' '\n' <<<"$codes" | grep . | sort | uniq -c | awk '{ printf " %s x%s", $2, $1 }')"
        for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null || true; done
        wait "${helpers[@]}" 2>/dev/null || true
        helpers=()
    done
    stop_exporter
    stop_emulators
}

scenario_flood() {
    echo "== $modules modules, then 1024 distinct targets where nothing listens"
    targets=()
    for ((i = 1; i <= modules; i++)); do emulator "$i" $port; targets+=("127.0.1.$i:$port"); done
    start_exporter --kind LAN --timeout 1000
    round() {
        local up=0
        local asked=()
        for t in "${targets[@]}"; do probe "$t" "r-${t%%:*}" >/dev/null & asked+=($!); done
        wait "${asked[@]}" || true
        for t in "${targets[@]}"; do
            [ "$(sample kv3380u_up <"$work/answer-r-${t%%:*}")" = 1 ] && up=$((up + 1))
        done
        echo "$up"
    }
    echo "before: $(round) of $modules up; open connections $(own | sample kv3380u_exporter_open_connections); RSS $(rss)"
    # Meanwhile Prometheus goes on scraping the modules, every 15 s.
    (while [ ! -e "$work/flood-done" ]; do
        round >>"$work/during"
        for _ in $(seq 150); do [ -e "$work/flood-done" ] && break; sleep 0.1; done
    done) &
    scraper=$!
    start=$(date +%s.%N)
    for ((i = 0; i < 1024; i++)); do echo "127.0.$((2 + i / 250)).$((1 + i % 250)):9"; done |
        xargs -P 64 -I{} curl -s -o /dev/null -w '%{http_code}\n' --max-time 10 \
            -H 'X-Prometheus-Scrape-Timeout-Seconds: 10' "http://127.0.0.1:$listen/probe?target={}" \
            >"$work/flood-codes"
    end=$(date +%s.%N)
    touch "$work/flood-done"
    wait "$scraper" || true
    echo "flood: $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s;" \
        "answers$(sort "$work/flood-codes" | uniq -c | awk '{ printf " %s x%s", $2, $1 }');" \
        "modules up in the scrapes meanwhile:" $(cat "$work/during")
    read -r code _ < <(probe "127.0.9.1:9" new)
    m=$(own)
    echo "after: a new target gets HTTP $code; $(round) of $modules up;" \
        "open connections $(sample kv3380u_exporter_open_connections <<<"$m");" \
        "closed for others $(sample kv3380u_exporter_closed_for_others_total <<<"$m");" \
        "modules $(sample kv3380u_exporter_modules <<<"$m"); RSS $(rss)"
    stop_exporter
    stop_emulators
}

scenario_late() {
    echo "== a module answering 600 ms late, --timeout 2000, 1 s scrape time-out"
    emulator 1 $port --delay 600
    start_exporter --kind LAN --timeout 2000
    ups=
    for ((i = 0; i < 8; i++)); do
        read -r _ seconds < <(probe "127.0.1.1:$port" late 1)
        ups+=" $(sample kv3380u_up <"$work/answer-late")"
        sleep 2
    done
    echo "kv3380u_up of 8 scrapes:$ups"
    stop_exporter
    stop_emulators
}

quantile() { # q, histogram name: from the _bucket lines on stdin, as histogram_quantile does
    awk -v q="$1" -v n="$2" '
        index($0, n "_bucket{") == 1 {
            match($0, /le="[^"]*"/); le = substr($0, RSTART + 4, RLENGTH - 5)
            b[++k] = (le == "+Inf" ? "inf" : le); c[k] = $NF }
        END {
            total = c[k]; if (total == 0) { print "none (no observation)"; exit }
            rank = q * total; prev = 0; prevc = 0
            for (i = 1; i <= k; i++) { if (c[i] >= rank) break; prev = b[i]; prevc = c[i] }
            if (b[i] == "inf") { printf "%.3f s", prev; exit }
            printf "%.3f s", prev + (b[i] - prev) * (rank - prevc) / (c[i] - prevc) }'
}
scenario_buckets() {
    echo "== the exchange histogram's median, as Prometheus computes it from the buckets"
    emulator 1 $port --silent
    emulator 2 $port --delay 300
    start_exporter --kind LAN --timeout 1000
    for ((i = 0; i < 5; i++)); do
        probe "127.0.1.1:$port" silent >/dev/null
        probe "127.0.1.2:$port" delayed >/dev/null
        sleep 0.2
    done
    echo "silent module (every opening fails after 1 s): $(quantile 0.5 kv3380u_exchange_seconds <"$work/answer-silent")"
    grep '^kv3380u_exchange_failures_total' "$work/answer-silent" | sed 's/^/    /'
    echo "module answering 300 ms late (every exchange about 0.30 s): $(quantile 0.5 kv3380u_exchange_seconds <"$work/answer-delayed")"
    stop_exporter
    stop_emulators
}

scenario_turns() {
    echo "== 4 modules on one port number over LAN QUDP, asked at once, 1 s scrape time-out"
    for i in 1 2 3 4; do emulator "$i" $port; done
    start_exporter --kind "LAN QUDP" --timeout 1000
    for round in 1 2 3 4 5; do
        asked=()
        for i in 1 2 3 4; do probe "127.0.1.$i:$port" "t$i" 1 >/dev/null & asked+=($!); done
        wait "${asked[@]}" || true
        up=0
        for i in 1 2 3 4; do [ "$(sample kv3380u_up <"$work/answer-t$i")" = 1 ] && up=$((up + 1)); done
        echo "round $round: $up of 4 up"
        sleep 1
    done
    stop_exporter
    stop_emulators
}

scenario_port() {
    echo "== a second exporter on the port of the first"
    start_exporter --kind LAN
    first=$exporter
    status=0
    timeout 5 "$bin/kv3380u" exporter --listen "127.0.0.1:$listen" --settings "$work/none.ini" \
        --kind LAN >"$work/second.out" 2>"$work/second.err" || status=$?
    echo "second exporter: exit $status ($(grep -h -m1 -e 'nelze naslouchat' -e 'naslouchá na' \
        "$work/second.err" "$work/second.out" || true))"
    exporter=$first
    stop_exporter
}

for s in $scenarios; do "scenario_$s"; done
