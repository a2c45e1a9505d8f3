#!/usr/bin/env bash
# kv3380u.exe under wine against the Linux build's emulator over QQUDP.DLL, from a program
# folder with Czech letters and a blank in its name, writing into a folder with Czech
# letters: its backup file is the Linux build's byte for byte (LF line ends); what it
# prints into a file or a pipe is the Linux build's text with CR LF line ends, the backup
# on the standard output too; a value edited in the backup goes back into the module with
# read-back verification, and the Linux build reads it.
source "$(dirname "$0")/WineTest.sh"
start_emulator
to_emulator
program="$scratch/Program Files/Měření přístroje"
program_folder "$program"
work="$scratch/Zálohy modulů"
mkdir -p "$work"
cd "$work"

"$KV_LINUX_BIN/kv3380u" identify "${linux_connection[@]}" >linux-identify.txt
wine_run "$program/kv3380u.exe" identify "${windows_connection[@]}" >windows-identify.txt ||
    fail "identify ended with $?: $(cat windows-identify.txt)"
# crlf_text FILE: FILE's lines all end with CR LF; the text without the CRs on stdout.
crlf_text() {
    [ -s "$1" ] && ! grep -qv $'\r$' "$1" || fail "$1: not every line ends with CR LF: $(od -c "$1" | head -5)"
    tr -d '\r' <"$1"
}
crlf_text windows-identify.txt | cmp linux-identify.txt - || fail "identify: $(cat windows-identify.txt)"
grep -q "KV-3380U" windows-identify.txt || fail "no identification: $(cat windows-identify.txt)"

"$KV_LINUX_BIN/kv3380u" backup linux.ini "${linux_connection[@]}"
wine_run "$program/kv3380u.exe" backup "záloha č. 1.ini" "${windows_connection[@]}" >out.txt ||
    fail "backup ended with $?"
cmp linux.ini "záloha č. 1.ini" || fail "the backups differ"
grep -q "záloha č. 1.ini" out.txt || fail "the file is not named as given: $(cat out.txt)"
wine_run "$program/kv3380u.exe" backup - "${windows_connection[@]}" >stdout.ini 2>/dev/null
crlf_text stdout.ini | cmp linux.ini - || fail "the backup on the standard output differs"
# Such a backup goes back as it is (restore reads CR LF).
wine_run "$program/kv3380u.exe" restore stdout.ini --dry-run "${windows_connection[@]}" >dry-run.txt 2>&1 ||
    fail "restore of the backup from the standard output: $(cat dry-run.txt)"

# The paths it prints are written with backslashes, also where the folder was typed with
# a slash: one file per module of --targets, in a folder with Czech letters.
mkdir "Zálohy všech"
wine_run "$program/kv3380u.exe" backup "Zálohy všech/" --targets "$emulator_address:$emulator_port" \
    --settings "$(winpath "$scratch/empty.ini")" --kind "LAN QUDP" --timeout 2000 >targets.txt 2>&1 ||
    fail "backup --targets: $(cat targets.txt)"
module_file="Zálohy všech\\${emulator_address}_${emulator_port}.ini"
grep -qF "$module_file" targets.txt || fail "no $module_file in: $(cat targets.txt)"
! grep -q "/" targets.txt || fail "a path with a slash: $(cat targets.txt)"
cmp linux.ini "Zálohy všech/${emulator_address}_${emulator_port}.ini" || fail "the module's backup differs"

# VLAN2's port 5001 becomes 6001 in the file; only that block goes back.
awk '/^\[/ { section = $0 } section == "[vlan2]" && /^Číslo UDP portu=/ { $0 = "Číslo UDP portu=6001" } { print }' \
    linux.ini >"upravená záloha.ini"
grep -q "^Číslo UDP portu=6001" "upravená záloha.ini" || fail "the edit did not take"
wine_run "$program/kv3380u.exe" restore "upravená záloha.ini" --only vlan2 "${windows_connection[@]}" \
    >restore.txt 2>&1 || fail "restore ended with $?: $(cat restore.txt)"
grep -q "5001 → 6001" restore.txt || fail "restore does not show the change: $(cat restore.txt)"
"$KV_LINUX_BIN/kv3380u" backup after.ini "${linux_connection[@]}"
awk '/^\[/ { section = $0 } section == "[vlan2]" && /^Číslo UDP portu=/ { print }' after.ini |
    grep -qx "Číslo UDP portu=6001" || fail "the module does not hold the new port"
echo "kv3380u.exe: identification, backup and restore as the Linux build's"
