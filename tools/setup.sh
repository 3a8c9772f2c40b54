#!/bin/bash
# Installs what building and testing need on Debian 12. Skips the install when
# every package is already there, so that local runs stay quick.
set -euo pipefail

PACKAGES=(cmake make g++ libgtest-dev libgmock-dev googletest libbenchmark-dev clang libclang-rt-14-dev
          g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 xvfb x11-utils xdotool imagemagick
          fonts-wine nsis zip unzip python3 wixl msitools faketime libcli11-dev
          nlohmann-json3-dev libudev-dev libusb-1.0-0-dev umockdev libumockdev-dev
          gir1.2-umockdev-1.0 python3-gi dpkg-dev pkgconf lintian ccache
          python3-jsonschema ansible-core)

missing=()
for p in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$p")
done
if (( ${#missing[@]} == 0 )); then
    echo "setup: all packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=()
if (( $(id -u) != 0 )); then
    command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
    SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update
"${SUDO[@]}" apt-get install -y "${PACKAGES[@]}"
