#!/usr/bin/env bash
# W_KV3380U.exe under wine with the real windows platform on a virtual display, as an
# operator starts it, set to reach the Linux build's emulator over QQUDP.DLL: its main
# window, then the connection dialog opened with Alt+P, saved as screenshots (printed)
# for a person to look at; Escape closes the dialog and Alt+K ("&Konec") the program,
# which must end with 0 and save its settings file.
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
shoot "$main_window" main-window.png
DISPLAY=$display xdotool windowfocus --sync "$main_window" key alt+p
dialog=$(window_named '"P.*ipojen.* modulu"')
[ -n "$dialog" ] || fail "Alt+P opened no connection dialog"
shoot "$dialog" connection-dialog.png
DISPLAY=$display xdotool windowfocus --sync "$dialog" key Escape
sleep 1
end_windows
[ "$(md5sum <"$program/W_kv3380u.ini")" != "$before" ] || fail "the settings file was not saved"
grep -qa "Rozhran.=LAN QUDP" "$program/W_kv3380u.ini" || fail "the saved settings lost the interface"
echo "W_KV3380U.exe on the windows platform: main window, connection dialog, ended with 0"
