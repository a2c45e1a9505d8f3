#!/usr/bin/env bash
# Packages a Windows build and tries the packages under wine, as a user would:
#   scripts/windows-package-test.sh windows|windows32
# The ZIP holds one program folder that runs where it is unpacked; the NSIS installer
# installs silently (/S) into Program Files, here into a folder with Czech letters, with
# its Start-menu entries; the installed kv3380u.exe shows its help and backs up the Linux
# build's emulator as the Linux build does; the uninstaller removes it again. With the
# windows (windows32 built with a Qt for Windows) the packages carry W_KV3380U.exe and Qt:
# the installed program starts on a virtual display and ends cleanly with "&Konec", the
# uninstaller removes every file it installed and leaves the user's settings file, and a
# second installation with /DESKTOP adds the desktop shortcut, which the uninstaller
# removes too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:?usage: windows-package-test.sh windows|windows32}
case "$flavour" in
    windows) build=$root/build-windows bits=64 ;;
    windows32) build=$root/build-windows32 bits=32 ;;
    *) echo "windows-package-test.sh: unknown flavour $flavour" >&2; exit 2 ;;
esac
export KV_SOURCE_DIR=$root KV_WINDOWS_BIN=$build/bin KV_LINUX_BIN=$root/build/bin
source "$root/tests/windows/WineTest.sh"
windows=0
grep -q '^KV_BUILD_GUI:BOOL=ON' "$build/CMakeCache.txt" && windows=1

echo "package ($flavour): ZIP and NSIS installer"
rm -rf "$build/package"
(cd "$build" && cpack >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; fail "cpack"; }
zip=$build/package/kv3380u-1.03-win$bits.zip
installer=$build/package/kv3380u-1.03-win$bits.exe
[ -f "$zip" ] && [ -f "$installer" ] || fail "no packages in $build/package"

mkdir -p "$scratch/Rozbalený program"
(cd "$scratch/Rozbalený program" && unzip -q "$zip")
unpacked="$scratch/Rozbalený program/kv3380u-1.03-win$bits"
for f in kv3380u.exe QUSBVX.DLL QQUDP.DLL QCOM380.DLL QPCI380.DLL QPCI3380.DLL QUSB3380.DLL \
    QKV3380.DLL QLAN.DLL help/index.html help/obrazek.png; do
    [ -f "$unpacked/$f" ] || fail "the ZIP lacks $f"
