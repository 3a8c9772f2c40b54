#!/bin/bash
# The Debian package of varnokctl: test_deb.sh BUILD_DIR (packs it with CPack
# from that build folder) or test_deb.sh PACKAGE.deb (the release's).
# Checks the metadata and file list with dpkg-deb, has lintian judge the
# package (no error, no warning), then installs it with dpkg into a temporary
# root whose package database is a copy of this system's (dependencies and
# file owners as here; this system itself is not touched), runs the program
# from there and purges the package again.
# Status 77 (skipped) without dpkg-deb or lintian, or as a user without
# fakeroot. KEEP_WORK=1 keeps the temporary folder (logs, root) and names it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for tool in dpkg-deb lintian; do
    command -v $tool >/dev/null || { echo "$tool is missing: skipped"; exit 77; }
done
if [[ $(id -u) != 0 ]]; then
    command -v fakeroot >/dev/null || { echo "not root and no fakeroot: skipped"; exit 77; }
    exec fakeroot "$0" "$@"
fi
work=$(mktemp -d)
trap 'if [[ -n ${KEEP_WORK:-} ]]; then echo "kept $work"; else rm -rf "$work"; fi' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [[ -d $1 ]]; then
    build=$(cd "$1" && pwd)
    (cd "$work" && umask 022 && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) ||
        { cat "$work/cpack.log"; fail "cpack"; }
    debs=("$work"/out/varnokctl_*_amd64.deb)
    [[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "no package in $(ls "$work/out")"
    deb=${debs[0]}
else
    deb=$1
fi

# --- metadata and files -----------------------------------------------------
project=$(sed -n 's/^project(VarnokPlus VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
version=$(dpkg-deb -f "$deb" Version)
[[ $version == "$project" ]] || fail "version $version is not the project's $project"
[[ $(basename "$deb") == "varnokctl_${version}_amd64.deb" ]] || fail "file name $(basename "$deb")"
info=$(dpkg-deb -I "$deb")
for want in "Package: varnokctl" "Architecture: amd64" "Section: utils" "Priority: optional"; do
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
                     ./usr/share/man/man1/varnokctl.1.gz ./usr/share/doc/varnokctl/copyright \
                     ./usr/share/doc/varnokctl/changelog.gz \
                     ./usr/share/doc/varnokctl/varnokctl.schema.json | sort)
[[ $files == "$want" ]] || fail "files: $files"

# --- lintian --------------------------------------------------------------------
# Information and pedantic tags are shown; errors and warnings fail.
status=0
tags=$(lintian --display-info --pedantic --fail-on error,warning "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$tags" || true
[[ $status == 0 ]] || fail "lintian found errors or warnings"

# --- installed with dpkg ----------------------------------------------------
# A root with a copy of this system's package database (without varnokctl, so
# that the package is always installed afresh): its packages, diversions, file
# lists and format (without it dpkg would first convert the copy).
root=$work/root
admin=$root/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
awk 'BEGIN { RS = ""; ORS = "\n\n" } !/(^|\n)Package: varnokctl\n/' /var/lib/dpkg/status >"$admin/status"
touch "$admin/available"
[[ ! -f /var/lib/dpkg/diversions ]] || cp /var/lib/dpkg/diversions "$admin/"
find /var/lib/dpkg/info \( -name '*.list' -o -name format \) ! -name 'varnokctl.list' ! -name 'varnokctl:*' \
    -exec cp -t "$admin/info" {} +
# A throw-away root: no need to sync each unpacked file to disk.
in_root() { dpkg --root="$root" --log="$work/dpkg.log" --force-unsafe-io "$@"; }
in_root -i "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "dpkg -i"; }
[[ $(dpkg-query --admindir="$admin" -W -f='${Status} ${Version}' varnokctl) == "install ok installed $version" ]] ||
    fail "not installed: $(dpkg-query --admindir="$admin" -W varnokctl 2>&1)"
owned=$(dpkg-query --admindir="$admin" -L varnokctl)

help=$("$root/usr/bin/varnokctl" --help) && grep -q "modes" <<<"$help" || fail "--help"
"$root/usr/bin/varnokctl" list >/dev/null || fail "list from the installed package"
status=0
"$root/usr/bin/varnokctl" set ttyUSB0 latency-timer=0 2>"$work/err" || status=$?
[[ $status == 4 ]] && grep -q "out of range" "$work/err" || fail "out of range: status $status"
grep -q 'GROUP="plugdev"' "$root/usr/lib/udev/rules.d/60-varnokctl.rules" || fail "udev rule"
man=$(zcat "$root/usr/share/man/man1/varnokctl.1.gz")
grep -q '^\.TH VARNOKCTL 1' <<<"$man" || fail "man page"
changelog=$(zcat "$root/usr/share/doc/varnokctl/changelog.gz")
[[ ${changelog%%$'\n'*} == "varnokctl ($version) "* ]] ||
    fail "the changelog's last entry is not version $version: ${changelog%%$'\n'*}"

in_root --purge varnokctl >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "dpkg --purge"; }
dpkg-query --admindir="$admin" -W varnokctl >/dev/null 2>&1 && fail "still known to dpkg after --purge"
left=$(while read -r path; do
           if [[ -e $root$path && ! -d $root$path ]]; then echo "$path"; fi
       done <<<"$owned")
[[ -z $left && ! -e $root/usr/share/doc/varnokctl ]] || fail "left after --purge: $left"
echo "package $(basename "$deb"): metadata, files and lintian checked; installed, run and purged"
