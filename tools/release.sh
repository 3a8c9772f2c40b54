#!/usr/bin/env bash
# Builds a release of both programs and packs it into dist/:
#   dist/VarnokPlus-<version>-win64.zip    portable copy
#   dist/VarnokPlus-<version>-setup.exe    NSIS installer
# The version is the CMake project version (project() in CMakeLists.txt).
#
# Usage: tools/release.sh
# Environment: BUILD_DIR (default build-release), DIST_DIR (default dist),
#              NO_INSTALL=1 to skip installing missing packages.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
BUILD_DIR=${BUILD_DIR:-build-release}
DIST_DIR=${DIST_DIR:-dist}
case $BUILD_DIR in /*) ;; *) BUILD_DIR=$ROOT/$BUILD_DIR ;; esac
case $DIST_DIR in /*) ;; *) DIST_DIR=$ROOT/$DIST_DIR ;; esac

log() { printf '[release] %s\n' "$*" >&2; }
die() { printf '[release] error: %s\n' "$*" >&2; exit 1; }

# --- tools: install only what is missing -----------------------------------
declare -A PKG_FOR=(
  [x86_64-w64-mingw32-g++]=g++-mingw-w64-x86-64
  [x86_64-w64-mingw32-objdump]=binutils-mingw-w64-x86-64
  [cmake]=cmake
  [make]=make
  [makensis]=nsis
  [zip]=zip
  [python3]=python3
)
missing=()
for tool in "${!PKG_FOR[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("${PKG_FOR[$tool]}")
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
cmake -S "$ROOT" -B "$BUILD_DIR" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVARNOK_WERROR=ON \
  "-DCMAKE_EXE_LINKER_FLAGS=-s -Wl,--no-insert-timestamp" >/dev/null
log "building"
cmake --build "$BUILD_DIR" -j2 --target VarnokPlus_Configurator VarnokCfg >&2

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
for exe in VarnokPlus_Configurator VarnokCfg; do
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

# Both programs carry the same version in their version resource.
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

ls -l "$ZIP" "$SETUP" >&2
printf '%s\n%s\n' "$ZIP" "$SETUP"
