#!/usr/bin/env bash
# Packages a Windows build and tries the packages under wine, as a user would:
#   scripts/windows-package-test.sh windows|windows32
# The ZIP holds one program folder that runs where it is unpacked; the NSIS installer
# installs silently (/S) into Program Files, here into a folder with Czech letters, with
# its Start-menu entries; the installed kv3380u.exe shows its help and backs up the Linux
# build's emulator as the Linux build does; the uninstaller removes it again.
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

# The uninstaller, also given its folder unquoted and last, from a path without blanks.
cp "$installed/Uninstall.exe" "$scratch/uninstall.exe"
wine_run cmd /c "$(winpath "$scratch/uninstall.exe") /S _?=$target" || fail "the uninstaller ended with $?"
[ ! -e "$installed/kv3380u.exe" ] && [ ! -e "$menu/Nápověda.lnk" ] || fail "the uninstaller left the program"
echo "package ($flavour): ZIP, installation into Program Files, the installed program, uninstallation"
