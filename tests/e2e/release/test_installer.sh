#!/usr/bin/env bash
# shellcheck disable=SC2317  # functions are called through check and the traps
# Installs, starts and uninstalls the release installer under Wine, in a
# throw-away Wine prefix, and checks every step.
#
# Usage: tests/e2e/release/test_installer.sh [path/to/VarnokPlus-<version>-setup.exe]
# Without an argument it takes the installer in dist/ (running tools/release.sh
# first when there is none). KEEP_PREFIX=1 keeps the Wine prefix for a look.
# Last line: "N passed, N failed"; exit status 1 when anything failed.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
PASSED=0
FAILED=0
pass() { PASSED=$((PASSED + 1)); printf 'ok   %s\n' "$1"; }
fail() { FAILED=$((FAILED + 1)); printf 'FAIL %s\n' "$1"; }
check() { # check "description" command...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
finish() {
  printf '%d passed, %d failed\n' "$PASSED" "$FAILED"
  ((FAILED == 0))
  exit
}

# --- tools -----------------------------------------------------------------
declare -A PKG_FOR=([wine]=wine [Xvfb]=xvfb [xdotool]=xdotool [unzip]=unzip)
[[ -x /usr/lib/wine/wine64 ]] || PKG_FOR[wine64-missing]=wine64
missing=()
for tool in "${!PKG_FOR[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("${PKG_FOR[$tool]}")
done
if ((${#missing[@]})); then
  if [[ $(id -u) == 0 ]]; then
    echo "installing ${missing[*]}"
    if ! { apt-get update -qq &&
           DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
             "${missing[@]}" >/dev/null; }; then
      fail "install ${missing[*]}"
      finish
    fi
  else
    fail "missing packages: ${missing[*]}"
    finish
  fi
fi

# --- the installer under test ---------------------------------------------
SETUP=${1:-}
if [[ -z $SETUP ]]; then
  SETUP=$(ls -t "$ROOT"/dist/VarnokPlus-*-setup.exe 2>/dev/null | head -n 1)
  if [[ -z $SETUP ]]; then
    echo "no installer in dist/: running tools/release.sh"
    "$ROOT/tools/release.sh" >/dev/null || { fail "tools/release.sh"; finish; }
    SETUP=$(ls -t "$ROOT"/dist/VarnokPlus-*-setup.exe 2>/dev/null | head -n 1)
  fi
fi
[[ -f $SETUP ]] || { fail "installer found ($SETUP)"; finish; }
SETUP=$(cd "$(dirname "$SETUP")" && pwd)/$(basename "$SETUP")
VERSION=$(basename "$SETUP" | sed -n 's/^VarnokPlus-\(.*\)-setup\.exe$/\1/p')
[[ -n $VERSION ]] || { fail "version in the installer's name ($SETUP)"; finish; }
ZIP=$(dirname "$SETUP")/VarnokPlus-$VERSION-win64.zip
echo "installer: $SETUP (version $VERSION)"

# --- throw-away prefix and X server ---------------------------------------
WORK=$(mktemp -d /tmp/varnok-release-test.XXXXXX)
export WINEPREFIX=$WORK/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
XVFB_PID=
PROGRAM_PIDS=()

cleanup() {
  local pid
  for pid in "${PROGRAM_PIDS[@]}"; do
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  timeout -k 2 10 wineserver -k >/dev/null 2>&1
  if [[ -n $XVFB_PID ]]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  if [[ ${KEEP_PREFIX:-0} == 1 ]]; then
    echo "prefix kept: $WINEPREFIX"
  else
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display itself and writes its number to the file.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do
  [[ -s $WORK/display ]] && break
  sleep 0.1
done
[[ -s $WORK/display ]] || { fail "Xvfb started"; finish; }
DISPLAY=:$(head -n 1 "$WORK/display")
export DISPLAY

SECONDS=0
timeout -k 5 120 wineboot -i >/dev/null 2>&1
timeout -k 5 120 wineserver -w
check "fresh Wine prefix created (${SECONDS}s)" test -f "$WINEPREFIX/system.reg"

DIR_WIN='C:\Program Files\Varnok Plus'
DIR=$WINEPREFIX/drive_c/Program\ Files/Varnok\ Plus
START=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Varnok\ Plus
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VarnokPlus'
PROGRAMS=(VarnokPlus_Configurator VarnokCfg)
SHORTCUTS=("Varnok Plus Configurator.lnk:VarnokPlus_Configurator.exe"
           "VarnokCfg.lnk:VarnokCfg.exe" "Uninstall Varnok Plus.lnk:uninstall.exe")

# --- install ---------------------------------------------------------------
timeout -k 5 120 wine "$SETUP" /S
check "silent install exits 0" test $? -eq 0

for p in "${PROGRAMS[@]}"; do
  check "$DIR_WIN\\$p.exe installed" test -f "$DIR/$p.exe"
done
check "README, LICENSE and notices installed" \
  test -f "$DIR/README.txt" -a -f "$DIR/LICENSE.txt" -a -f "$DIR/THIRD-PARTY-NOTICES.txt"
check "uninstaller installed" test -f "$DIR/uninstall.exe"
no_ftd2xx() {
  [[ -z $(find "$WINEPREFIX/drive_c" -iname ftd2xx.dll -print -quit) ]]
}
check "no ftd2xx.dll installed anywhere" no_ftd2xx

if [[ -f $ZIP ]]; then
  same_as_zip() {
    local p
    for p in "${PROGRAMS[@]}"; do
      unzip -p "$ZIP" "VarnokPlus-$VERSION-win64/$p.exe" | cmp -s - "$DIR/$p.exe" || return 1
    done
  }
  check "installed programs are the ones in the zip" same_as_zip
fi

shortcut_ok() { # name:target — the link exists and names its target
  local lnk=$START/${1%%:*} target=${1#*:}
  [[ -f $lnk ]] && grep -aqi "$target" "$lnk"
}
for s in "${SHORTCUTS[@]}"; do
  check "Start-menu shortcut ${s%%:*}" shortcut_ok "$s"
done

reg_value() { # value name -> data (empty when missing)
  timeout -k 2 20 wine reg query "$KEY" /v "$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
key_exists() { timeout -k 2 20 wine reg query "$KEY" >/dev/null 2>&1; }
check "uninstall key exists" key_exists
[[ $(reg_value DisplayName) == "Varnok Plus" ]]
check "DisplayName is 'Varnok Plus'" test $? -eq 0
[[ $(reg_value DisplayVersion) == "$VERSION" ]]
check "DisplayVersion is $VERSION" test $? -eq 0
[[ $(reg_value Publisher) == Tarnel ]]
check "Publisher is Tarnel" test $? -eq 0
[[ $(reg_value InstallLocation) == "$DIR_WIN" ]]
check "InstallLocation is $DIR_WIN" test $? -eq 0
[[ $(reg_value UninstallString) == "\"$DIR_WIN\\uninstall.exe\"" ]]
check "UninstallString names the installed uninstaller" test $? -eq 0

# --- each program starts and shows its window ------------------------------
window_appears() { # caption, seconds
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}
run_program() { # exe, caption regex, caption text
  local pid status
  wine "$DIR_WIN\\$1.exe" >/dev/null 2>&1 &
  pid=$!
  PROGRAM_PIDS+=("$pid")
  window_appears "$2" 30
  status=$?
  check "$1 starts and shows \"$3\"" test $status -eq 0
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}
run_program VarnokPlus_Configurator 'Tarnel Varnok Plus Configurator' \
  'Tarnel Varnok Plus Configurator'
run_program VarnokCfg 'Tarnel VarnokCfg v2\.3' 'Tarnel VarnokCfg v2.3'
PROGRAM_PIDS=()
# Let the killed programs' windows and helper processes go before uninstalling.
timeout -k 2 30 wineserver -k >/dev/null 2>&1

# --- uninstall ---------------------------------------------------------------
# The uninstaller copies itself to the temporary folder and runs from there
# so that it can delete itself; waiting for the Wine server to end waits for
# that copy too.
timeout -k 5 60 wine "$DIR_WIN\\uninstall.exe" /S
check "silent uninstall exits 0" test $? -eq 0
timeout -k 5 60 wineserver -w
check "uninstall finished within 60 s" test $? -eq 0

check "installation folder removed" test ! -e "$DIR"
check "Start-menu folder removed" test ! -e "$START"
key_gone() { ! key_exists; }
check "uninstall key removed" key_gone

finish
