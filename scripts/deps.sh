#!/usr/bin/env bash
# Installs what building, testing and running need, from Debian's packages.
# Idempotent: asks apt only when something is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev
    clang libclang-rt-14-dev clang-format git
    xvfb xauth x11-utils imagemagick fonts-dejavu-core
    qt6-documentation-tools assistant-qt6 libqt6sql6-sqlite librsvg2-bin
    dpkg-dev file desktop-file-utils appstream
    mingw-w64 wine wine64
    libcpp-httplib-dev prometheus
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
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
