#!/usr/bin/env bash
# kv3380u.exe under wine with the library of kind 1 (QQUDP.DLL) replaced: a library of the
# other architecture, one that lacks an entry point, a file that is no library, an empty
# one and none at all (with a planted one in the working directory) end with the binding's
# texts and exit code 3, never a crash, and the next line says why, with the library's
# full path as Windows writes it; the library written in C from kvtransport.h alone,
# built as a vendor builds theirs, is driven like ours. Nothing here reaches a network:
# the libraries fail before any traffic, and the C library answers by itself.
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

# why TEXT: the line after the binding's text says TEXT.
library="$(winpath "$program")\\QQUDP.DLL"
why() {
    grep -A1 -F "Chyba inicializace připojení - " out.txt | tail -1 | grep -qF "kv3380u: $1" ||
        fail "not \"$1\" after the binding's text: $(cat out.txt)"
}

cp "$KV_WINDOWS_BIN/fakes/wrong-architecture/QQUDP.DLL" "$program/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL"
why "knihovnu $library nelze načíst: knihovna je pro "
grep -qE "knihovna je pro (32|64)bitová Windows \((x86|x64)\), program pro (64|32)bitová Windows" out.txt ||
    fail "the architectures are not named: $(cat out.txt)"
grep -qF "(chyba 193)" out.txt || fail "not what Windows says: $(cat out.txt)"

cp "$KV_WINDOWS_BIN/fakes/no_getconfig/QQUDP.DLL" "$program/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chybná knihovna QQUDP.DLL"
why "v knihovně $library chybí funkce QQUDP_GetConfig"

printf 'MZ, but no library\r\n' >"$program/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL"
why "knihovnu $library nelze načíst: soubor není knihovna"

: >"$program/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL"
why "knihovnu $library nelze načíst: soubor je prázdný; systém hlásí: "

# Only the program folder counts: a library in the working directory is never loaded.
rm "$program/QQUDP.DLL"
cp "$KV_WINDOWS_BIN/fakes/minimal/QQUDP.DLL" "$scratch/QQUDP.DLL"
expect 3 "Chyba inicializace připojení - chyba inicializace knihovny QQUDP.DLL"
why "knihovnu $library nelze načíst: soubor nebo složka neexistuje; systém hlásí: "
rm "$scratch/QQUDP.DLL"

# A vendor's library in place of ours.
cp "$KV_WINDOWS_BIN/fakes/minimal/QQUDP.DLL" "$program/QQUDP.DLL"
expect 0 "Připojen modul MINIMAL1 v.0.01"
echo "kv3380u.exe: every replaced library has its outcome"
