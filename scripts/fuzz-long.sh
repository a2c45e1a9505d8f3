#!/usr/bin/env bash
# A long fuzzing run of every libFuzzer target (or the ones named): each until it has made
# RUNS runs or SECONDS seconds have passed, whichever comes first, starting from its own
# seeds and keeping its corpus between runs. Prints a table of runs, time, runs a second
# and findings per target, and keeps it in build-fuzz/fuzz-long/summary.txt; exits 1 when
# any target found something (the inputs are in build-fuzz/fuzz-long/<target>/).
#
#   scripts/fuzz-long.sh [--runs N] [--seconds S] [--jobs J] [TARGET...]
#   defaults: 10000000 runs, 600 seconds, 1 target at a time; KV_FUZZ_RUNS,
#   KV_FUZZ_SECONDS and KV_FUZZ_JOBS set them too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${KV_FUZZ_RUNS:-10000000}
seconds=${KV_FUZZ_SECONDS:-600}
jobs=${KV_FUZZ_JOBS:-1}
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
        -*) echo "fuzz-long: unknown option $1" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
for n in "$runs" "$seconds" "$jobs"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz-long: $n is not a positive whole number" >&2; exit 2; }
done
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(find "$root/tests/fuzz" -name '*Fuzz.cpp' -exec basename {} .cpp \; | sort)
fi

KV_JOBS=${KV_JOBS:-2} bash "$root/scripts/build.sh" fuzz
out=$root/build-fuzz/fuzz-long
mkdir -p "$out"

# One target: its corpus and seeds, the run, and one summary line from its final stats.
run_target() {
    local name=$1 dir=$out/$1
    local binary=$root/build-fuzz/tests/fuzz/$name
    [ -x "$binary" ] || binary=$root/build-fuzz/bin/$name
    mkdir -p "$dir/corpus" "$dir/findings"
    local start end status=0
    start=$(date +%s.%N)
    KV_FUZZ_SEED_DIR=$dir/corpus "$binary" "$dir/corpus" -runs="$runs" -max_total_time="$seconds" \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$dir/findings/" \
        >"$dir/log.txt" 2>&1 || status=$?
    end=$(date +%s.%N)
    local done findings
    done=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log.txt" | grep -o '[0-9]*$' || echo 0)
    findings=$(find "$dir/findings" -type f | wc -l)
    awk -v n="$name" -v r="${done:-0}" -v s="$start" -v e="$end" -v f="$findings" -v c="$status" \
        'BEGIN { t = e - s; printf "%-22s %12d %8.0f %10.0f %8d %6d\n", n, r, t, (t > 0 ? r / t : 0), f, c }' \
        >"$dir/summary.txt"
}

echo "fuzz-long: ${#targets[@]} targets, each up to $runs runs or $seconds s, $jobs at a time"
for name in "${targets[@]}"; do
    run_target "$name" &
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
done
wait || true

{
    printf "%-22s %12s %8s %10s %8s %6s\n" target runs seconds "runs/s" findings exit
    for name in "${targets[@]}"; do cat "$out/$name/summary.txt"; done
} | tee "$out/summary.txt"
if awk 'NR > 1 && ($5 > 0 || $6 != 0) { bad = 1 } END { exit bad ? 0 : 1 }' "$out/summary.txt"; then
    echo "fuzz-long: findings above; see $out/<target>/log.txt and findings/" >&2
    exit 1
fi
