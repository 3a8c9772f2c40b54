# Library of the end-to-end tests: the real Windows programs under Wine and
# Xvfb, driven by the UI driver (tests/e2e/uidriver). Sourced by run.sh, by
# every tests/e2e/test_*.sh and by tools/demo.sh.
#
# Layout of the output folder ($E2E_OUT, default build-e2e/):
#   prefix-template/    a Wine prefix made once (wineboot -i), copied per case
#   cases/<case>/       prefix, app folder, logs of one case (kept on failure);
#                       the test ftd2xx.dll goes into the prefix's system32
#   screenshots/        PNG files the cases save
#
# Every process started here is ended by its own id; every wait is bounded.

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_DATA=$E2E_ROOT/tests/e2e/data
E2E_OUT=${E2E_OUT:-$E2E_ROOT/build-e2e}
E2E_WIN_BUILD=${E2E_WIN_BUILD:-$E2E_ROOT/build-win}
E2E_TEMPLATE=$E2E_OUT/prefix-template
E2E_SCREENSHOTS=$E2E_OUT/screenshots

MAIN_CAPTION="Tarnel Varnok Plus Configurator"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

e2e_log() { printf '%s\n' "$*" >&2; }

e2e_now_ms() { date +%s%3N; }

# --- Windows build outputs ----------------------------------------------------

e2e_find_exe() {  # name -> path of the built program, empty when absent
    find "$E2E_WIN_BUILD" -maxdepth 4 -name "$1" -type f 2>/dev/null | sort | head -n 1
}
E2E_TESTDLL=$E2E_WIN_BUILD/testdll/ftd2xx.dll
E2E_PLANTEDDLL=$E2E_WIN_BUILD/testdll-planted/ftd2xx.dll
E2E_UIDRIVER=$E2E_WIN_BUILD/e2e/uidriver.exe
E2E_D2XXPROBE=$E2E_WIN_BUILD/e2e/d2xxprobe.exe

# A Windows path for a Unix one (Wine maps / to drive Z:).
e2e_winpath() { printf 'Z:%s' "${1//\//\\}"; }

# --- X server -----------------------------------------------------------------

# Starts one Xvfb and exports DISPLAY and E2E_XVFB_PID.
e2e_start_xvfb() {
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7>"$fdfile" >/dev/null 2>&1 &
    E2E_XVFB_PID=$!
    local deadline=$(( $(e2e_now_ms) + 10000 ))
    while [[ ! -s $fdfile ]]; do
        if ! kill -0 "$E2E_XVFB_PID" 2>/dev/null || (( $(e2e_now_ms) > deadline )); then
            e2e_log "Xvfb did not start"
            rm -f "$fdfile"
            return 1
        fi
        sleep 0.05
    done
    export DISPLAY=":$(head -n 1 "$fdfile")"
    export E2E_XVFB_PID
    rm -f "$fdfile"
}

e2e_stop_xvfb() {
    if [[ -n ${E2E_XVFB_PID:-} ]]; then
        kill "$E2E_XVFB_PID" 2>/dev/null || true
        wait "$E2E_XVFB_PID" 2>/dev/null || true
        E2E_XVFB_PID=
    fi
}

# --- Wine prefixes --------------------------------------------------------------

