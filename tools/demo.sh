#!/bin/bash
# Demo: installs what is needed, builds the Windows programs, makes a Wine
# prefix holding a simulated FTDI installation (tests/e2e/data/installation.reg,
# with the attached devices of tests/e2e/data/devices.txt served by the test
# ftd2xx.dll) and opens the configurator on $DISPLAY, or under Xvfb when there
# is no display. Saves a screenshot and prints its path.
#   tools/demo.sh                    VarnokPlus_Configurator
#   tools/demo.sh modetool           VarnokCfg
#   tools/demo.sh varnokctl [ARGS]   varnokctl ARGS (default: list) on the same
#                                    installation; "modes ..." talks to the two
#                                    simulated adapters of the VarnokCfg demo
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

WHAT=${1:-configurator}
(( $# )) && shift
CLI_ARGS=("$@")
ADAPTERS=no
case $WHAT in
    configurator) EXE=VarnokPlus_Configurator.exe; CAPTION="Tarnel Varnok Plus Configurator" ;;
    modetool) EXE=VarnokCfg.exe; CAPTION="Tarnel VarnokCfg v2.3"; ADAPTERS=yes ;;
    varnokctl)
        EXE=varnokctl.exe
        (( ${#CLI_ARGS[@]} )) || CLI_ARGS=(list)
        [[ " ${CLI_ARGS[*]} " == *" modes "* ]] && ADAPTERS=yes ;;
    *) echo "usage: $0 [modetool | varnokctl [ARGS...]]" >&2; exit 2 ;;
esac

tools/setup.sh
# shellcheck source=stale-build.sh
source "$ROOT/tools/stale-build.sh"
forget_stale_windows_build build-win
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build-win -j2 --target "${EXE%.exe}" ftd2xx_sim uidriver
if [[ $ADAPTERS == yes ]]; then
    # The simulated adapters run natively on pseudo-terminals.
    cmake -S . -B build-native >/dev/null
    cmake --build build-native -j2 --target adapter
fi

source tests/e2e/lib.sh
OWN_X=0
if [[ -z ${DISPLAY:-} && $WHAT != varnokctl ]]; then
    e2e_start_xvfb
    OWN_X=1
    echo "No display: running under Xvfb on $DISPLAY"
fi

DEMO=$E2E_OUT/demo
mkdir -p "$DEMO"
e2e_make_template
export WINEPREFIX=$DEMO/prefix
e2e_copy_prefix "$WINEPREFIX"

APP_PID= DRV_PID=
ADAPTER_PIDS=()
cleanup() {
    local pid
    for pid in "${ADAPTER_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    [[ -n $DRV_PID ]] && kill "$DRV_PID" 2>/dev/null
    [[ -n $APP_PID ]] && kill "$APP_PID" 2>/dev/null
    e2e_wine_stop
    (( OWN_X )) && e2e_stop_xvfb
    return 0
}
trap cleanup EXIT
fail() { echo "demo: $*" >&2; exit 1; }

e2e_reg_import "$E2E_DATA/installation.reg" || fail "registry import failed"
mkdir -p "$DEMO/app"
cp "build-win/$EXE" "$DEMO/app/"
# The programs load ftd2xx.dll from the system folder only.
cp --remove-destination "$E2E_TESTDLL" "$WINEPREFIX/drive_c/windows/system32/ftd2xx.dll"
cp "$E2E_DATA/devices.txt" "$DEMO/devices.txt"
: >"$DEMO/sim.log"

if [[ $ADAPTERS == yes ]]; then
    # Two simulated adapters, each on a pseudo-terminal that the prefix maps
    # to the COM port the test ftd2xx.dll reports for it.
    cp "$E2E_DATA/modetool-devices.txt" "$DEMO/devices.txt"
    start_demo_adapter() {  # tag options... -> PTY
        local tag=$1 n
        shift
        build-native/adapter --log "$DEMO/$tag.log" "$@" >"$DEMO/$tag.out" 2>&1 &
        ADAPTER_PIDS+=($!)
        PTY=
        for n in $(seq 100); do
            PTY=$(head -n 1 "$DEMO/$tag.out" 2>/dev/null || true)
            [[ -n $PTY ]] && break
            sleep 0.05
        done
        [[ -n $PTY ]] || fail "adapter $tag did not start"
    }
    start_demo_adapter plus --family config --ports 4 --name "Varnok Plus 4"
    PLUS_PTY=$PTY
    start_demo_adapter apex --family first --model reduced --ports 2 --name "Apex 2" --rearm
    APEX_PTY=$PTY
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n"COM20"="%s"\r\n"COM30"="%s"\r\n' \
        "$PLUS_PTY" "$APEX_PTY" >"$DEMO/ports.reg"
    e2e_reg_import "$DEMO/ports.reg" || fail "mapping the COM ports failed"
    e2e_wine_stop
    echo "Simulated adapters: COM20 -> $PLUS_PTY, COM30 -> $APEX_PTY (logs in $DEMO/plus.log, $DEMO/apex.log)"
fi

if [[ $WHAT == varnokctl ]]; then
    # A console program: run it once and show what it prints. The prefix runs
    # as an administrator, so the writing commands work too.
    echo "\$ varnokctl ${CLI_ARGS[*]}"
    status=0
    (
        cd "$DEMO/app"
        VARNOK_SIM_DEVICES=$(e2e_winpath "$DEMO/devices.txt") VARNOK_SIM_LOG=$(e2e_winpath "$DEMO/sim.log") \
            exec wine "$EXE" "${CLI_ARGS[@]}"
    ) 2>&1 | tr -d '\r' || status=$?
    echo "(varnokctl ended with status $status; simulated driver calls in $DEMO/sim.log)"
    exit "$status"
fi

(
    cd "$DEMO/app"
    VARNOK_SIM_DEVICES=$(e2e_winpath "$DEMO/devices.txt") VARNOK_SIM_LOG=$(e2e_winpath "$DEMO/sim.log") \
        exec wine "$EXE"
) >"$DEMO/app.out" 2>&1 &
APP_PID=$!

CASE_DIR=$DEMO
e2e_driver
ok "wait-window $CAPTION 20000"
if [[ $WHAT == modetool ]]; then
    # The search starts 100 ms after the dialog opens and takes well under a
    # second per adapter.
    for n in $(seq 100); do
        drv "list-count 1001"
        [[ $R == "OK 2" ]] && break
        sleep 0.1
    done
fi
sleep 1  # let the program finish its start-up work before the picture
SHOT=$E2E_SCREENSHOTS/demo-$WHAT.png
e2e_screenshot "$SHOT"
echo "Screenshot: $SHOT"
printf 'quit\n' >&"${DRV[1]}"
e2e_wait_pid "$DRV_PID" 3000 || true
DRV_PID=

if (( OWN_X )); then
    echo "Closing the program (no display to show it on)."
else
    echo "The program runs on $DISPLAY; close it to end the demo."
    wait "$APP_PID" || true
    APP_PID=
fi
