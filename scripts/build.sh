#!/usr/bin/env bash
# Configures and builds one flavour of the project.
#   scripts/build.sh            -> build/         (RelWithDebInfo, everything)
#   scripts/build.sh sanitize   -> build-asan/    (address + undefined sanitizers)
#   scripts/build.sh fuzz       -> build-fuzz/    (clang, libFuzzer targets only)
#   scripts/build.sh windows    -> build-windows/   (mingw-w64, x86_64: kv3380u.exe, the DLLs, tests)
#   scripts/build.sh windows32  -> build-windows32/ (mingw-w64, i686, __stdcall DLLs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-default}
jobs=${KV_JOBS:-$(nproc)}

case "$flavour" in
    default)
        dir=$root/build
        cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build "$dir" -j "$jobs"
        ;;
    sanitize)
        dir=$root/build-asan
        cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_BUILD_BENCH=OFF >/dev/null
        cmake --build "$dir" -j "$jobs"
        ;;
    fuzz)
        dir=$root/build-fuzz
        CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DKV_FUZZ=ON -DKV_BUILD_GUI=OFF -DKV_BUILD_BENCH=OFF >/dev/null
        targets=$(find "$root/tests/fuzz" -name '*Fuzz.cpp' -exec basename {} .cpp \;)
        # shellcheck disable=SC2086
        [ -n "$targets" ] && cmake --build "$dir" -j "$jobs" --target $targets
        ;;
    windows | windows32)
        # The Qt-free part for Windows (no Qt for Windows in Debian): the core, kv3380u.exe,
        # the eight transport libraries as DLLs and the tests, run under wine.
        if [ "$flavour" = windows ]; then
            dir=$root/build-windows
            toolchain=$root/cmake/mingw-w64-x86_64.cmake
        else
            dir=$root/build-windows32
            toolchain=$root/cmake/mingw-w64-i686.cmake
        fi
        cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKV_BUILD_GUI=OFF -DKV_BUILD_BENCH=OFF >/dev/null
        cmake --build "$dir" -j "$jobs"
        ;;
    *)
        echo "build.sh: unknown flavour $flavour (default, sanitize, fuzz, windows, windows32)" >&2
        exit 2
        ;;
esac
