#!/usr/bin/env bash
# The wine tests' set-up: makes the wine prefix once (scripts/wine-run.sh does it on first
# use) and checks that the profile probe runs and sees code page 1250.
#   PrepareWine.sh WINE-RUN PROBE
# Exit 77 (skipped) when mingw-w64 or wine is missing, unless CI is set: then 1.
set -euo pipefail
wine_run=$1
probe=${2:-}

missing=""
[ -n "$probe" ] || missing="mingw-w64 (x86_64-w64-mingw32-gcc)"
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

queries=$(mktemp)
trap 'rm -f "$queries"' EXIT
echo a >"$queries"
acp=$(KV_WINE_LOCALE=cs_CZ.UTF-8 bash "$wine_run" "$probe" "Z:${queries//\//\\}" | tr -d '\r')
if [ "$acp" != 1250 ]; then
    echo "wine tests: the probe saw code page '$acp', not 1250" >&2
    exit 1
fi
echo "wine prefix ready: ${KV_WINEPREFIX:-}, code page $acp"
