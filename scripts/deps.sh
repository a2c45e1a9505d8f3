#!/usr/bin/env bash
# Installs what building, testing and running need, from Debian's packages.
# Idempotent: asks apt only when something is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev
    clang libclang-rt-14-dev clang-format git
    xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core
    # scripts/build.sh caches every compilation with it.
    ccache
    qt6-documentation-tools assistant-qt6 libqt6sql6-sqlite librsvg2-bin
    dpkg-dev file desktop-file-utils appstream
    # The Windows build (mingw-w64, -posix for std::thread; its C compiler also builds the
    # settings file's Windows probe of the Linux build), the tests under wine (32-bit too:
    # wine32 needs the i386 architecture) and the installer (NSIS).
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest
    wine wine64 wine32:i386 nsis unzip
    # kv3380u exporter's HTTP server (libmicrohttpd, TLS through GnuTLS), its web
    # configuration file (YAML), the bcrypt hashes of its users (libxcrypt), the Prometheus
    # server and promtool its tests run, and the client its TLS test asks with.
    libmicrohttpd-dev libgnutls28-dev libyaml-cpp-dev libcrypt-dev prometheus curl openssl
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi
# Another installation may hold dpkg's lock for a while (a second build on the machine).
lock=(-o DPkg::Lock::Timeout=600)
"${sudo[@]}" apt-get "${lock[@]}" update -qq
"${sudo[@]}" apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
