#!/usr/bin/env bash
# Builds a release of both programs and packs it into dist/:
#   dist/VarnokPlus-<version>-win64.zip    portable copy
#   dist/VarnokPlus-<version>-setup.exe    NSIS installer
#   dist/VarnokPlus-<version>-x64.msi      Windows Installer package (wixl)
#   dist/varnokctl_<version>_amd64.deb
#                                          varnokctl for Debian (CPack)
# The version is the CMake project version (project() in CMakeLists.txt).
# varnokctl.exe, the command-line program, is built and shipped in the three
# Windows packages whenever the CMake project has a varnokctl target.
#
# Usage: tools/release.sh
# Environment: BUILD_DIR (default build-release), LINUX_BUILD_DIR (default
#              build-release-linux, the native build of the .deb), DIST_DIR
#              (default dist), NO_INSTALL=1 to skip installing missing packages.
set -euo pipefail
# The .deb's directories get the permissions the umask leaves.
umask 022

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
BUILD_DIR=${BUILD_DIR:-build-release}
LINUX_BUILD_DIR=${LINUX_BUILD_DIR:-build-release-linux}
DIST_DIR=${DIST_DIR:-dist}
case $BUILD_DIR in /*) ;; *) BUILD_DIR=$ROOT/$BUILD_DIR ;; esac
case $LINUX_BUILD_DIR in /*) ;; *) LINUX_BUILD_DIR=$ROOT/$LINUX_BUILD_DIR ;; esac
case $DIST_DIR in /*) ;; *) DIST_DIR=$ROOT/$DIST_DIR ;; esac

log() { printf '[release] %s\n' "$*" >&2; }
die() { printf '[release] error: %s\n' "$*" >&2; exit 1; }

# --- tools: install only what is missing -----------------------------------
# A command, or a file (absolute path) for libraries and headers.
declare -A PKG_FOR=(
  [x86_64-w64-mingw32-g++]=g++-mingw-w64-x86-64
  [x86_64-w64-mingw32-objdump]=binutils-mingw-w64-x86-64
  [cmake]=cmake
  [make]=make
  [makensis]=nsis
  [zip]=zip
  [python3]=python3
  [wixl]=wixl
  [msibuild]=msitools
  [faketime]=faketime
  [/usr/include/CLI/CLI.hpp]=libcli11-dev
  [/usr/include/nlohmann/json.hpp]=nlohmann-json3-dev
  # The native build of the .deb: the compiler, what CMake looks for, and
  # dpkg-buildflags and dpkg-shlibdeps (which CPack runs).
  [g++]=g++
  [pkg-config]=pkgconf
  [/usr/include/libudev.h]=libudev-dev
  [/usr/include/libusb-1.0/libusb.h]=libusb-1.0-0-dev
  [/usr/include/gtest/gtest.h]=libgtest-dev
  [dpkg-shlibdeps]=dpkg-dev
)
missing=()
for tool in "${!PKG_FOR[@]}"; do
  if [[ $tool == /* ]]; then [[ -e $tool ]]; else command -v "$tool" >/dev/null 2>&1; fi ||
    missing+=("${PKG_FOR[$tool]}")
done
if ((${#missing[@]})); then
  [[ ${NO_INSTALL:-0} == 1 ]] && die "missing packages: ${missing[*]}"
  SUDO=
  if [[ $(id -u) != 0 ]]; then
    command -v sudo >/dev/null 2>&1 || die "missing packages (${missing[*]}) and no sudo"
    SUDO=sudo
  fi
  log "installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# --- build -----------------------------------------------------------------
log "configuring $BUILD_DIR"
# shellcheck source=stale-build.sh
source "$ROOT/tools/stale-build.sh"
forget_stale_windows_build "$BUILD_DIR"
cmake -S "$ROOT" -B "$BUILD_DIR" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVARNOK_WERROR=ON \
  "-DCMAKE_EXE_LINKER_FLAGS=-s -Wl,--no-insert-timestamp" >/dev/null
log "building"
PROGRAMS=(VarnokPlus_Configurator VarnokCfg)
TARGETS=$(cmake --build "$BUILD_DIR" --target help 2>/dev/null) || die "cannot list the build's targets"
if grep -Eq '(^|[ .])varnokctl(:|$)' <<<"$TARGETS"; then
  PROGRAMS+=(varnokctl)
fi
cmake --build "$BUILD_DIR" -j2 --target "${PROGRAMS[@]}" >&2

VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")
[[ $VERSION =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  die "cannot read the project version from $BUILD_DIR/CMakeCache.txt (got '$VERSION')"
log "version $VERSION"

# --- stage -----------------------------------------------------------------
NAME=VarnokPlus-$VERSION-win64
STAGE_ROOT=$BUILD_DIR/stage
STAGE=$STAGE_ROOT/$NAME
rm -rf "$STAGE_ROOT"
mkdir -p "$STAGE" "$DIST_DIR"

# Linked stripped (-s) and without a link time stamp, so that the same sources
# give the same bytes.
for exe in "${PROGRAMS[@]}"; do
  cp "$BUILD_DIR/$exe.exe" "$STAGE/$exe.exe"
  if x86_64-w64-mingw32-objdump -h "$STAGE/$exe.exe" | grep -q '\.debug_'; then
    die "$exe.exe is not stripped"
  fi
done
# Text files with Windows line ends, so that every editor shows them right.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
crlf packaging/README.txt "$STAGE/README.txt"
crlf LICENSE "$STAGE/LICENSE.txt"
crlf packaging/THIRD-PARTY-NOTICES.txt "$STAGE/THIRD-PARTY-NOTICES.txt"

# Every program carries the same version in their version resource.
for exe in "$STAGE"/*.exe; do
  python3 - "$exe" "$VERSION" <<'PY' || die "$(basename "$exe") does not carry version $VERSION"
import sys
data = open(sys.argv[1], 'rb').read()
want = ('FileVersion\0' + sys.argv[2] + '\0').encode('utf-16-le')
sys.exit(0 if want in data.replace(b'\0\0\0\0', b'\0\0') else 1)
PY
done

# The programs may import only DLLs that come with Windows; ftd2xx.dll is
# loaded at run time and must not be shipped.
for exe in "$STAGE"/*.exe; do
  imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
  for dll in $imports; do
    case $dll in
      kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|shell32.dll|advapi32.dll|msvcrt.dll) ;;
      *) die "$(basename "$exe") imports $dll, which Windows does not provide" ;;
    esac
  done
done

# Same time stamps every run, so the zip depends only on its contents.
EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || date +%s)
find "$STAGE_ROOT" -exec touch -h -d "@$EPOCH" {} +

# --- zip -------------------------------------------------------------------
ZIP=$DIST_DIR/$NAME.zip
rm -f "$ZIP"
log "packing $ZIP"
(cd "$STAGE_ROOT" && zip -q -X -9 -r "$ZIP" "$NAME")

# --- installer -------------------------------------------------------------
SETUP=$DIST_DIR/VarnokPlus-$VERSION-setup.exe
rm -f "$SETUP"
log "building $SETUP"
makensis -V2 -DVERSION="$VERSION" -DSTAGEDIR="$STAGE" -DOUTFILE="$SETUP" \
  "$ROOT/packaging/installer.nsi"

# --- Windows Installer package ----------------------------------------------
# wixl and msibuild stamp the package's summary information with the current
# time; they run at the last commit's time instead, so that the same commit
# gives the same bytes. wixl takes sources relative to the .wxs file.
MSI=$DIST_DIR/VarnokPlus-$VERSION-x64.msi
WXS=$ROOT/packaging/VarnokPlus.wxs
STAMP=$(date -u -d "@$EPOCH" '+%Y-%m-%d %H:%M:%S')
at_epoch() { TZ=UTC faketime "$STAMP" "$@"; }
UPGRADE_CODE=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$WXS")
[[ -n $UPGRADE_CODE ]] || die "no UpgradeCode in $WXS"
# Each version is its own product (a major upgrade replaces the one before);
# the same version always has the same product code.
PRODUCT_CODE=$(python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), "VarnokPlus " + sys.argv[2])).upper())' \
  "$UPGRADE_CODE" "$VERSION")
WITH_CLI=no
[[ -f $STAGE/varnokctl.exe ]] && WITH_CLI=yes
rm -f "$MSI"
log "building $MSI (product code {$PRODUCT_CODE}, varnokctl.exe: $WITH_CLI)"
(cd "$ROOT/packaging" &&
  at_epoch wixl -a x64 -D Version="$VERSION" -D WithCli="$WITH_CLI" \
    -D ProductCode="$PRODUCT_CODE" \
    -D StageDir="$(realpath --relative-to=. "$STAGE")" -o "$MSI" "$WXS") ||
  die "wixl failed"
# The installation folder on the system PATH, removed again with the package.
# wixl has no <Environment>, so the table and its two actions are added here.
msi_sql() { at_epoch msibuild "$MSI" -q "$1" || die "msibuild: $1"; }
msi_sql 'CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)'
msi_sql "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) VALUES ('SystemPath', '=-*Path', '[~];[INSTALLDIR]', 'Configurator')"
msi_sql "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)"
msi_sql "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
# WATCH_PROFILE reaches the service install that runs as LocalSystem also
# when msiexec was started by a user who is then asked to elevate.
if [[ $WITH_CLI == yes ]]; then
  msi_sql "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;WATCH_PROFILE' WHERE \`Property\` = 'SecureCustomProperties'"
fi
# The package code (summary information revision number) names these exact
# contents: derived from the package's bytes (with wixl's random code replaced
# by a fixed one first) rather than drawn at random.
summary() { at_epoch msibuild "$MSI" -s "Varnok Plus" Tarnel "x64;1033" "$1" ||
  die "msibuild could not set the package code"; }
summary "{00000000-0000-0000-0000-000000000000}"
PACKAGE_CODE=$(python3 -c 'import hashlib, sys, uuid
digest = hashlib.sha256(open(sys.argv[2], "rb").read()).hexdigest()
print("{" + str(uuid.uuid5(uuid.UUID(sys.argv[1]), digest)).upper() + "}")' \
  "$UPGRADE_CODE" "$MSI")
summary "$PACKAGE_CODE"
msiinfo export "$MSI" Environment | grep '^SystemPath' >/dev/null ||
  die "$MSI has no PATH entry"

# --- Debian package of varnokctl --------------------------------------------
# A native release build of varnokctl alone with Debian's build flags (all of
# dpkg-buildflags' hardening), packed by CPack (cmake/LinuxPackage.cmake:
# stripped, with its manual page, udev rule, copyright file and changelog).
# SOURCE_DATE_EPOCH gives the changelog entry and the package's time stamps
# the last commit's time.
log "configuring $LINUX_BUILD_DIR"
deb_flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
SOURCE_DATE_EPOCH=$EPOCH cmake -S "$ROOT" -B "$LINUX_BUILD_DIR" \
  -DCMAKE_BUILD_TYPE=Release -DVARNOK_WERROR=ON \
  "-DCMAKE_C_FLAGS=$(deb_flags CFLAGS) $(deb_flags CPPFLAGS)" \
  "-DCMAKE_CXX_FLAGS=$(deb_flags CXXFLAGS) $(deb_flags CPPFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(deb_flags LDFLAGS)" >/dev/null
log "building varnokctl for Debian"
cmake --build "$LINUX_BUILD_DIR" -j2 --target varnokctl >&2
rm -rf "$LINUX_BUILD_DIR/package"
(cd "$LINUX_BUILD_DIR" && SOURCE_DATE_EPOCH=$EPOCH cpack -G DEB -B "$LINUX_BUILD_DIR/package" >&2) ||
  die "cpack failed"
debs=("$LINUX_BUILD_DIR"/package/varnokctl_"$VERSION"_amd64.deb)
[[ -f ${debs[0]} ]] || die "cpack made no varnokctl_${VERSION}_amd64.deb"
DEB=$DIST_DIR/$(basename "${debs[0]}")
rm -f "$DIST_DIR"/varnokctl_*_amd64.deb
cp "${debs[0]}" "$DEB"

ls -l "$ZIP" "$SETUP" "$MSI" "$DEB" >&2
printf '%s\n%s\n%s\n%s\n' "$ZIP" "$SETUP" "$MSI" "$DEB"
