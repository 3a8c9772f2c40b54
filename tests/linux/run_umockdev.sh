#!/bin/bash
# Runs the umockdev tests of varnokctl: run_umockdev.sh VARNOKCTL ADAPTER.
# Status 77 (skipped) when umockdev or its Python bindings are missing.
#
# Rules that varnokctl writes are judged by Debian's own udevadm, taken from
# the udev package unpacked beside the program (not installed): the first
# run downloads the package from the archive.
set -u
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3  # Debian's own: the gi bindings live there
if ! command -v umockdev-wrapper >/dev/null || [[ ! -x $py ]] ||
   ! "$py" -c "import gi; gi.require_version('UMockdev', '1.0'); from gi.repository import UMockdev" 2>/dev/null; then
    echo "umockdev or its Python bindings are missing: skipped"
    exit 77
fi

referee=$(cd "$(dirname "$1")" && pwd)/udev-referee
if [[ ! -x $referee/bin/udevadm ]]; then
    rm -rf "$referee"
    mkdir -p "$referee/deb"
    download() { (cd "$referee/deb" && apt-get -q -o APT::Sandbox::User=root download udev >/dev/null); }
    if ! download; then
        # A machine whose package lists are not yet there.
        apt-get -q update >/dev/null && download ||
            { echo "the udev package could not be downloaded: varnokctl's rules cannot be judged"; exit 1; }
    fi
    dpkg -x "$referee"/deb/udev_*.deb "$referee" || exit 1
fi
export UDEVADM=$referee/bin/udevadm
exec umockdev-wrapper "$py" "$here/test_umockdev.py" "$@"
