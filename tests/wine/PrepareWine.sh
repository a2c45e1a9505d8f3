#!/usr/bin/env bash
# The set-up of every test that runs a Windows program under wine (the fixture
# wine_prefix, cmake/KvHelpers.cmake): makes the wine prefix once (scripts/wine-run.sh
# does it on first use) and checks that a Windows program runs in it.
#   PrepareWine.sh WINE-RUN [--probe PROBE]
# With --probe, the program is the settings file's probe (tests/wine), which must also
# see code page 1250; an empty PROBE means mingw-w64 was not found. Without it, the
# program is wine's own cmd. Exit 77 (skipped) when mingw-w64 or wine is missing, unless
# CI is set: then 1.
set -euo pipefail
wine_run=$1
shift
with_probe=0
probe=
if [ "${1:-}" = --probe ]; then
    with_probe=1
    probe=${2:-}
fi

missing=""
if [ "$with_probe" = 1 ] && [ -z "$probe" ]; then
    missing="mingw-w64 (x86_64-w64-mingw32-gcc-posix)"
fi
command -v wine >/dev/null || missing="${missing:+$missing and }wine"
if [ -n "$missing" ]; then
    case "${CI:-}" in
        "" | false | 0)
            echo "wine tests skipped: $missing not installed (scripts/deps.sh installs it)"
            exit 77
            ;;
    esac
    echo "wine tests: $missing not installed; scripts/deps.sh installs it" >&2
    exit 1
fi

if [ "$with_probe" = 0 ]; then
    bash "$wine_run" cmd /c exit 0
    echo "wine prefix ready: ${KV_WINEPREFIX:-the default one of scripts/wine-run.sh}"
    exit 0
fi

queries=$(mktemp)
trap 'rm -f "$queries"' EXIT
echo a >"$queries"
acp=$(KV_WINE_LOCALE=cs_CZ.UTF-8 bash "$wine_run" "$probe" "Z:${queries//\//\\}" | tr -d '\r')
if [ "$acp" != 1250 ]; then
    echo "wine tests: the probe saw code page '$acp', not 1250" >&2
    exit 1
fi
echo "wine prefix ready: ${KV_WINEPREFIX:-the default one of scripts/wine-run.sh}, code page $acp"
