#!/usr/bin/env bash
# Kind 2 ("COMx", QCOM380.DLL) through the Windows serial API: wine maps a COM port to a
# Linux device (a link in the prefix's dosdevices folder), here to the pseudo-terminal the
# emulator offers as its COM port. kv3380u.exe identifies the module and backs it up as
# the Linux build does over the same line; a COM port that is not there is "not found".
source "$(dirname "$0")/WineTest.sh"
com=$((20 + $$ % 200))
extra_emulator_options=(--com "$com")
start_emulator
pty=$(readlink -f "$scratch/emulator/usb/COM$com")
[ -c "$pty" ] || fail "the emulator offers no COM$com: $(cat "$scratch/emulator/out")"
drive_c=$(wine_run winepath -u 'C:\' | tr -d '\r')
dosdevices=$(dirname "${drive_c%/}")
[ -d "$dosdevices" ] || fail "no dosdevices folder beside $drive_c"
ln -sfn "$pty" "$dosdevices/com$com"
cleanup_hooks+=("rm -f '$dosdevices/com$com'")

program="$scratch/Sériová linka"
program_folder "$program"
cd "$scratch"
printf '[kv]\n' >empty.ini
KV3380U_USB_DIR="$scratch/emulator/usb" "$KV_LINUX_BIN/kv3380u" backup linux.ini \
    --settings empty.ini --kind 2 --com "$com" >/dev/null 2>&1 || fail "the Linux build's backup over COM$com"
options=(--settings "$(winpath "$scratch/empty.ini")" --kind 2 --com "$com")
wine_run "$program/kv3380u.exe" identify "${options[@]}" >identify.txt 2>&1 ||
    fail "identify over COM$com: $(cat identify.txt)"
grep -q "Připojen modul KV-3380U" identify.txt || fail "no identification: $(cat identify.txt)"
wine_run "$program/kv3380u.exe" backup windows.ini "${options[@]}" >/dev/null 2>&1 ||
    fail "backup over COM$com ended with $?"
cmp linux.ini windows.ini || fail "the backups over the serial line differ"

code=0
wine_run "$program/kv3380u.exe" identify --settings "$(winpath "$scratch/empty.ini")" --kind 2 \
    --com 251 >missing.txt 2>&1 || code=$?
[ "$code" = 3 ] && grep -q "Sériový port nenalezen" missing.txt ||
    fail "a missing COM port: exit code $code, $(cat missing.txt)"
echo "kv3380u.exe: identification and backup over COM$com as the Linux build's"
