#!/bin/bash
# Demo: installs what is needed, builds the Windows programs, makes a Wine
# prefix holding a simulated FTDI installation (tests/e2e/data/installation.reg,
# with the attached devices of tests/e2e/data/devices.txt served by the test
# ftd2xx.dll) and opens the configurator on $DISPLAY, or under Xvfb when there
# is no display. Saves a screenshot and prints its path.
#   tools/demo.sh            VarnokPlus_Configurator
#   tools/demo.sh modetool   VarnokCfg
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

WHAT=${1:-configurator}
case $WHAT in
    configurator) EXE=VarnokPlus_Configurator.exe; CAPTION="Tarnel Varnok Plus Configurator" ;;
    modetool) EXE=VarnokCfg.exe; CAPTION="Tarnel VarnokCfg v2.3" ;;
    *) echo "usage: $0 [modetool]" >&2; exit 2 ;;
esac

tools/setup.sh
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build-win -j2 --target "${EXE%.exe}" ftd2xx_sim uidriver

source tests/e2e/lib.sh
OWN_X=0
if [[ -z ${DISPLAY:-} ]]; then
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
cleanup() {
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
cp "build-win/$EXE" "$E2E_TESTDLL" "$DEMO/app/"
cp "$E2E_DATA/devices.txt" "$DEMO/devices.txt"
: >"$DEMO/sim.log"

(
    cd "$DEMO/app"
    VARNOK_SIM_DEVICES=$(e2e_winpath "$DEMO/devices.txt") VARNOK_SIM_LOG=$(e2e_winpath "$DEMO/sim.log") \
        exec wine "$EXE"
) >"$DEMO/app.out" 2>&1 &
APP_PID=$!

CASE_DIR=$DEMO
e2e_driver
ok "wait-window $CAPTION 20000"
sleep 1  # let the program finish its start-up work before the picture
SHOT=$E2E_SCREENSHOTS/demo-$WHAT.png
e2e_screenshot "$SHOT"
echo "Screenshot: $SHOT"
if [[ $WHAT == modetool ]]; then
    echo "Note: VarnokCfg talks to its adapters over a COM port. The simulated adapter firmware"
    echo "on a pseudo-terminal (mapped to a COM port in the prefix) belongs to the mode tool's"
    echo "own work; without it the tool lists the simulated FTDI devices but no adapter answers."
fi
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
