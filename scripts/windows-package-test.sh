#!/usr/bin/env bash
# Packages a Windows build and tries the packages under wine, as an operator would:
#   scripts/windows-package-test.sh windows|windows32
# The ZIP holds one program folder that runs where it is unpacked; its help pages describe
# Windows, not Linux; every program and library in it has the one version resource
# (Czech, the project as publisher, numbers and texts agreeing), as Windows reads it. The
# NSIS installer installs silently (/S) into Program Files, here into a folder with Czech
# letters, with /PATH also onto the PATH of all users; its uninstall entry names the same
# publisher and version, its Start-menu entries are Czech, and the console entry opens
# where "kv3380u" works as typed. The installed kv3380u.exe backs up the Linux build's
# emulator as the Linux build does. The uninstaller, started as the Start menu starts it,
# leaves nothing it made: no file, folder, shortcut, registry key, PATH entry, copy of
# itself or deletion pending for the next restart. With the windows (windows32 built with
# a Qt for Windows) the packages carry W_KV3380U.exe and Qt: the installed program starts
# on a virtual display and ends cleanly with "&Konec"; its settings file outlives the
# uninstallation, with its folder; a second installation with /DESKTOP adds the desktop
# shortcut, and the uninstaller, run in the program folder itself (_?=), removes it and
# itself.
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
probe=$build/bin/package_probe.exe
[ -f "$probe" ] || fail "no $probe (bash scripts/build.sh $flavour)"
prefix=${KV_WINEPREFIX:-$root/build-wine/prefix}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

echo "package ($flavour): ZIP and NSIS installer"
rm -rf "$build/package"
(cd "$build" && cpack >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; fail "cpack"; }
zip=$build/package/kv3380u-$version-win$bits.zip
installer=$build/package/kv3380u-$version-win$bits.exe
[ -f "$zip" ] && [ -f "$installer" ] || fail "no packages in $build/package"

mkdir -p "$scratch/Rozbalený program"
(cd "$scratch/Rozbalený program" && unzip -q "$zip")
unpacked="$scratch/Rozbalený program/kv3380u-$version-win$bits"
libraries=(QUSBVX.DLL QQUDP.DLL QCOM380.DLL QPCI380.DLL QPCI3380.DLL QUSB3380.DLL QKV3380.DLL QLAN.DLL)
for f in kv3380u.exe "${libraries[@]}" help/index.html help/prikazovy-radek.html help/obrazek.png; do
    [ -f "$unpacked/$f" ] || fail "the ZIP lacks $f"
