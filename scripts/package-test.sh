#!/usr/bin/env bash
# Builds the .deb from build/, checks the desktop entry and the AppStream metadata, and,
# as root (CI), installs the package and runs the installed program as an ordinary user
# for whom the program folder is read-only: closed with SIGTERM, it must leave its
# settings file in that user's configuration folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
cd "$build"

echo "package: building the .deb"
rm -rf package
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
deb=$(ls package/kv3380u_*.deb)
dpkg-deb -I "$deb" | sed -n 's/^ \(Depends\|Recommends\):/package:   \1:/p'

echo "package: checking the desktop entry and the AppStream metadata"
desktop-file-validate data/*.desktop
appstreamcli validate --no-net data/*.metainfo.xml

# The exporter's service, rules and dashboard are in the package; the service runs under
# a user of its own, on loopback, and nothing in the package enables it.
echo "package: checking the exporter's service"
unit=usr/lib/systemd/system/kv3380u-exporter.service
contents=$(dpkg-deb -c "$deb")
for f in "$unit" usr/share/kv3380u/prometheus/kv3380u-alerts.yml \
    usr/share/kv3380u/grafana/kv3380u-dashboard.json; do
    grep -q " \./$f\$" <<<"$contents" || { echo "package: $f is missing" >&2; exit 1; }
done
scratch=$(mktemp -d)
dpkg-deb -x "$deb" "$scratch/root"
dpkg-deb -e "$deb" "$scratch/control"
service=$scratch/root/$unit
grep -qx 'DynamicUser=yes' "$service" || { echo "package: the service has no user of its own" >&2; exit 1; }
options=$(sed -n 's/^Environment="KV3380U_EXPORTER_OPTIONS=\(.*\)"$/\1/p' "$service")
[[ "$options" == "--listen 127.0.0.1:"* ]] || { echo "package: the service does not listen on loopback ($options)" >&2; exit 1; }
if grep -qs -e 'systemctl' -e 'deb-systemd-helper' "$scratch"/control/*; then
    echo "package: a maintainer script enables or starts the service" >&2
    exit 1
fi
rm -rf "$scratch"

if [ "$(id -u)" -ne 0 ]; then
    echo "package: not root; installing the package and starting it as another user are left to CI"
    exit 0
fi

echo "package: installing $deb"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "./$deb" >apt.log 2>&1 || { cat apt.log >&2; exit 1; }
program_dir=/usr/lib/kv3380u
for f in W_KV3380U kv3380u kv3380u-emulator QUSBVX.DLL QLAN.DLL W_kv3380u.qch W_kv3380u.qhc help/index.html; do
    [ -e "$program_dir/$f" ] || { echo "package: $program_dir/$f is missing" >&2; exit 1; }
done
[ -x /usr/bin/W_KV3380U ] && [ -x /usr/bin/kv3380u ] && [ -x /usr/bin/kv3380u-emulator ] || { echo "package: nothing on /usr/bin" >&2; exit 1; }

user=kv3380u-check
id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
settings=$home/.config/kv3380u/W_kv3380u.ini
rm -f "$settings" "$program_dir/W_kv3380u.ini"
if setpriv --reuid="$user" --regid="$user" --init-groups test -w "$program_dir"; then
    echo "package: $user may write $program_dir" >&2
    exit 1
fi

# Started the way the desktop's menu starts it: the desktop entry's command.
entry=/usr/share/applications/local.kv3380u.w_kv3380u.desktop
command=$(sed -n 's/^Exec=//p' "$entry")
[ -n "$command" ] || { echo "package: $entry has no command" >&2; exit 1; }
echo "package: starting the installed program ($command) as $user"
runtime=$(mktemp -d)
chown "$user" "$runtime"
chmod 700 "$runtime"
# setpriv and env replace themselves, so $! is the program itself.
setpriv --reuid="$user" --regid="$user" --init-groups \
    env -i HOME="$home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
    "$command" >"$build/installed-run.log" 2>&1 &
pid=$!
# Ready once it catches SIGTERM (its handler closes the main window, which saves).
catches() {
    local mask
    mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null) || return 1
    [ -n "$mask" ] && (( (16#$mask >> 14) & 1 ))
}
for _ in $(seq 1 600); do
    catches && break
    kill -0 "$pid" 2>/dev/null || { cat "$build/installed-run.log" >&2; echo "package: the program ended by itself" >&2; exit 1; }
    sleep 0.1
done
catches || { kill -9 "$pid"; echo "package: the program never got ready" >&2; exit 1; }
kill -TERM "$pid"
status=0
for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid"
    echo "package: the program did not end after SIGTERM" >&2
    exit 1
fi
wait "$pid" || status=$?
rm -rf "$runtime"
[ "$status" -eq 0 ] || { cat "$build/installed-run.log" >&2; echo "package: exit status $status" >&2; exit 1; }

[ -f "$settings" ] || { echo "package: no settings file at $settings" >&2; exit 1; }
# Code page 1250: "Rozhraní" ends in 0xED.
grep -qa $'Rozhran\xed=USBVx' "$settings" || { echo "package: $settings lacks the interface" >&2; exit 1; }
[ "$(stat -c %U "$settings")" = "$user" ] || { echo "package: $settings is not $user's" >&2; exit 1; }
[ ! -e "$program_dir/W_kv3380u.ini" ] || { echo "package: a settings file appeared in $program_dir" >&2; exit 1; }
echo "package: the installed program kept its settings in $settings"

# The command-line program, as the same user: it reads the settings the utility kept
# (the USB interface, first device found), reaches an emulator that plugs its virtual
# device into a folder of the check's own on a loopback address, and leaves the file as
# it was.
echo "package: the installed kv3380u against the installed emulator, as $user"
as_user() {
    setpriv --reuid="$user" --regid="$user" --init-groups \
        env -i HOME="$home" PATH=/usr/bin:/bin KV3380U_USB_DIR="$devices" "$@"
}
devices=$(mktemp -d)
chown "$user" "$devices"
chmod 700 "$devices"
as_user /usr/bin/kv3380u --help >"$build/installed-cli.log" 2>&1 ||
    { cat "$build/installed-cli.log" >&2; echo "package: kv3380u --help failed" >&2; exit 1; }
before=$(sha256sum "$settings")
as_user /usr/bin/kv3380u-emulator --address 127.0.0.5 --port 0 --vlan-ports 0,0,0 \
    --usb-dir "$devices" --usb-serial PKGCHECK --state "$devices/state" --lifetime 60 \
    >"$build/installed-emulator.log" 2>&1 &
emulator=$!
for _ in $(seq 1 100); do
    grep -q '^ready' "$build/installed-emulator.log" && break
    kill -0 "$emulator" 2>/dev/null || break
    sleep 0.1
done
status=0
as_user /usr/bin/kv3380u identify >>"$build/installed-cli.log" 2>&1 || status=$?
kill -TERM "$emulator" 2>/dev/null || true
wait "$emulator" 2>/dev/null || true
rm -rf "$devices"
if [ "$status" -ne 0 ] || ! grep -q 'Připojen modul' "$build/installed-cli.log"; then
    cat "$build/installed-emulator.log" "$build/installed-cli.log" >&2
    echo "package: the installed kv3380u did not identify the module (exit $status)" >&2
    exit 1
fi
[ "$(sha256sum "$settings")" = "$before" ] || { echo "package: kv3380u changed $settings" >&2; exit 1; }
echo "package: the installed kv3380u identified the module from the stored settings"

# The exporter's service as systemd would take it, disabled; then its command with the
# service's own options (but a free port), as an ordinary user, asked for an emulator.
echo "package: the exporter's service"
service=/usr/lib/systemd/system/kv3380u-exporter.service
systemd-analyze verify "$service" || { echo "package: systemd-analyze refuses $service" >&2; exit 1; }
enabled=$(systemctl is-enabled kv3380u-exporter 2>/dev/null || true)
[ "$enabled" = disabled ] || { echo "package: the service is \"$enabled\", not disabled" >&2; exit 1; }
options=$(sed -n 's/^Environment="KV3380U_EXPORTER_OPTIONS=\(.*\)"$/\1/p' "$service")
devices=$(mktemp -d)
chown "$user" "$devices"
# The first emulator's log goes first: its "ready" and its ports must not be taken for
# the second's before that one's start empties the file.
rm -f "$build/installed-emulator.log" "$build/installed-exporter.log"
as_user /usr/bin/kv3380u-emulator --address 127.0.0.5 --port 0 --vlan-ports 0,0,0 --no-usb \
    --state "$devices/state" --lifetime 60 >"$build/installed-emulator.log" 2>&1 &
emulator=$!
# shellcheck disable=SC2086 # the options are words, as systemd splits them
as_user /usr/bin/kv3380u exporter ${options/127.0.0.1:9338/127.0.0.1:0} \
    >"$build/installed-exporter.log" 2>&1 &
exporter=$!
for _ in $(seq 1 100); do
    grep -qs '^ready' "$build/installed-emulator.log" && grep -qs 'http://' "$build/installed-exporter.log" && break
    sleep 0.1
done
module=$(sed -n 's/^udp \(127.0.0.5:[0-9]*\) remote management$/\1/p' "$build/installed-emulator.log")
listen=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$build/installed-exporter.log")
answer=$(curl -s --max-time 20 "http://127.0.0.1:$listen/probe?target=$module" || true)
kill -TERM "$exporter" "$emulator" 2>/dev/null || true
wait "$exporter" "$emulator" 2>/dev/null || true
rm -rf "$devices"
if ! grep -qx 'kv3380u_up 1' <<<"$answer"; then
    cat "$build/installed-emulator.log" "$build/installed-exporter.log" >&2
    echo "package: the service's exporter did not answer for the module: $answer" >&2
    exit 1
fi
echo "package: the service is disabled, and its exporter answers for a module on loopback"
