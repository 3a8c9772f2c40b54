#!/usr/bin/env bash
# shellcheck disable=SC2317  # functions are called through check
# Installs, starts and uninstalls the release installer under Wine, in a
# throw-away Wine prefix, and checks every step.
#
# Usage: tests/e2e/release/test_installer.sh [path/to/VarnokPlus-<version>-setup.exe]
# Without an argument it takes the installer in dist/ (running tools/release.sh
# first when there is none). KEEP_PREFIX=1 keeps the Wine prefix for a look.
# Last line: "N passed, N failed"; exit status 1 when anything failed.
set -uo pipefail

# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
ROOT=$RELEASE_ROOT
release_need_tools unzip=unzip

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

release_setup

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

key_exists() { timeout -k 2 20 wine reg query "$KEY" >/dev/null 2>&1; }
check "uninstall key exists" key_exists
[[ $(reg_value "$KEY" DisplayName) == "Varnok Plus" ]]
check "DisplayName is 'Varnok Plus'" test $? -eq 0
[[ $(reg_value "$KEY" DisplayVersion) == "$VERSION" ]]
check "DisplayVersion is $VERSION" test $? -eq 0
[[ $(reg_value "$KEY" Publisher) == Tarnel ]]
check "Publisher is Tarnel" test $? -eq 0
[[ $(reg_value "$KEY" InstallLocation) == "$DIR_WIN" ]]
check "InstallLocation is $DIR_WIN" test $? -eq 0
[[ $(reg_value "$KEY" UninstallString) == "\"$DIR_WIN\\uninstall.exe\"" ]]
check "UninstallString names the installed uninstaller" test $? -eq 0

# --- each program starts and shows its window ------------------------------
# (then the Wine server ends: the killed programs' windows and helper
# processes go before uninstalling)
run_both_programs "$DIR_WIN"

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
