#!/usr/bin/env bash
# kv3380u.exe under wine with the library of kind 1 (QQUDP.DLL) replaced: a library of the
# other architecture, one that lacks an entry point, a file that is no library and none
# at all (with a planted one in the working directory) end with the binding's texts and
# exit code 3, never a crash; the library written in C from kvtransport.h alone, built as
# a vendor builds theirs, is driven like ours. Nothing here reaches a network: the
# libraries fail before any traffic, and the C library answers by itself.
source "$(dirname "$0")/WineTest.sh"
program="$scratch/Zkušební program"
program_folder "$program"
cd "$scratch"
printf '[kv]\n' >empty.ini
options=(--settings "$(winpath "$scratch/empty.ini")" --kind "LAN QUDP" --ip 127.0.0.9 --port 5000
    --timeout 200)

# expect CODE TEXT: kv3380u.exe identify ends with CODE and says TEXT.
expect() {
    local code=0
    wine_run "$program/kv3380u.exe" identify "${options[@]}" >out.txt 2>&1 || code=$?
    [ "$code" = "$1" ] || fail "$2: exit code $code, not $1: $(cat out.txt)"
    grep -qF "$2" out.txt || fail "no \"$2\" in: $(cat out.txt)"
}

cp "$KV_WINDOWS_BIN/fakes/wrong-architecture/QQUDP.DLL" "$program/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL"

cp "$KV_WINDOWS_BIN/fakes/no_getconfig/QQUDP.DLL" "$program/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chybná knihovna QQUDP.DLL"

printf 'MZ, but no library\r\n' >"$program/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL"

# Only the program folder counts: a library in the working directory is never loaded.
rm "$program/QQUDP.DLL"
cp "$KV_WINDOWS_BIN/fakes/minimal/QQUDP.DLL" "$scratch/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL"
rm "$scratch/QQUDP.DLL"

# A vendor's library in place of ours.
cp "$KV_WINDOWS_BIN/fakes/minimal/QQUDP.DLL" "$program/QQUDP.DLL"
expect 0 "Připojen modul MINIMAL1 v.0.01"
echo "kv3380u.exe: every replaced library has its outcome"