done
wine_run "$unpacked/kv3380u.exe" --version | grep -q "kv3380u $version" || fail "the unpacked program does not run"
windows_files=(W_KV3380U.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll
    styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
programs=(kv3380u.exe "${libraries[@]}")
if [ "$windows" = 1 ]; then
    for f in "${windows_files[@]}"; do
        [ -f "$unpacked/$f" ] || fail "the ZIP lacks $f"
    done
    # What only the tests use stays out.
    [ ! -e "$unpacked/platforms/qoffscreen.dll" ] || fail "the ZIP holds the tests' qoffscreen.dll"
    programs+=(W_KV3380U.exe)
else
    [ ! -e "$unpacked/W_KV3380U.exe" ] || fail "W_KV3380U.exe in the ZIP of a build without the windows"
fi

echo "package ($flavour): the help describes Windows"
# What only Linux has, as a page would name it; and what the Windows pages must say.
for page in "$unpacked"/help/*.html; do
    for linux in /usr/lib "~/.config" XDG_CONFIG_HOME assistant-qt6 "Qt Assistant" Debian \
        kv3380u-emulator "balíček kv3380u" "<!--"; do
        ! grep -qF -- "$linux" "$page" || fail "$(basename "$page") names \"$linux\""
    done
done
grep -qF '%APPDATA%\kv3380u\W_kv3380u.ini' "$unpacked/help/soubor-nastaveni.html" ||
    fail "the settings file's page does not say where the file is on Windows"
grep -qF 'chcp 65001' "$unpacked/help/prikazovy-radek.html" ||
    fail "the command line's page does not say how cmd shows its output"
grep -qF 'href="prikazovy-radek.html"' "$unpacked/help/index.html" ||
    fail "the help's index does not lead to the command line's page"

echo "package ($flavour): one version resource for every program and library"
# field FILE KEY: a value the probe read from FILE's version resource.
(cd "$unpacked" && wine_run "$probe" version "${programs[@]}") >"$scratch/versions.txt" ||
    fail "a file without a version resource: $(grep -B1 -x none "$scratch/versions.txt" | head -1)"
field() {
    awk -v file="$1" -v key="$2" -F= '$1 == "file" { in_file = ($2 == file) }
        in_file && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$scratch/versions.txt"
}
# The program calls itself 1.03; its four numbers are major and minor, then 0.0.
numbers="${version%%.*}.$((10#${version#*.})).0.0"
publisher=$(field kv3380u.exe CompanyName)
[ -n "$publisher" ] || fail "kv3380u.exe names no publisher"
for f in "${programs[@]}"; do
    for expected in "languages=0405" "translation=0405 04b0" "numbers=$numbers" \
        "product-numbers=$numbers" "FileVersion=$numbers" "ProductVersion=$version" \
        "ProductName=W_KV3380U" "CompanyName=$publisher" "LegalCopyright=© $publisher" \
        "OriginalFilename=$f"; do
        [ "$(field "$f" "${expected%%=*}")" = "${expected#*=}" ] ||
            fail "$f: ${expected%%=*} is \"$(field "$f" "${expected%%=*}")\", not \"${expected#*=}\""
    done
    case "$f" in *.exe) type=app ;; *) type=dll ;; esac
    [ "$(field "$f" type)" = "$type" ] || fail "$f: type $(field "$f" type)"
    [ -n "$(field "$f" FileDescription)" ] || fail "$f: no description"
done
# The installer says the same of itself (in its Czech texts' code page, 1250).
(cd "$(dirname "$installer")" && wine_run "$probe" version "$(basename "$installer")") >>"$scratch/versions.txt"
setup=$(basename "$installer")
for expected in "languages=0405" "translation=0405 04e2" "numbers=$numbers" "FileVersion=$numbers" \
    "ProductVersion=$version" "ProductName=W_KV3380U" "CompanyName=$publisher" \
    "LegalCopyright=© $publisher"; do
    [ "$(field "$setup" "${expected%%=*}")" = "${expected#*=}" ] ||
        fail "the installer: ${expected%%=*} is \"$(field "$setup" "${expected%%=*}")\", not \"${expected#*=}\""
done

# What an installation must leave behind it once uninstalled, as it was before: the
# registry (its keys and PATH, read from the prefix's files once wine has saved them) and
# the temporary folder. Nothing else in the prefix may start between the uninstallation and
# the reading: a wine that starts carries out the deletions pending for a restart.
wait_for_wine() {
    WINEPREFIX=$prefix timeout 180 wineserver -w || fail "wine did not end within 3 minutes"
}
registry_state() {
    {
        grep -h 'KV3380U' "$prefix/system.reg" "$prefix/user.reg" | sed 's/\] [0-9]*$/]/' || true
        grep -A200 -F '[System\\CurrentControlSet\\Control\\Session Manager\\Environment]' \
            "$prefix/system.reg" | grep -m1 '^"PATH"=' || true
        grep -hF '~nsu' "$prefix/system.reg" || true
    } | sort
}
temp=$(wine_run winepath -u "$(wine_run cmd /c 'echo %TEMP%' | tr -d '\r')" | tr -d '\r')
temp_state() { ls -a "$temp" 2>/dev/null | grep -E '^(~nsu|ns).*\.tmp$' || true; }
wait_for_wine
registry_state >"$scratch/registry-before.txt"
temp_state >"$scratch/temp-before.txt"

# Installed where Windows users have their programs, in a folder with Czech letters. NSIS
# takes /D= only unquoted and last, so cmd hands the installer its command line as is.
folder="Měření KV $bits"
target="C:\\Program Files\\$folder"
cp "$installer" "$scratch/setup.exe"
wine_run cmd /c "$(winpath "$scratch/setup.exe") /S /PATH /D=$target" || fail "the installer ended with $?"
installed=$(wine_run winepath -u "$target" | tr -d '\r')
# A test that fails on the way leaves no installation for the next one to stumble over.
uninstall_leftovers() {
    [ -f "$installed/Uninstall.exe" ] || return 0
    "$root/scripts/wine-run.sh" "$target\\Uninstall.exe" /S || true
    WINEPREFIX=$prefix timeout 180 wineserver -w || true
}
cleanup_hooks+=(uninstall_leftovers "rm -rf '$installed'")
[ -f "$installed/kv3380u.exe" ] && [ -f "$installed/QQUDP.DLL" ] && [ -f "$installed/help/index.html" ] ||
    fail "nothing installed in $installed"
menu=$(wine_run winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs' | tr -d '\r')
menu="$menu/kv3380u $version ($bits bitů)"
cleanup_hooks+=("rm -rf '$menu'")
entries=("kv3380u (příkazový řádek).lnk" "Nápověda.lnk" "Odinstalovat.lnk")
[ "$windows" = 1 ] && entries+=("W_KV3380U.lnk")
[ "$(ls "$menu" 2>/dev/null | sort)" = "$(printf '%s\n' "${entries[@]}" | sort)" ] ||
    fail "the Start-menu entries are $(ls "$menu" 2>&1 | tr '\n' ',') not ${entries[*]}"

echo "package ($flavour): the uninstall entry names the package's publisher and version"
wine_run reg export "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KV3380U $bits-bit" \
    "$(winpath "$scratch/entry.reg")" "/reg:$bits" /y >/dev/null || fail "no uninstall entry"
entry() { iconv -f UTF-16 -t UTF-8 "$scratch/entry.reg" | tr -d '\r' | sed -n "s/^\"$1\"=//p"; }
IFS=. read -r major minor _ <<<"$numbers"
for expected in "Publisher=\"$publisher\"" "Contact=\"$publisher\"" "DisplayVersion=\"$version\"" \
    "VersionMajor=$(printf 'dword:%08x' "$major")" "VersionMinor=$(printf 'dword:%08x' "$minor")" \
    "HelpLink=\"C:\\\\Program Files\\\\$folder\\\\help\\\\index.html\""; do
    [ "$(entry "${expected%%=*}")" = "${expected#*=}" ] ||
        fail "uninstall entry: ${expected%%=*} is $(entry "${expected%%=*}"), not ${expected#*=}"
done

echo "package ($flavour): the console of the Start menu and the PATH find kv3380u as typed"
# The entry's console, fed what an operator types: the program answers, at the prompt of
# the operator's own folder.
profile=$(wine_run cmd /c 'echo %USERPROFILE%' | tr -d '\r')
printf 'kv3380u --version\r\nexit\r\n' |
    wine_run "$probe" open "$(winpath "$menu/kv3380u (příkazový řádek).lnk")" >"$scratch/console.txt" 2>&1 ||
    fail "the console entry ended with $?: $(cat "$scratch/console.txt")"
grep -qxF "$profile>kv3380u $version"$'\r' "$scratch/console.txt" ||
    fail "kv3380u does not answer in $profile in the console entry: $(tail -5 "$scratch/console.txt")"
# Any console, in any folder, with the program folder on PATH (/PATH).
(cd "$scratch" && wine_run cmd /c "kv3380u --version") | grep -q "kv3380u $version" ||
    fail "kv3380u is not found on PATH after /PATH"

echo "package ($flavour): the installed kv3380u.exe"
wine_run "$installed/kv3380u.exe" --help >"$scratch/help.txt"
grep -q "^kv3380u $version: zálohy" "$scratch/help.txt" ||
    fail "installed --help: $(head -3 "$scratch/help.txt")"
! grep -q exporter "$scratch/help.txt" || fail "--help offers the exporter, which the Windows build has not"
start_emulator
to_emulator
cd "$scratch"
"$KV_LINUX_BIN/kv3380u" backup linux.ini "${linux_connection[@]}" >/dev/null 2>&1
wine_run "$installed/kv3380u.exe" backup installed.ini "${windows_connection[@]}" >/dev/null 2>&1
cmp linux.ini installed.ini || fail "the installed program's backup differs from the Linux build's"

desktop=$(wine_run winepath -u 'C:\users\Public\Desktop' | tr -d '\r')
settings=
if [ "$windows" = 1 ]; then
    echo "package ($flavour): the installed W_KV3380U.exe"
    for f in "${windows_files[@]}"; do
        [ -f "$installed/$f" ] || fail "not installed: $f"
    done
    [ ! -e "$desktop/W_KV3380U.lnk" ] || fail "a silent installation without /DESKTOP made a desktop shortcut"
    # The installed program, in this prefix, on a display of its own.
    KV_WINE_DISPLAY_PREFIX=$prefix start_display
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

echo "package ($flavour): the uninstaller leaves nothing it made"
# As the Start menu starts it: from the program folder, so that it runs as a copy of
# itself in %TEMP% and returns at once; wine then waits for the copy and what it leaves
# to finish.
wine_run "$target\\Uninstall.exe" /S || fail "the uninstaller ended with $?"
wait_for_wine
registry_state | diff "$scratch/registry-before.txt" - ||
    fail "the registry is not as it was before the installation (above)"
[ "$(temp_state)" = "$(cat "$scratch/temp-before.txt")" ] ||
    fail "left in the temporary folder: $(temp_state | comm -13 "$scratch/temp-before.txt" -)"
[ ! -e "$menu" ] || fail "the Start-menu folder is left: $(ls "$menu")"
# The operator's settings file stays, with the folder that holds it; nothing else does.
if [ "$settings" = "$installed/W_kv3380u.ini" ]; then
    [ "$(ls -A "$installed")" = "W_kv3380u.ini" ] || fail "left in the program folder: $(ls -A "$installed")"
else
    [ ! -e "$installed" ] || fail "left: $installed: $(ls -A "$installed")"
    [ -z "$settings" ] || [ -f "$settings" ] || fail "the uninstaller removed the user's settings file"
fi

if [ "$windows" = 1 ]; then
    echo "package ($flavour): a desktop shortcut on request, removed by an uninstaller run in place"
    wine_run cmd /c "$(winpath "$scratch/setup.exe") /S /DESKTOP /D=$target" || fail "the installer ended with $?"
    [ -f "$desktop/W_KV3380U.lnk" ] || fail "/DESKTOP made no desktop shortcut in $desktop"
    cleanup_hooks+=("rm -f '$desktop/W_KV3380U.lnk'")
    rm -f "$installed/W_kv3380u.ini"
    wine_run "$probe" run "\"$target\\Uninstall.exe\" /S _?=$target" || fail "the uninstaller ended with $?"
    wait_for_wine
    registry_state | diff "$scratch/registry-before.txt" - ||
        fail "the registry is not as it was before the installation (above)"
    [ ! -e "$desktop/W_KV3380U.lnk" ] || fail "the uninstaller left the desktop shortcut"
    [ ! -e "$installed" ] || fail "left: $installed: $(ls -A "$installed")"
fi
echo "package ($flavour): ZIP, installation into Program Files, the installed programs, uninstallation"
