#!/usr/bin/env bash
# Configures and builds one flavour of the project.
#   scripts/build.sh            -> build/         (RelWithDebInfo, everything)
#   scripts/build.sh sanitize   -> build-asan/    (address + undefined sanitizers)
#   scripts/build.sh fuzz       -> build-fuzz/    (clang, libFuzzer targets only)
#   scripts/build.sh windows    -> build-windows/   (mingw-w64, x86_64: kv3380u.exe, the DLLs, tests)
#   scripts/build.sh windows32  -> build-windows32/ (mingw-w64, i686, __stdcall DLLs; with a
#                                  Qt for Windows (scripts/qt-windows.sh) also W_KV3380U.exe)
# Where ccache is found it caches every compilation, with paths taken relative to the
# project root, so that a clone elsewhere finds the same entries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-default}
jobs=${KV_JOBS:-$(nproc)}

launcher=()
if command -v ccache >/dev/null; then
    cache="env;CCACHE_BASEDIR=$root;CCACHE_NOHASHDIR=1;ccache"
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER="$cache" -DCMAKE_CXX_COMPILER_LAUNCHER="$cache")
fi

case "$flavour" in
    default)
        dir=$root/build
        cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
        cmake --build "$dir" -j "$jobs"
        ;;
    sanitize)
        dir=$root/build-asan
        cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_BUILD_BENCH=OFF \
            "${launcher[@]}" >/dev/null
        cmake --build "$dir" -j "$jobs"
        ;;
    fuzz)
        dir=$root/build-fuzz
        CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DKV_FUZZ=ON -DKV_BUILD_GUI=OFF -DKV_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
        targets=$(find "$root/tests/fuzz" -name '*Fuzz.cpp' -exec basename {} .cpp \;)
        # shellcheck disable=SC2086
        [ -n "$targets" ] && cmake --build "$dir" -j "$jobs" --target $targets
        ;;
    windows | windows32)
        # The core, kv3380u.exe, the eight transport libraries as DLLs and the tests, run
        # under wine; in 32-bit, with a Qt for Windows, also the windows (W_KV3380U.exe)
        # with Qt beside them. There is no 64-bit Qt for Windows here.
        gui=(-DKV_BUILD_GUI=OFF -DCMAKE_PREFIX_PATH=)
        if [ "$flavour" = windows ]; then
            dir=$root/build-windows
            toolchain=$root/cmake/mingw-w64-x86_64.cmake
            echo "build.sh windows: no 64-bit Qt for Windows, so no windows (W_KV3380U.exe);" \
                "bash scripts/build.sh windows32 builds them, 32-bit"
        else
            dir=$root/build-windows32
            toolchain=$root/cmake/mingw-w64-i686.cmake
            if qt=$(bash "$root/scripts/qt-windows.sh" \
                "build.sh windows32: the windows (W_KV3380U.exe) are not built"); then
                gui=(-DKV_BUILD_GUI=ON -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr)
            elif [ -n "${KV_QT_WINDOWS32:-}" ]; then
                exit 1 # a Qt named but not there is a mistake, not a choice
            fi
        fi
        cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${gui[@]}" -DKV_BUILD_BENCH=OFF \
            "${launcher[@]}" >/dev/null
        cmake --build "$dir" -j "$jobs"
        ;;
    *)
        echo "build.sh: unknown flavour $flavour (default, sanitize, fuzz, windows, windows32)" >&2
        exit 2
        ;;
esac
