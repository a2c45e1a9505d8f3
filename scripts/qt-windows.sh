#!/usr/bin/env bash
# Finds the Qt for 32-bit Windows that the windows (W_KV3380U.exe) are built against and
# prints its prefix:
#   1. KV_QT_WINDOWS32, a Qt prefix (lib/cmake/Qt6 in it);
#   2. else the archive shared/toolchains/qt6-windows-i686.tar.xz in a folder "shared"
#      beside the project root or beside any folder above it, unpacked once into
#      ${XDG_CACHE_HOME:-~/.cache}/kv3380u/, one folder per archive's checksum (never
#      beside the archive, which may be read-only).
# Without either it says so in one line, with the way to get one, and exits 1:
#   scripts/qt-windows.sh [WHO: WHAT IS LEFT OUT]   (the line's beginning)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=qt6-windows-i686
who=${1:-qt-windows}

if [ -n "${KV_QT_WINDOWS32:-}" ]; then
    if [ ! -f "$KV_QT_WINDOWS32/lib/cmake/Qt6/Qt6Config.cmake" ]; then
        echo "$who: KV_QT_WINDOWS32=$KV_QT_WINDOWS32 is no Qt prefix (no lib/cmake/Qt6 in it)" >&2
        exit 1
    fi
    echo "$KV_QT_WINDOWS32"
    exit 0
fi

archive=
dir=$root
while [ "$dir" != / ]; do
    dir=$(dirname "$dir")
    candidate=${dir%/}/shared/toolchains/$name.tar.xz
    if [ -f "$candidate" ]; then
        archive=$candidate
        break
    fi
done
if [ -z "$archive" ]; then
    echo "$who: no Qt for 32-bit Windows: set KV_QT_WINDOWS32 to a Qt prefix, or put" \
        "shared/toolchains/$name.tar.xz beside $root or a folder above it" \
        "(shared/toolchains/qt6-windows.sh i686 PREFIX makes one)" >&2
    exit 1
fi

if [ -z "${HOME:-}" ]; then
    HOME=$(getent passwd "$(id -u)" | cut -d: -f6)
fi
cache=${XDG_CACHE_HOME:-$HOME/.cache}/kv3380u
sum=$(sha256sum "$archive" | cut -c1-16)
prefix=$cache/$name-$sum
if [ ! -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    mkdir -p "$cache"
    # Builds started together unpack it once; a cut-short unpacking is never taken.
    exec 9>"$prefix.lock"
    flock -w 600 9 || { echo "qt-windows: waited 10 minutes for $prefix.lock" >&2; exit 1; }
    if [ ! -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
        echo "qt-windows: unpacking $archive into $prefix" >&2
        rm -rf "$prefix" "$prefix.tmp"
        mkdir -p "$prefix.tmp"
        tar -xJf "$archive" -C "$prefix.tmp"
        mv "$prefix.tmp/$name" "$prefix"
        rm -rf "$prefix.tmp"
    fi
    exec 9>&-
fi
echo "$prefix"
