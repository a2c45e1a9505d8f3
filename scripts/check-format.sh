#!/usr/bin/env bash
# Fails when a tracked C or C++ file differs from what the project's .clang-format makes
# of it. Run scripts/check-format.sh --fix to apply the format instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
[ ${#files[@]} -eq 0 ] && exit 0
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/kv-format.$$; then
    grep -E '^[^ ].*: (warning|error):' /tmp/kv-format.$$ | cut -d: -f1 | sort -u | sed 's/^/format: not formatted: /' >&2
    rm -f /tmp/kv-format.$$
    echo "format: run scripts/check-format.sh --fix" >&2
    exit 1
fi
rm -f /tmp/kv-format.$$
echo "format: ${#files[@]} files follow .clang-format"
