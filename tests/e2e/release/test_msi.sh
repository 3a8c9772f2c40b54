#!/usr/bin/env bash
# shellcheck disable=SC2317  # functions are called through check
# Installs, starts and uninstalls the release's Windows Installer package
# under Wine, silently as a fleet would (msiexec /i ... /qn, /x ... /qn), in a
# throw-away Wine prefix, and checks every step.
#
# Usage: tests/e2e/release/test_msi.sh [path/to/VarnokPlus-<version>-x64.msi]
# Without an argument it takes the package in dist/ (running tools/release.sh
# first when there is none). KEEP_PREFIX=1 keeps the Wine prefix for a look.
# Last line: "N passed, N failed"; exit status 1 when anything failed.
set -uo pipefail

# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
ROOT=$RELEASE_ROOT
release_need_tools unzip=unzip msiinfo=msitools

# --- the package under test ------------------------------------------------
MSI=${1:-}
if [[ -z $MSI ]]; then
  MSI=$(ls -t "$ROOT"/dist/VarnokPlus-*-x64.msi 2>/dev/null | head -n 1)
  if [[ -z $MSI ]]; then
    echo "no package in dist/: running tools/release.sh"
    "$ROOT/tools/release.sh" >/dev/null || { fail "tools/release.sh"; finish; }
    MSI=$(ls -t "$ROOT"/dist/VarnokPlus-*-x64.msi 2>/dev/null | head -n 1)
  fi
fi
[[ -f $MSI ]] || { fail "package found ($MSI)"; finish; }
MSI=$(cd "$(dirname "$MSI")" && pwd)/$(basename "$MSI")
VERSION=$(basename "$MSI" | sed -n 's/^VarnokPlus-\(.*\)-x64\.msi$/\1/p')
[[ -n $VERSION ]] || { fail "version in the package's name ($MSI)"; finish; }
ZIP=$(dirname "$MSI")/VarnokPlus-$VERSION-win64.zip
PRODUCT_CODE=$(msiinfo export "$MSI" Property 2>/dev/null | tr -d '\r' |
  sed -n 's/^ProductCode\t//p')
[[ -n $PRODUCT_CODE ]] || { fail "product code in $MSI"; finish; }
WITH_CLI=0
msiinfo export "$MSI" File 2>/dev/null | grep -q '^varnokctl\.exe' && WITH_CLI=1
echo "package: $MSI (version $VERSION, product $PRODUCT_CODE, varnokctl.exe: $WITH_CLI)"

release_setup

DIR_WIN='C:\Program Files\Varnok Plus'
DIR=$WINEPREFIX/drive_c/Program\ Files/Varnok\ Plus
# The package installs per machine, so on Windows the shortcuts go to the
# all-users Start menu. Wine 8's Windows Installer ignores ALLUSERS there and
# uses the installing user's Start menu: either is accepted, and both must be
# empty after uninstalling.
START_ALL=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Varnok\ Plus
START_USER=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs)/Varnok\ Plus
ENV_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
UNINST_KEY="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT_CODE"
PROGRAMS=(VarnokPlus_Configurator VarnokCfg)
((WITH_CLI)) && PROGRAMS+=(varnokctl)
SHORTCUTS=("Varnok Plus Configurator.lnk:VarnokPlus_Configurator.exe"
           "VarnokCfg.lnk:VarnokCfg.exe")
MSI_WIN=$(winepath -w "$MSI" 2>/dev/null)

PATH_BEFORE=$(reg_value "$ENV_KEY" Path)
[[ -n $PATH_BEFORE ]]
check "the system Path is readable before installing" test $? -eq 0

# The installation folder is one entry of the system Path (written with or
# without the closing backslash), and it is there only once.
on_path() {
  local path count=0 entry
  path=$(reg_value "$ENV_KEY" Path)
  IFS=';' read -ra entries <<<"$path"
  for entry in "${entries[@]}"; do
    [[ ${entry%\\} == "$DIR_WIN" ]] && count=$((count + 1))
  done
  ((count == 1)) && [[ $path == "$PATH_BEFORE;"* ]]
}
key_exists() { timeout -k 2 20 wine reg query "$1" >/dev/null 2>&1; }

# --- install ---------------------------------------------------------------
timeout -k 5 180 wine msiexec /i "$MSI_WIN" /qn
check "silent install (msiexec /i /qn) exits 0" test $? -eq 0
timeout -k 5 60 wineserver -w

for p in "${PROGRAMS[@]}"; do
  check "$DIR_WIN\\$p.exe installed" test -f "$DIR/$p.exe"
done
check "README, LICENSE and notices installed" \
  test -f "$DIR/README.txt" -a -f "$DIR/LICENSE.txt" -a -f "$DIR/THIRD-PARTY-NOTICES.txt"
no_ftd2xx() {
  [[ -z $(find "$WINEPREFIX/drive_c" -iname ftd2xx.dll -print -quit) ]]
}
check "no ftd2xx.dll installed anywhere" no_ftd2xx
if [[ -f $ZIP ]]; then
  same_as_zip() {
    local p
    for p in "${PROGRAMS[@]}" README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
      [[ $p == *.txt ]] || p=$p.exe
      unzip -p "$ZIP" "VarnokPlus-$VERSION-win64/$p" | cmp -s - "$DIR/$p" || return 1
    done
  }
  check "installed files are the ones in the zip" same_as_zip