# Makes the template prefix once: wineboot, no window manager decorations
# wait (Managed=N), the fonts of fonts-wine.
e2e_make_template() {
    [[ -f $E2E_TEMPLATE/.complete ]] && return 0
    mkdir -p "$E2E_OUT"
    local tmp=$E2E_OUT/prefix-template.tmp
    rm -rf "$tmp"
    mkdir -p "$tmp"
    local t0
    t0=$(e2e_now_ms)
    (
        export WINEPREFIX=$tmp
        timeout 180 wineboot -i >/dev/null 2>&1
        timeout 60 wineserver -w
        timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        timeout 60 wineserver -w
    ) || { e2e_log "making the Wine prefix failed"; return 1; }
    if [[ -d /usr/share/wine/fonts ]]; then
        mkdir -p "$tmp/drive_c/windows/Fonts"
        cp -f /usr/share/wine/fonts/* "$tmp/drive_c/windows/Fonts/"
    fi
    grep -q '"Managed"="N"' "$tmp/user.reg" || { e2e_log "Managed=N was not stored"; return 1; }
    touch "$tmp/.complete"
    rm -rf "$E2E_TEMPLATE"
    mv "$tmp" "$E2E_TEMPLATE"
    e2e_log "Wine prefix template made in $(( $(e2e_now_ms) - t0 )) ms"
}

# Copies the template to $1: hard links for the bulk, real copies of the
# registry files (wineserver rewrites them in place).
e2e_copy_prefix() {
    rm -rf "$1"
    cp -al "$E2E_TEMPLATE" "$1"
    local f
    for f in system.reg user.reg userdef.reg; do
        cp --remove-destination "$E2E_TEMPLATE/$f" "$1/$f"
    done
}

# Ends the wineserver of the current prefix (and every Wine process in it).
e2e_wine_stop() {
    [[ -n ${WINEPREFIX:-} ]] && timeout 20 wineserver -k >/dev/null 2>&1 || true
}

# One wineserver for the whole case: without -p it ends a few seconds after
# each program, and a `wine reg` started while it is ending can fail on a
# loaded machine. The teardown ends it (e2e_wine_stop).
e2e_wine_keep() {
    timeout 20 wineserver -p >/dev/null 2>&1 || true
}

e2e_reg_import() {  # file.reg
    timeout 30 wine reg import "$(e2e_winpath "$1")" >/dev/null 2>&1
}

# Prints the data of one value as `wine reg query` shows it (REG_DWORD as
# 0x..., REG_BINARY as hex digits, REG_SZ as text); fails when absent.
# On a loaded machine `wine reg query` now and then ends without an answer:
# killed by the time limit, failing without naming what it did not find, or
# ending with status 0 and nothing printed although the value is there; and
# once a case stopped on a key the installation holds. So each query is
# asked up to three times: "Unable to find" is taken when it comes
# twice, silence when all three tries give it (a key without values).
e2e_reg_query() {  # arguments of `reg query`
    local out try status missing=0
    for try in 1 2 3; do
        out=$(timeout 30 wine reg query "$@" 2>/dev/null)
        status=$?
        out=${out//$'\r'/}
        if (( status == 0 )) && [[ -n ${out//[$'\n ']/} ]]; then printf '%s\n' "$out"; return 0; fi
        if [[ $out == *"Unable to find"* ]]; then
            (( ++missing == 2 )) && return 1
            continue
        fi
        (( status == 0 && try == 3 )) && return 0
        (( status == 0 )) || echo "e2e: reg query $* failed (status $status, try $try)" >&2
    done
    return 1
}

e2e_reg_value() {  # key value
    local out
    out=$(e2e_reg_query "$1" /v "$2") || return 1
    awk -v name="$2" '
        { line = $0; sub(/^ +/, "", line) }
        index(line, name) == 1 {
            rest = substr(line, length(name) + 1); sub(/^ +/, "", rest)
            sub(/^REG_[A-Z_]+ */, "", rest); print rest; found = 1; exit
        }
        END { exit found ? 0 : 1 }' <<<"$out"
}

# --- one test case ---------------------------------------------------------------

