#!/usr/bin/env bash
# The eight transport libraries of a Windows build export exactly the seven entry points
# under their plain names (QQUDP_Send, not QQUDP_Send@20 or _QQUDP_Send), they and
# kv3380u.exe import only what Windows itself has (no MinGW runtime DLL travels with
# them), the windows find every DLL they and Qt need beside them, and on 32-bit each entry point returns the way __stdcall does: the callee
# removes its arguments (ret $4 for Done's one word, ret $20 for Send's five).
#   check-exports.sh BIN_FOLDER OBJDUMP
set -euo pipefail
bin=$1
objdump=$2
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Argument bytes per entry point and Init form (kvtransport.h).
declare -A bytes=([Version]=0 [SetConfig]=16 [GetConfig]=16 [Send]=20 [Done]=4 [Error]=8)
declare -A init=([QUSBVX]=8 [QQUDP]=8 [QCOM380]=8 [QPCI380]=8 [QPCI3380]=4 [QUSB3380]=4
    [QKV3380]=8 [QLAN]=8)
allowed='^(KERNEL32|msvcrt|WS2_32|ADVAPI32|USER32|SHELL32|ole32)\.dll$'

imports_allowed() {
    while read -r dll_name; do
        [[ $dll_name =~ $allowed ]] || fail "$1 imports $dll_name"
    done < <("$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p')
}
imports_allowed "$bin/kv3380u.exe"

# The windows (with a Qt for Windows) and the Qt beside them: every Qt or MinGW runtime
# DLL that one of them imports lies in the program folder too (the rest is Windows' own).
windows_imports=0
if [ -f "$bin/W_KV3380U.exe" ]; then
    for file in "$bin/W_KV3380U.exe" "$bin"/Qt6*.dll "$bin"/lib*.dll "$bin"/platforms/qwindows.dll \
        "$bin"/styles/*.dll; do
        while read -r dll_name; do
            case $dll_name in
                Qt6* | lib*) [ -f "$bin/$dll_name" ] || fail "$file imports $dll_name, which is not beside it" ;;
            esac
            windows_imports=$((windows_imports + 1))
        done < <("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
    done
    [[ $("$objdump" -p "$bin/W_KV3380U.exe") == *"DLL Name: libstdc++-6.dll"* ]] ||
        fail "W_KV3380U.exe has a C++ runtime of its own beside Qt's"
    # Its manifest, as kv3380u.exe's: the user's rights, no redirection into VirtualStore.
    for exe in kv3380u.exe W_KV3380U.exe; do
        LC_ALL=C grep -q 'level="asInvoker"' "$bin/$exe" || fail "$exe has no asInvoker manifest"
    done
fi

checked=0
for prefix in "${!init[@]}"; do
    dll=$bin/$prefix.DLL
    [ -f "$dll" ] || fail "$dll is missing"
    headers=$("$objdump" -p "$dll")
    names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
        sed -n 's/^\s*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p')
    expected=$(printf '%s\n' Done Error GetConfig Init Send SetConfig Version | sed "s/^/${prefix}_/")
    [ "$(cut -d' ' -f2 <<<"$names" | sort)" = "$(sort <<<"$expected")" ] ||
        fail "$prefix.DLL exports: $(cut -d' ' -f2 <<<"$names" | tr '\n' ' ')"
    imports_allowed "$dll"

    grep -q '^Magic.*010b' <<<"$headers" || continue # PE32+ (64-bit): one convention only
    base=$((0x$(awk '/^ImageBase/ {print $2}' <<<"$headers")))
    mapfile -t rvas < <(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" |
        sed -n 's/.*+base\[ *[0-9]*\] \([0-9a-f]*\) Export RVA/\1/p')
    while read -r index name; do
        suffix=${name#"${prefix}_"}
        want=${bytes[$suffix]:-${init[$prefix]}}
        # Without arguments both conventions are the same code.
        [ "$want" -eq 0 ] && continue
        start=$((base + 0x${rvas[$index]}))
        ret=$("$objdump" -d --start-address="$start" --stop-address=$((start + 256)) "$dll" |
            grep -m1 -E '\sret' || true)
        [[ $ret =~ ret[[:space:]]+\$0x$(printf '%x' "$want")[[:space:]]*$ ]] ||
            fail "$name: '$ret' (expected ret \$$want)"
        checked=$((checked + 1))
    done <<<"$names"
done
echo "exports of the eight libraries in $bin: plain names, Windows' own imports;" \
    "$checked entry points return as __stdcall does; $windows_imports imports of the windows and Qt found"