done
wine_run "$unpacked/kv3380u.exe" --version | grep -q "kv3380u 1.03" || fail "the unpacked program does not run"
windows_files=(W_KV3380U.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll
    styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
if [ "$windows" = 1 ]; then
    for f in "${windows_files[@]}"; do
        [ -f "$unpacked/$f" ] || fail "the ZIP lacks $f"
    done
    # What only the tests use stays out.
    [ ! -e "$unpacked/platforms/qoffscreen.dll" ] || fail "the ZIP holds the tests' qoffscreen.dll"
else
    [ ! -e "$unpacked/W_KV3380U.exe" ] || fail "W_KV3380U.exe in the ZIP of a build without the windows"
fi

# Installed where Windows users have their programs, in a folder with Czech letters. NSIS
# takes /D= only unquoted and last, so cmd hands the installer its command line as is.
folder="Měření KV $bits"
target="C:\\Program Files\\$folder"
cp "$installer" "$scratch/setup.exe"
wine_run cmd /c "$(winpath "$scratch/setup.exe") /S /D=$target" || fail "the installer ended with $?"
installed=$(wine_run winepath -u "$target" | tr -d '\r')
cleanup_hooks+=("rm -rf '$installed'")
[ -f "$installed/kv3380u.exe" ] && [ -f "$installed/QQUDP.DLL" ] && [ -f "$installed/help/index.html" ] ||
    fail "nothing installed in $installed"
menu=$(wine_run winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs' | tr -d '\r')
menu="$menu/kv3380u 1.03 ($bits bitů)"
cleanup_hooks+=("rm -rf '$menu'")
for entry in "kv3380u (příkazový řádek).lnk" "Nápověda.lnk" "Uninstall.lnk"; do
    [ -f "$menu/$entry" ] || fail "no Start-menu entry $entry in $menu"
done

echo "package ($flavour): the installed kv3380u.exe"
wine_run "$installed/kv3380u.exe" --help >"$scratch/help.txt"
grep -q "^kv3380u 1.03: zálohy" "$scratch/help.txt" ||
    fail "installed --help: $(head -3 "$scratch/help.txt")"
start_emulator
to_emulator
cd "$scratch"
"$KV_LINUX_BIN/kv3380u" backup linux.ini "${linux_connection[@]}" >/dev/null 2>&1
wine_run "$installed/kv3380u.exe" backup installed.ini "${windows_connection[@]}" >/dev/null 2>&1
cmp linux.ini installed.ini || fail "the installed program's backup differs from the Linux build's"

desktop=$(wine_run winepath -u 'C:\users\Public\Desktop' | tr -d '\r')
if [ "$windows" = 1 ]; then
    echo "package ($flavour): the installed W_KV3380U.exe"
    for f in "${windows_files[@]}"; do
        [ -f "$installed/$f" ] || fail "not installed: $f"
    done
    [ -f "$menu/W_KV3380U.lnk" ] || fail "no Start-menu entry W_KV3380U.lnk in $menu"
    [ ! -e "$desktop/W_KV3380U.lnk" ] || fail "a silent installation without /DESKTOP made a desktop shortcut"
    # Every file the installation brought, to hold the uninstallation to.
    (cd "$installed" && find . -type f | sort) >"$scratch/installed.txt"
    # The installed program, in this prefix, on a display of its own.
    KV_WINE_DISPLAY_PREFIX=${KV_WINEPREFIX:-$root/build-wine/prefix} start_display
    start_windows "$installed/W_KV3380U.exe"
    end_windows
    end_display
    unset KV_WINE_DISPLAY
    # The settings file it saved: beside it where the folder can be written (wine lets
    # anyone write into Program Files), else in the user's folder.
    settings=$installed/W_kv3380u.ini
    [ -f "$settings" ] || settings=$(wine_run winepath -u 'C:\users\root\AppData\Roaming\kv3380u\W_kv3380u.ini' | tr -d '\r')
    [ -f "$settings" ] || fail "the installed W_KV3380U.exe saved no settings file"
fi

# uninstall: the uninstaller, also given its folder unquoted and last, from a path
# without blanks.
uninstall() {
    cp "$installed/Uninstall.exe" "$scratch/uninstall.exe"
    wine_run cmd /c "$(winpath "$scratch/uninstall.exe") /S _?=$target" || fail "the uninstaller ended with $?"
    [ ! -e "$installed/kv3380u.exe" ] && [ ! -e "$menu/Nápověda.lnk" ] || fail "the uninstaller left the program"
}
uninstall
if [ "$windows" = 1 ]; then
    left=$(cd "$installed" 2>/dev/null && find . -type f | sort | comm -12 - "$scratch/installed.txt")
    [ -z "$left" ] || fail "the uninstaller left installed files: $left"
    [ ! -e "$menu/W_KV3380U.lnk" ] || fail "the uninstaller left the Start-menu entry"
    [ "$settings" != "$installed/W_kv3380u.ini" ] || [ -f "$settings" ] ||
        fail "the uninstaller removed the user's settings file"

    echo "package ($flavour): a desktop shortcut on request"
    wine_run cmd /c "$(winpath "$scratch/setup.exe") /S /DESKTOP /D=$target" || fail "the installer ended with $?"
    [ -f "$desktop/W_KV3380U.lnk" ] || fail "/DESKTOP made no desktop shortcut in $desktop"
    cleanup_hooks+=("rm -f '$desktop/W_KV3380U.lnk'")
    uninstall
    [ ! -e "$desktop/W_KV3380U.lnk" ] || fail "the uninstaller left the desktop shortcut"
fi
echo "package ($flavour): ZIP, installation into Program Files, the installed program, uninstallation"