# Runs case function $2 named $1 in a subshell with its own prefix; records
# "PASS name" or "FAIL name: reason" (also into $E2E_RESULTS when set).
E2E_PASSED=0
E2E_FAILED=0
e2e_case() {
    local name=$1 fn=$2 slug t0 rc
    slug=$(tr -c 'A-Za-z0-9_-' '_' <<<"$name" | sed 's/_*$//')
    t0=$(e2e_now_ms)
    (
        set -euo pipefail
        CASE_NAME=$name
        CASE_DIR=$E2E_OUT/cases/$slug
        rm -rf "$CASE_DIR"
        mkdir -p "$CASE_DIR"
        export WINEPREFIX=$CASE_DIR/prefix
        e2e_copy_prefix "$WINEPREFIX"
        trap e2e_teardown EXIT
        e2e_wine_keep
        "$fn"
    ) 2>"$E2E_OUT/last_case${E2E_LANE:-}.err"
    rc=$?
    local ms=$(( $(e2e_now_ms) - t0 )) line
    if (( rc == 0 )); then
        line="PASS $name ($ms ms)"
        E2E_PASSED=$((E2E_PASSED + 1))
        rm -rf "$E2E_OUT/cases/$slug/prefix"
    else
        local why
        why=$(grep '^FAIL: ' "$E2E_OUT/last_case${E2E_LANE:-}.err" | head -n 1 | sed 's/^FAIL: //')
        [[ -n $why ]] || why="exit status $rc: $(tail -n 3 "$E2E_OUT/last_case${E2E_LANE:-}.err" | tr '\n' ' ')"
        line="FAIL $name: $why ($ms ms)"
        E2E_FAILED=$((E2E_FAILED + 1))
    fi
    echo "$line"
    [[ -n ${E2E_RESULTS:-} ]] && echo "$line" >>"$E2E_RESULTS"
    return 0
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Stops everything the case started, each by its own id, then the wineserver.
e2e_teardown() {
    local rc=$?
    if [[ -n ${DRV_PID:-} ]] && kill -0 "$DRV_PID" 2>/dev/null; then
        { printf 'quit\n' >&"${DRV[1]}"; } 2>/dev/null || true
        e2e_wait_pid "$DRV_PID" 2000 || kill "$DRV_PID" 2>/dev/null || true
    fi
    if [[ -n ${APP_PID:-} ]] && kill -0 "$APP_PID" 2>/dev/null; then
        kill "$APP_PID" 2>/dev/null || true
    fi
    e2e_wine_stop
    [[ -n ${DRV_PID:-} ]] && { wait "$DRV_PID" 2>/dev/null || true; }
    [[ -n ${APP_PID:-} ]] && { wait "$APP_PID" 2>/dev/null || true; }
    return $rc
}

# Waits up to $2 ms for process $1 to end; fails when it is still running.
e2e_wait_pid() {
    local deadline=$(( $(e2e_now_ms) + $2 ))
    while kill -0 "$1" 2>/dev/null; do
        (( $(e2e_now_ms) > deadline )) && return 1
        sleep 0.05
    done
    return 0
}

# Seeds the registry of the case with the simulated installation (or $1).
e2e_install() {
    e2e_reg_import "${1:-$E2E_DATA/installation.reg}" || fail "reg import of ${1:-installation.reg} failed"
}

# The case prefix's system folder, where the FTDI driver package puts
# ftd2xx.dll and the only place the programs load it from.
e2e_system32() { printf '%s/drive_c/windows/system32' "$WINEPREFIX"; }

# Copies a program into the case's app folder, installs the test ftd2xx.dll
# into the prefix's system folder (unless E2E_NO_DLL=1) and copies the device
# file $2 (default: devices.txt). Sets APP_EXE, SIM_LOG, SIM_DEVICES.
e2e_app() {  # program.exe [devices.txt]
    local src
    src=$(e2e_find_exe "$1")
    [[ -n $src ]] || fail "$1 is not built (looked under $E2E_WIN_BUILD)"
    mkdir -p "$CASE_DIR/app"
    cp "$src" "$CASE_DIR/app/"
    if [[ ${E2E_NO_DLL:-0} != 1 ]]; then
        e2e_install_testdll
    else
        rm -f "$(e2e_system32)/ftd2xx.dll"
    fi
    SIM_DEVICES=$CASE_DIR/devices.txt
    cp "${2:-$E2E_DATA/devices.txt}" "$SIM_DEVICES"
    SIM_LOG=$CASE_DIR/sim.log
    : >"$SIM_LOG"
    APP_EXE=$CASE_DIR/app/$1
}

# The test ftd2xx.dll as the system's (a real copy: the prefix is hard-linked
# to the template).
e2e_install_testdll() {
    [[ -f $E2E_TESTDLL ]] || fail "the test ftd2xx.dll is not built"
    cp --remove-destination "$E2E_TESTDLL" "$(e2e_system32)/ftd2xx.dll"
}

# Starts the program (from the app folder, or from folder $1) and the UI
# driver as a coprocess. Sets APP_PID, DRV and DRV_PID.
e2e_launch() {  # [working folder]
    local cwd=${1:-$CASE_DIR/app}
    (
        cd "$cwd"
        VARNOK_SIM_DEVICES=$(e2e_winpath "$SIM_DEVICES") VARNOK_SIM_LOG=$(e2e_winpath "$SIM_LOG") \
            exec wine "$APP_EXE"
    ) >"$CASE_DIR/app.out" 2>&1 &
    APP_PID=$!
    e2e_driver
}

e2e_driver() {
    [[ -f $E2E_UIDRIVER ]] || fail "the UI driver is not built"
    coproc DRV { exec wine "$E2E_UIDRIVER" 2>>"$CASE_DIR/driver.err"; }
    DRV_PID=$DRV_PID
}

# Sends one command to the UI driver; the answer is in R.
drv() {
    printf '%s\n' "$*" >&"${DRV[1]}" || fail "UI driver is gone (command: $*)"
    IFS= read -r -t 30 -u "${DRV[0]}" R || fail "no answer from the UI driver to: $*"
    R=${R%$'\r'}
}

# Like drv, but fails unless the answer is OK; the value is in V.
ok() {
    drv "$@"
    [[ $R == OK || $R == "OK "* ]] || fail "$*: $R"
    V=${R#OK}
    V=${V# }
}

expect() {  # command expected-value
    ok "$1"
    [[ $V == "$2" ]] || fail "$1: got '$V', expected '$2'"
}

# Waits for the program's main window (default: the configurator) and makes
# it the driver's current window.
e2e_wait_main() {
    ok "wait-window ${1:-$MAIN_CAPTION} ${2:-15000}"
}

# Waits for message box $1 and checks its text $2; answers it with button $3.
e2e_box() {  # caption text [button]
    ok "wait-box $1 10000"
    [[ $V == "$2" ]] || fail "box '$1' says '$V', expected '$2'"
    [[ -n ${3:-} ]] && ok "answer-box $1 $3"
    return 0
}

# Waits up to $1 ms for the program to end; fails on a crash box or time-out.
# The exit status is in APP_STATUS.
e2e_wait_exit() {
    if ! e2e_wait_pid "$APP_PID" "${1:-10000}"; then
        drv "windows"
        [[ $R == *"Program Error"* ]] && fail "the program crashed (Program Error box)"
        fail "the program did not end in ${1:-10000} ms (windows: ${R#OK })"
    fi
    APP_STATUS=0
    wait "$APP_PID" || APP_STATUS=$?
    APP_PID=
}

# The lines the test ftd2xx.dll logged.
e2e_sim_log() { tr -d '\r' <"$SIM_LOG"; }

# Saves a PNG of the driver's current window.
e2e_screenshot() {  # path.png
    ok "settle 300"
    ok "rect"
    local x y w h
    read -r x y w h <<<"$V"
    mkdir -p "$(dirname "$1")"
    timeout 20 import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$1" \
        || fail "screenshot failed"
}

# Number of pixels of exactly colour $2 (#RRGGBB) in image $1.
e2e_pixels() {
    local n
    n=$(timeout 20 convert "$1" -format %c histogram:info:- | awk -v c="$2" 'toupper($0) ~ c { n += $1 } END { print n + 0 }')
    echo "${n:-0}"
}

# --- a test file ------------------------------------------------------------------

# Prepares a test file run: an X server of its own when run.sh gave none, the
# template prefix.
e2e_begin() {
    mkdir -p "$E2E_OUT/cases"
    E2E_OWN_XVFB=0
    if [[ -z ${E2E_DISPLAY:-} ]]; then
        e2e_start_xvfb || exit 1
        E2E_OWN_XVFB=1
        trap 'e2e_stop_xvfb' EXIT
    else
        export DISPLAY=$E2E_DISPLAY
    fi
    e2e_make_template || exit 1
}

e2e_end() {
    (( E2E_OWN_XVFB )) && e2e_stop_xvfb
    echo "$E2E_PASSED passed, $E2E_FAILED failed"
    (( E2E_FAILED == 0 ))
}
