#!/usr/bin/env bash
# kv3380u.exe under wine keeps what kv3380u keeps on Linux: a usage mistake ends with 2
# and a pointer to the command's help; an output that cannot be written (a full disk
# behind the standard output, a missing folder, a read-only file, a folder) ends with 4
# and the reason, and nothing is claimed; a device (NUL) is written into, never replaced;
# Ctrl+C while a library call is in flight is answered at once, the program ends with 130
# when the call returns, and a second Ctrl+C ends it at once.
source "$(dirname "$0")/WineTest.sh"
start_emulator
to_emulator
program="$scratch/Program Files/Měření"
program_folder "$program"
exe=$program/kv3380u.exe
cd "$scratch"

# run_as CODE WHAT ARGS...: kv3380u.exe ARGS ends with CODE; out.txt and err.txt keep what
# it said.
run_as() {
    local expected=$1 what=$2 code=0
    shift 2
    wine_run "$exe" "$@" >out.txt 2>err.txt || code=$?
    [ "$code" = "$expected" ] || fail "$what: exit code $code, not $expected: $(cat err.txt)"
}

# Usage mistakes, each before any connection (the same as on Linux).
printf '# no module here\n\n   \n' >blank.txt
mistakes=(
    "restore a.ini --targets ''"
    "restore a.ini --targets @blank.txt"
    "restore a.ini --targets 127.0.0.300"
    "identify --address 300"
    "identify --address abc"
    "identify --address -1"
    "diag --json=1"
    "identify --timeout 1s"
    "identify --port 1"  # given twice
    "restore"
    "--kind LAN identify"
)
printf '[vlan1]\n' >a.ini
for mistake in "${mistakes[@]}"; do
    eval "words=($mistake)"
    run_as 2 "$mistake" "${words[@]}" "${windows_connection[@]}"
    grep -q "Nápověda: kv3380u" err.txt || fail "$mistake: no pointer to the help: $(cat err.txt)"
    [ ! -s out.txt ] || fail "$mistake: printed $(cat out.txt)"
done

# A full disk behind the standard output: 4 with the reason, never 0.
code=0
wine_run "$exe" backup - "${windows_connection[@]}" >/dev/full 2>err.txt || code=$?
[ "$code" = 4 ] || fail "backup - >/dev/full: exit code $code, not 4: $(cat err.txt)"
grep -q "standardní výstup nelze zapsat: na disku není místo" err.txt ||
    fail "backup - >/dev/full: $(cat err.txt)"

# A file that cannot be written: a missing folder, a read-only file (which stays as it
# was), a folder (refused before the module is asked).
run_as 4 "a missing folder" backup "$(winpath "$scratch/chybí/z.ini")" "${windows_connection[@]}"
grep -q "soubor nelze zapsat: soubor nebo složka neexistuje" err.txt || fail "missing folder: $(cat err.txt)"
! grep -q "uložena" out.txt || fail "a missing folder: claimed $(cat out.txt)"
printf 'old\n' >protected.ini
chmod a-w protected.ini
run_as 4 "a read-only file" backup protected.ini "${windows_connection[@]}"
grep -q "protected.ini: soubor nelze zapsat: chybí oprávnění" err.txt || fail "read-only: $(cat err.txt)"
[ "$(cat protected.ini)" = old ] || fail "the read-only file changed"
mkdir folder.ini
run_as 4 "a folder" backup folder.ini "${windows_connection[@]}"
grep -q "folder.ini: soubor nelze zapsat: je to složka" err.txt || fail "folder: $(cat err.txt)"
ls "$scratch" | grep -q '\.tmp' && fail "a temporary file was left: $(ls "$scratch")"

# A device is written into as it is: nothing named NUL appears.
run_as 0 "backup NUL" backup NUL "${windows_connection[@]}"
grep -q "uložena do NUL" out.txt || fail "backup NUL: $(cat out.txt)"
ls "$scratch" | grep -qi '^nul' && fail "backup NUL made a file"

# Ctrl+C: the module says nothing, so the library waits its time-out. The program names
# the connection it is about to open (the settings file names no interface) once it
# catches Ctrl+C, just before the library's first call; wine hands SIGINT to the Windows
# program as the console's Ctrl+C.
kill -TERM "$emulator_pid" && wait "$emulator_pid" || true
emulator_pid=
extra_emulator_options=(--silent)
start_emulator

# interrupted TIMEOUT COUNT: identify with the library's TIMEOUT in ms, COUNT Ctrl+Cs, the
# second after the first one's notice; sets code and elapsed (s).
interrupted() {
    local timeout=$1 count=$2
    : >err.txt
    setsid "$KV_SOURCE_DIR/scripts/wine-run.sh" "$exe" identify \
        --settings "$(winpath "$scratch/empty.ini")" --kind "LAN QUDP" \
        --ip "$emulator_address" --port "$emulator_port" --timeout "$timeout" \
        >out.txt 2>err.txt &
    local pid=$!
    for _ in $(seq 600); do
        grep -q "použito:" err.txt && break
        sleep 0.05
    done
    grep -q "použito:" err.txt || fail "kv3380u.exe did not start: $(cat err.txt)"
    local start=$SECONDS
    kill -INT -- "-$pid"
    if [ "$count" = 2 ]; then
        for _ in $(seq 600); do
            grep -q "přerušeno; čekám" err.txt && break
            sleep 0.05
        done
        kill -INT -- "-$pid"
    fi
    code=0
    wait "$pid" || code=$?
    elapsed=$((SECONDS - start))
}

interrupted 4000 1
[ "$code" = 130 ] || fail "Ctrl+C: exit code $code, not 130: $(cat err.txt)"
notice=$(grep -n "přerušeno; čekám, až se vrátí rozpracované volání knihovny" err.txt | cut -d: -f1)
timed_out=$(grep -n "Modul neodpověděl" err.txt | head -1 | cut -d: -f1)
[ -n "$notice" ] && [ -n "$timed_out" ] || fail "Ctrl+C: $(cat err.txt)"
[ "$notice" -lt "$timed_out" ] || fail "Ctrl+C: the notice came after the call returned: $(cat err.txt)"
tail -1 err.txt | grep -q "kv3380u: přerušeno (Ctrl+C)" || fail "Ctrl+C: $(cat err.txt)"

interrupted 60000 2
[ "$code" = 130 ] || fail "a second Ctrl+C: exit code $code, not 130: $(cat err.txt)"
grep -q "kv3380u: ukončeno hned (druhé přerušení)" err.txt || fail "a second Ctrl+C: $(cat err.txt)"
! grep -q "Modul neodpověděl" err.txt || fail "a second Ctrl+C waited for the library"
[ "$elapsed" -lt 50 ] || fail "a second Ctrl+C took $elapsed s"
echo "kv3380u.exe: usage 2, unwritable output 4, NUL written into, Ctrl+C 130"
