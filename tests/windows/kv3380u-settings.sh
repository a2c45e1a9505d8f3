#!/usr/bin/env bash
# kv3380u.exe under wine without connection options, with settings files as the Windows
# utility writes them (code page 1250, CR LF, a section it does not know): beside the
# program while its folder can be written; once it cannot (an installation in Program
# Files), the user's own file in %APPDATA%\kv3380u\ and, until there is one, the file
# beside the program. kv3380u only reads them: each file is afterwards as it was.
source "$(dirname "$0")/WineTest.sh"
start_emulator
program="$scratch/Program Files/KV3380U Měření"
program_folder "$program"
cd "$scratch"

# settings FILE IP PORT TIMEOUT: a settings file of the Windows utility.
settings() {
    printf '[Připojení]\nRozhraní=LAN QUDP\nAdresa=0\nRychlost=9600\n[LAN QUDP]\nCílová IP adresa=%s\nCílový port=%s\nLAN timeout=%s\n[Poznámka]\nText=Měření v hale č. 2\n' \
        "$2" "$3" "$4" | sed 's/$/\r/' | iconv -f UTF-8 -t CP1250 >"$1"
}
# Beside the program: the emulator. The user's own: a module that does not answer (port
# 9 on the emulator's own address, where nothing listens: the emulator's ports are free
# ones from the system's range).
settings "$program/W_kv3380u.ini" "$emulator_address" "$emulator_port" 2000
cp "$program/W_kv3380u.ini" beside.ini

appdata=$(wine_run cmd /c 'echo %APPDATA%' | tr -d '\r')
user_folder=$(wine_run winepath -u "$appdata\\kv3380u" | tr -d '\r')
[ -n "$user_folder" ] || fail "no %APPDATA% in the wine prefix"
mkdir -p "$user_folder"
cleanup_hooks+=("rm -rf '$user_folder'")
settings "$user_folder/W_kv3380u.ini" "$emulator_address" 9 300
cp "$user_folder/W_kv3380u.ini" own.ini

# identify_as CODE: kv3380u.exe identify without options ends with CODE.
identify_as() {
    local code=0
    wine_run "$program/kv3380u.exe" identify >out.txt 2>&1 || code=$?
    [ "$code" = "$1" ] || fail "$2: exit code $code, not $1: $(cat out.txt)"
}

identify_as 0 "a program folder that can be written: the file beside the program"
grep -q "KV-3380U" out.txt || fail "no identification: $(cat out.txt)"

# The program folder made read-only: root gets a read-only mount (root writes through
# any permission), anyone else loses the write permission.
if [ "$(id -u)" -eq 0 ]; then
    if ! mount --bind "$program" "$program" 2>/dev/null; then
        echo "SKIP: no read-only mount for root here (mount --bind refused)"
        exit 77
    fi
    cleanup_hooks+=("umount '$program'")
    mount -o remount,bind,ro "$program" || fail "cannot remount read-only"
else
    chmod a-w "$program"
fi
touch "$program/probe" 2>/dev/null && fail "the program folder can still be written"

identify_as 3 "a read-only program folder: the user's own file, whose module is silent"
rm "$user_folder/W_kv3380u.ini"
identify_as 0 "a read-only program folder, no file of the user's: the one beside the program"

cmp beside.ini "$program/W_kv3380u.ini" || fail "the file beside the program changed"
[ ! -e "$user_folder/W_kv3380u.ini" ] || fail "kv3380u wrote a settings file"
echo "kv3380u.exe: settings beside the program, then in %APPDATA%, read as written"
