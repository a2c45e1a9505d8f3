# Sourced, not run: the environment the tests meet under the address and
# undefined-behaviour sanitizers, as scripts/test.sh (so CI) and scripts/flake-hunt.sh
# run them.
kv_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$kv_root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
unset kv_root
