#!/usr/bin/env bash
# Hunts tests that fail by chance: builds, then runs the tests over and over with every
# core kept busy by extra load, in CI's environment (offscreen Qt, the sanitizers'
# options). Each test is repeated until it fails, at most N times.
#
#   scripts/flake-hunt.sh [N] [FLAVOUR...] [-- CTEST-ARGS...]
#
#   N          repetitions of each test (default 20)
#   FLAVOUR    default (build/) and/or sanitize (build-asan/); both when none is named
#   CTEST-ARGS narrow the tests, e.g. -- -L e2e   or   -- -R 'Emulator|Cli'
#
# Environment: KV_JOBS (parallel tests, default the number of cores), KV_FLAKE_MINUTES
# (the whole hunt's bound, default 120), KV_FLAKE_LOAD (busy loops beside the tests,
# default one per core), KV_FLAKE_NICE (their niceness, default 10; 0 competes harder).
# Exits 0 when every repetition passed, 1 when a test failed, 124 when time ran out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

repeat=20
flavours=()
ctest_args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --) shift; ctest_args=("$@"); break ;;
        default | sanitize) flavours+=("$1") ;;
        *[!0-9]* | "") echo "flake-hunt: unknown argument $1" >&2; exit 2 ;;
        *) repeat=$1 ;;
    esac
    shift
done
[ ${#flavours[@]} -eq 0 ] && flavours=(default sanitize)
[ "$repeat" -ge 1 ] || { echo "flake-hunt: N must be at least 1" >&2; exit 2; }

jobs=${KV_JOBS:-$(nproc)}
minutes=${KV_FLAKE_MINUTES:-120}
load=${KV_FLAKE_LOAD:-$(nproc)}
niceness=${KV_FLAKE_NICE:-10}
deadline=$(($(date +%s) + minutes * 60))
export QT_QPA_PLATFORM=offscreen

loaders=()
stop_load() {
    local pid
    for pid in "${loaders[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${loaders[@]}"; do wait "$pid" 2>/dev/null || true; done
    loaders=()
}
trap stop_load EXIT

failed=0
for flavour in "${flavours[@]}"; do
    case "$flavour" in
        default) dir=build ;;
        sanitize) dir=build-asan ;;
    esac
    echo "== flake-hunt: building $flavour"
    bash scripts/build.sh "$flavour"

    left=$((deadline - $(date +%s)))
    if [ "$left" -le 0 ]; then
        echo "flake-hunt: time ran out before $flavour" >&2
        exit 124
    fi
    # The load lives no longer than the hunt may.
    for _ in $(seq 1 "$load"); do
        timeout "$left" nice -n "$niceness" yes >/dev/null &
        loaders+=($!)
    done
    echo "== flake-hunt: $flavour, each test up to $repeat times, $jobs at once," \
        "$load busy loops beside them (nice $niceness), at most $((left / 60)) min"
    # One log a hunt, so that a later hunt never overwrites a failure's output.
    log=$dir/flake-hunt-$(date +%Y%m%d-%H%M%S).log
    status=0
    (
        [ "$flavour" = sanitize ] && source scripts/sanitizer-env.sh
        timeout -k 30 "$left" ctest --test-dir "$dir" --output-on-failure -j "$jobs" \
            --timeout 900 -LE fuzz --repeat "until-fail:$repeat" "${ctest_args[@]}"
    ) >"$log" 2>&1 || status=$?
    stop_load
    grep -E '^(Total Test time|[0-9]+% tests passed)' "$log" || true
    if [ "$status" -eq 124 ]; then
        echo "flake-hunt: time ran out during $flavour (log: $log)" >&2
        exit 124
    elif [ "$status" -ne 0 ]; then
        failed=1
        echo "flake-hunt: $flavour failed; the failing tests (their output is in $log):" >&2
        cat "$dir/Testing/Temporary/LastTestsFailed.log" >&2 2>/dev/null || true
    fi
done
[ "$failed" -eq 0 ] && echo "== flake-hunt: every repetition passed"
exit "$failed"
