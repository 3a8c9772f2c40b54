# shellcheck shell=bash disable=SC2317  # functions are called through check and the traps
# Shared by the release tests (test_installer.sh, test_msi.sh): results, the
# tools they need, a throw-away Wine prefix on its own Xvfb display, and
# starting an installed program until its window shows.
#
# Source it, then call release_setup; WORK, WINEPREFIX and DISPLAY are set
# afterwards and everything is removed on exit (KEEP_PREFIX=1 keeps it).

# shellcheck disable=SC2034  # used by the scripts that source this file
RELEASE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
PASSED=0
FAILED=0
pass() { PASSED=$((PASSED + 1)); printf 'ok   %s\n' "$1"; }
fail() { FAILED=$((FAILED + 1)); printf 'FAIL %s\n' "$1"; }
skip() { printf 'skip %s\n' "$1"; }
check() { # check "description" command...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
finish() {
  printf '%d passed, %d failed\n' "$PASSED" "$FAILED"
  ((FAILED == 0))
  exit
}

# Installs what is missing when run as root; otherwise fails.
release_need_tools() { # [tool=package ...] on top of Wine, Xvfb and xdotool
  declare -A pkg_for=([wine]=wine [Xvfb]=xvfb [xdotool]=xdotool)
  local pair tool missing=()
  for pair in "$@"; do pkg_for[${pair%%=*}]=${pair#*=}; done
  [[ -x /usr/lib/wine/wine64 ]] || pkg_for[wine64-missing]=wine64
  for tool in "${!pkg_for[@]}"; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("${pkg_for[$tool]}")
  done
  ((${#missing[@]})) || return 0
  if [[ $(id -u) != 0 ]]; then
    fail "missing packages: ${missing[*]}"
    finish
  fi
  echo "installing ${missing[*]}"
  if ! { apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
           "${missing[@]}" >/dev/null; }; then
    fail "install ${missing[*]}"
    finish
  fi
}

XVFB_PID=
PROGRAM_PIDS=()

release_cleanup() {
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

# A fresh Wine prefix in a new temporary folder, on a display of its own.
release_setup() {
  WORK=$(mktemp -d /tmp/varnok-release-test.XXXXXX)
  export WINEPREFIX=$WORK/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  trap release_cleanup EXIT
  trap 'exit 130' INT TERM

  # Xvfb picks a free display itself and writes its number to the file.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
  XVFB_PID=$!
  local _
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
}

window_appears() { # caption regex, seconds
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}

# Starts a Windows program, checks that its window shows, then ends it.
run_program() { # Windows path of the exe, caption regex, caption text
  local pid status
  wine "$1" >/dev/null 2>&1 &
  pid=$!
  PROGRAM_PIDS+=("$pid")
  window_appears "$2" 30
  status=$?
  check "${1##*\\} starts and shows \"$3\"" test $status -eq 0
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

# Both programs, then the Wine server ends so that nothing of theirs is left.
run_both_programs() { # installation folder (Windows path)
  run_program "$1\\VarnokPlus_Configurator.exe" 'Tarnel Varnok Plus Configurator' \
    'Tarnel Varnok Plus Configurator'
  run_program "$1\\VarnokCfg.exe" 'Tarnel VarnokCfg v2\.3' 'Tarnel VarnokCfg v2.3'
  PROGRAM_PIDS=()
  timeout -k 2 30 wineserver -k >/dev/null 2>&1
}

# Data of a registry value, empty when it is missing.
reg_value() { # key, value name
  timeout -k 2 20 wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
