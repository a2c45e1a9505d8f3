#!/usr/bin/env bash
# Runs a Windows console program under wine and passes its exit code through:
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#
# The wine prefix is $KV_WINEPREFIX, by default build-wine/prefix in this tree, one for
# every build of it (the Linux build's wine tests, both Windows builds and their
# packages). The first run makes it (wineboot, 10-30 s) and later runs reuse it; runs
# that start together, as ctest starts them, wait for one another while it is made, and
# a prefix whose making was cut short is made again. Nothing needs a display, and wine
# says nothing of its own (WINEDEBUG=-all) unless WINEDEBUG is set.
# KV_WINE_LOCALE picks the Windows locale, and so the ANSI code page: cs_CZ.UTF-8 gives
# code page 1250, as on a Czech Windows (the Linux locale need not be installed).
# Otherwise the Linux locale is used, made UTF-8 if it is not, so that a Czech file name
# means the same on both sides. KV_WINE_DISPLAY names an X display for a program with
# windows (W_KV3380U.exe on Xvfb); without it the program has none. Exit 127 when wine is
# not installed (scripts/deps.sh installs it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -lt 1 ]; then
    echo "usage: wine-run.sh PROGRAM.exe [ARGS...]" >&2
    exit 2
fi
if ! command -v wine >/dev/null; then
    echo "wine-run: wine is not installed (scripts/deps.sh installs it)" >&2
    exit 127
fi

prefix=${KV_WINEPREFIX:-$root/build-wine/prefix}
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: console programs need neither, and the first run would otherwise offer
# to download them. No menu entries on the Linux desktop for the Start-menu shortcuts an
# installer under test makes (winemenubuilder would leave them in ~/.local/share).
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
unset DISPLAY WAYLAND_DISPLAY
# Wine wants a home; a CI job may not set one.
if [ -z "${HOME:-}" ]; then
    HOME=$(getent passwd "$(id -u)" | cut -d: -f6)
    export HOME
fi
# Wine names the Linux files in the Linux locale's character set.
case "$(locale charmap 2>/dev/null)" in
    UTF-8) ;;
    *) export LC_ALL=C.UTF-8 ;;
esac

# Made once, under a lock, bounded: a making that hangs must not hold every test for ever.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
if ! flock -w 600 9; then
    echo "wine-run: waited 10 minutes for $prefix.lock" >&2
    exit 1
fi
if [ ! -e "$prefix/.kv-ready" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    if ! timeout 300 wineboot --init >"$prefix.boot.log" 2>&1; then
        echo "wine-run: wineboot failed to make $prefix:" >&2
        cat "$prefix.boot.log" >&2
        exit 1
    fi
    timeout 120 wineserver --wait || true
    touch "$prefix/.kv-ready"
fi
exec 9>&-
if [ -n "${KV_WINE_DISPLAY:-}" ]; then
    export DISPLAY=$KV_WINE_DISPLAY
fi

# Wine refuses a prefix another user owns; say so plainly.
if [ ! -O "$prefix" ]; then
    echo "wine-run: $prefix belongs to another user; set KV_WINEPREFIX to a folder of your own" >&2
    exit 1
fi
if [ -n "${KV_WINE_LOCALE:-}" ]; then
    exec env LC_ALL="$KV_WINE_LOCALE" wine "$@"
fi
exec wine "$@"