fi

shortcut_ok() { # name:target — the link exists and names its target
  local lnk=$START_ALL/${1%%:*} target=${1#*:}
  [[ -f $lnk ]] || lnk=$START_USER/${1%%:*}
  [[ -f $lnk ]] && grep -aqi "$target" "$lnk"
}
for s in "${SHORTCUTS[@]}"; do
  check "Start-menu shortcut ${s%%:*}" shortcut_ok "$s"
done

check "$DIR_WIN is on the system Path once, after the entries before it" on_path
check "product registered ($UNINST_KEY)" key_exists "$UNINST_KEY"
[[ $(reg_value "$UNINST_KEY" DisplayName) == "Varnok Plus" ]]
check "DisplayName is 'Varnok Plus'" test $? -eq 0
[[ $(reg_value "$UNINST_KEY" DisplayVersion) == "$VERSION" ]]
check "DisplayVersion is $VERSION" test $? -eq 0
[[ $(reg_value "$UNINST_KEY" Publisher) == Tarnel ]]
check "Publisher is Tarnel" test $? -eq 0

# --- the command line from the Path ----------------------------------------
# A new console started from here takes its Path from the registry, as a
# new prompt on Windows does after the installation.
if ((WITH_CLI)); then
  out=$(timeout -k 2 30 wine cmd /c 'varnokctl --help' 2>&1 | tr -d '\r')
  status=$?
  if [[ $status -eq 0 && $out == *list* && $out == *import* ]]; then
    pass "varnokctl --help runs from the Path"
  else
    fail "varnokctl --help runs from the Path (status $status)"
    printf '%s\n' "$out" | head -n 20
  fi
else
  skip "varnokctl --help from the Path: this package has no varnokctl.exe"
fi

# --- each program starts and shows its window ------------------------------
run_both_programs "$DIR_WIN"

# --- uninstall ---------------------------------------------------------------
timeout -k 5 180 wine msiexec /x "$MSI_WIN" /qn
check "silent uninstall (msiexec /x /qn) exits 0" test $? -eq 0
timeout -k 5 60 wineserver -w

check "installation folder removed" test ! -e "$DIR"
check "Start-menu folder removed" test ! -e "$START_ALL" -a ! -e "$START_USER"
# Wine leaves the separator before the removed entry (a trailing ";", which
# does no harm); Windows does not.
path_restored() {
  local path
  path=$(reg_value "$ENV_KEY" Path)
  [[ $path == "$PATH_BEFORE" || $path == "$PATH_BEFORE;" ]]
}
check "system Path as before the installation" path_restored
key_gone() { ! key_exists "$1"; }
check "product registration removed" key_gone "$UNINST_KEY"

# --- with the profile watcher service (WATCH_PROFILE) -----------------------
# A profile varnokctl refuses fails the installation as a whole; a good one
# leaves the service running with its copy; uninstalling removes the service.
if ((WITH_CLI)); then
  DATA=$WINEPREFIX/drive_c/ProgramData/Varnok\ Plus
  service_state() { # the STATE line of `sc query`, or "absent" (Wine's sc
    # says nothing about a service that does not exist)
    timeout -k 2 30 wine sc query VarnokPlusWatch >"$WORK/sc.out" 2>&1 || echo absent
    tr -d '\r' <"$WORK/sc.out" | grep -E 'STATE' | head -n 1
  }
  printf '%s\n' '{"format": "varnokplus-settings", "version": 1, "ports": [' \
    '{"match": "*", "settings": {"latencyTimer": 2}}]}' >"$WORK/profile.json"
  printf '{"format": "something else"}\n' >"$WORK/bad.json"
  timeout -k 5 180 wine msiexec /i "$MSI_WIN" /qn "WATCH_PROFILE=$(winepath -w "$WORK/bad.json")" \
    >"$WORK/msiexec.out" 2>&1
  check "WATCH_PROFILE with a refused profile fails the installation" test $? -ne 0
  check "... and leaves nothing installed" test ! -e "$DIR/varnokctl.exe"
  # The service keeps Wine running: its output goes to files, and nothing
  # waits for Wine's processes to end while it runs.
  timeout -k 5 180 wine msiexec /i "$MSI_WIN" /qn "WATCH_PROFILE=$(winepath -w "$WORK/profile.json")" \
    >"$WORK/msiexec.out" 2>&1
  check "msiexec /i /qn WATCH_PROFILE=... exits 0" test $? -eq 0
  check "WATCH_PROFILE: the profile copied to ProgramData" cmp -s "$WORK/profile.json" "$DATA/profile.json"
  state=$(service_state)
  check "WATCH_PROFILE: the service runs ($state)" test "${state//*RUNNING*/yes}" = yes
  timeout -k 5 180 wine msiexec /x "$MSI_WIN" /qn >"$WORK/msiexec.out" 2>&1
  check "uninstall with the service exits 0" test $? -eq 0
  state=$(service_state)
  check "the service removed ($state)" test "$state" = absent
  check "... and the installation folder" test ! -e "$DIR"
  timeout -k 2 30 wineserver -k >/dev/null 2>&1
fi

finish
