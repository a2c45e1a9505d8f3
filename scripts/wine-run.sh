#!/usr/bin/env bash
# Runs a Windows program under wine and passes its exit code through.
#   scripts/wine-run.sh PROGRAM.exe ARGS...
# The wine prefix is $KV_WINEPREFIX, else build-wine/prefix in the repository. It is
# created on first use (wineboot, some 10-25 s), once even when several tests start at
# the same time: the first holds a lock while it creates the prefix, the others wait.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
    echo "usage: wine-run.sh PROGRAM.exe ARGS..." >&2
    exit 2
fi
prefix=${KV_WINEPREFIX:-$root/build-wine/prefix}
export WINEPREFIX=$prefix
export WINEDEBUG=-all
# Wine names the Linux files in the Linux locale's character set; in UTF-8 a Czech file
# name means the same on both sides.
case "$(locale charmap 2>/dev/null)" in
    UTF-8) ;;
    *) export LC_ALL=C.UTF-8 ;;
esac
command -v wine >/dev/null || { echo "wine-run.sh: wine is not installed (scripts/deps.sh)" >&2; exit 127; }

if [ ! -f "$prefix/.kv-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        # Bounded: a creation that hangs must not hold every test for ever.
        flock -w 300 9 || { echo "wine-run.sh: timed out waiting for $prefix.lock" >&2; exit 1; }
        if [ ! -f "$prefix/.kv-ready" ]; then
            rm -rf "$prefix"
            # No Mono and no Gecko: console programs need neither, and there is no network
            # to fetch them from.
            WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wineboot -i >/dev/null 2>&1 ||
                { echo "wine-run.sh: wineboot failed for $prefix" >&2; exit 1; }
            touch "$prefix/.kv-ready"
        fi
    ) 9>"$prefix.lock"
fi

exec wine "$@"
