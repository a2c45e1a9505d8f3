#!/usr/bin/env bash
# The windows (windows_e2e_tests.exe, tests/windows/e2e) under wine against the Linux
# build's emulator on a loopback address of this test's own, over QQUDP.DLL.
source "$(dirname "$0")/WineTest.sh"
start_emulator
cd "$scratch"
KV_EMULATOR_ADDRESS=$emulator_address KV_EMULATOR_PORT=$emulator_port \
    wine_run "$KV_WINDOWS_BIN/windows_e2e_tests.exe" --gtest_brief=1 ||
    fail "the windows against the emulator (emulator: $(cat "$scratch/emulator/err"))"
echo "the windows: connected, wrote and read back a VLAN, watched the diagnostics, restarted"
