#!/usr/bin/env bash
# Sets up a fresh machine, builds, and runs every test: the normal build (unit, gui,
# e2e, fuzz), the .deb installed and run as an ordinary user (as root), the Windows
# builds (64- and 32-bit) with their tests and packages under wine, the same tests
# under address and undefined-behaviour sanitizers, and the libFuzzer targets built with
# clang. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=${KV_JOBS:-$(nproc)}

echo "== format"
bash scripts/check-format.sh
echo "== build"
bash scripts/build.sh default
echo "== tests"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

echo "== package: build, install, run as an ordinary user"
bash scripts/package-test.sh

echo "== Windows builds (mingw-w64), their tests under wine against the Linux emulator"
bash scripts/build.sh windows
bash scripts/build.sh windows32
ctest --test-dir build-windows --output-on-failure -j "$jobs" --timeout 600
ctest --test-dir build-windows32 --output-on-failure -j "$jobs" --timeout 600
echo "== Windows packages: ZIP, installer under wine, the installed program"
bash scripts/windows-package-test.sh windows
bash scripts/windows-package-test.sh windows32

echo "== sanitizer build"
bash scripts/build.sh sanitize
echo "== tests under sanitizers"
(
    source scripts/sanitizer-env.sh
    ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900 -LE fuzz
)

echo "== fuzz (libFuzzer)"
bash scripts/build.sh fuzz
ctest --test-dir build-fuzz --output-on-failure -j "$jobs" --timeout 900 -L fuzz
echo "== all tests passed"
