#!/bin/bash
# The Debian package of varnokctl: built with CPack from build folder $1,
# checked with dpkg-deb (metadata and file list), unpacked into a temporary
# root and run from there. Status 77 (skipped) without dpkg-deb.
set -euo pipefail
build=$(cd "$1" && pwd)
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is missing: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/varnokctl_*_amd64.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "no package in $(ls "$work/out")"
deb=${debs[0]}

info=$(dpkg-deb -I "$deb")
for want in "Package: varnokctl" "Version: 2.0.0" "Architecture: amd64" "Section: utils"; do
    grep -qx " $want" <<<"$info" || fail "metadata lacks '$want': $info"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libudev1 libusb-1.0-0 libc6 libstdc++6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# The listing is read whole first: grep -q would end the pipe early.
listing=$(dpkg-deb -c "$deb")
files=$(awk '{print $NF}' <<<"$listing" | grep -v '/$' | sort)
want=$(printf '%s\n' ./usr/bin/varnokctl ./usr/lib/udev/rules.d/60-varnokctl.rules \
                     ./usr/share/man/man1/varnokctl.1 | sort)
[[ $files == "$want" ]] || fail "files: $files"
grep -q '^-rwxr-xr-x root/root .* ./usr/bin/varnokctl$' <<<"$listing" ||
    fail "the program is not root-owned and executable"

root=$work/root
dpkg-deb -x "$deb" "$root"
help=$("$root/usr/bin/varnokctl" --help) && grep -q "modes" <<<"$help" || fail "--help"
"$root/usr/bin/varnokctl" list >/dev/null || fail "list from the unpacked package"
status=0
"$root/usr/bin/varnokctl" set ttyUSB0 latency-timer=0 2>"$work/err" || status=$?
[[ $status == 4 ]] && grep -q "out of range" "$work/err" || fail "out of range: status $status"
grep -q 'GROUP="plugdev"' "$root/usr/lib/udev/rules.d/60-varnokctl.rules" || fail "udev rule"
grep -q '^\.TH VARNOKCTL 1' "$root/usr/share/man/man1/varnokctl.1" || fail "man page"
echo "package $(basename "$deb"): metadata, files and program checked"
