#!/usr/bin/env bash
# W_KV3380U.exe under wine with the real windows platform on a virtual display, as an
# operator starts it, set to reach the Linux build's emulator over QQUDP.DLL: Alt+P opens
# the connection dialog, a click on "Inicializace připojení" connects, Escape closes it;
# the dialog and then the main window naming the module are saved as screenshots
# (printed) for a person to look at. Alt+K ("&Konec") ends the program, which must end
# with 0 and save its settings file.
source "$(dirname "$0")/WineTest.sh"
start_emulator
start_display
program="$scratch/Zkušební program"
gui_program_folder "$program"
# The settings file in code page 1250, as the Windows program keeps it.
printf '[P\xf8ipojen\xed]\r\nRozhran\xed=LAN QUDP\r\n[LAN QUDP]\r\nC\xedlov\xe1 IP adresa=%s\r\nC\xedlov\xfd port=%s\r\n' \
    "$emulator_address" "$emulator_port" >"$program/W_kv3380u.ini"
before=$(md5sum <"$program/W_kv3380u.ini")

shots=${KV_SCREENSHOT_DIR:-$(dirname "$KV_WINDOWS_BIN")/screenshots}
mkdir -p "$shots"
# shoot WINDOW FILE: the window's picture, which must show more than a blank.
shoot() {
    sleep 1.5
    DISPLAY=$display import -window "$1" "$shots/$2" || fail "no screenshot of $2"
    local colours
    colours=$(identify -format %k "$shots/$2")
    [ "$colours" -gt 16 ] || fail "$shots/$2 is blank ($colours colours)"
    echo "screenshot: $shots/$2"
}

cd "$scratch"
start_windows "$program/W_KV3380U.exe"
DISPLAY=$display xdotool windowfocus --sync "$main_window" key alt+p
dialog=$(window_named '"P.*ipojen.* modulu"')
[ -n "$dialog" ] || fail "Alt+P opened no connection dialog"
sleep 1
# "Inicializace připojení": the dialog's fixed place for it, bottom left.
DISPLAY=$display xdotool mousemove --window "$dialog" 120 303 click 1
shoot "$dialog" connection-dialog.png
DISPLAY=$display xdotool windowfocus --sync "$dialog" key Escape
for _ in $(seq 100); do
    DISPLAY=$display xwininfo -id "$dialog" 2>/dev/null | grep -q IsViewable || break
    sleep 0.1
done
DISPLAY=$display xwininfo -id "$dialog" 2>/dev/null | grep -q IsViewable && fail "Escape did not close the dialog"
shoot "$main_window" main-window.png
end_windows
[ "$(md5sum <"$program/W_kv3380u.ini")" != "$before" ] || fail "the settings file was not saved"
LC_ALL=C grep -qa $'Rozhran\xed=LAN QUDP' "$program/W_kv3380u.ini" || fail "the saved settings lost the interface"
echo "W_KV3380U.exe on the windows platform: main window, connection dialog, ended with 0"
