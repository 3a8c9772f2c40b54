# shellcheck shell=bash
# Simulated adapters for the VarnokCfg end-to-end tests: the adapter firmware
# runs natively on a pseudo-terminal (sim/adapter_main.cpp, program `adapter`)
# that the case's prefix maps to a COM port, and the test ftd2xx.dll reports
# the matching FTDI interfaces. Sourced by test files after lib.sh.

# The native adapter simulator (tools/test.sh builds into build/, a manual
# build often into build-native/).
E2E_ADAPTER=${E2E_ADAPTER:-}
if [[ -z $E2E_ADAPTER ]]; then
    for candidate in "$E2E_ROOT/build/adapter" "$E2E_ROOT/build-native/adapter"; do
        [[ -x $candidate ]] && { E2E_ADAPTER=$candidate; break; }
    done
fi

ADAPTER_PIDS=()

# Cases run in subshells: each one stops the adapters it started.
stop_adapters() {
    local pid
    for pid in "${ADAPTER_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    ADAPTER_PIDS=()
}

modetool_teardown() {
    local rc=$?
    stop_adapters
    (exit "$rc")
    e2e_teardown
}

# Starts one simulated adapter and sets PTY to its terminal.
# Its log is $CASE_DIR/<tag>.log.
start_adapter() {  # tag adapter-options...
    local tag=$1
    shift
    [[ -n $E2E_ADAPTER ]] || fail "the adapter simulator is not built (build-native/adapter)"
    if (( ${#ADAPTER_PIDS[@]} == 0 )); then
        trap 'modetool_teardown' EXIT
    fi
    "$E2E_ADAPTER" --seconds 120 --log "$CASE_DIR/$tag.log" "$@" >"$CASE_DIR/$tag.out" 2>&1 &
    ADAPTER_PIDS+=($!)
    local deadline=$(( $(e2e_now_ms) + 5000 ))
    PTY=
    while [[ -z $PTY ]]; do
        PTY=$(head -n 1 "$CASE_DIR/$tag.out" 2>/dev/null || true)
        [[ -n $PTY ]] && break
        (( $(e2e_now_ms) > deadline )) && fail "adapter $tag did not start"
        sleep 0.02
    done
}

# Maps COM ports to terminals: map_ports COM20 /dev/pts/3 COM30 /dev/pts/4 ...
map_ports() {
    local reg=$CASE_DIR/ports.reg
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        while (($#)); do
            printf '"%s"="%s"\r\n' "$1" "$2"
            shift 2
        done
    } >"$reg"
    e2e_reg_import "$reg" || fail "mapping the COM ports failed"
    e2e_wine_stop
}

# The pair most cases use: a four-port "Varnok Plus" adapter (configuration
# interface COM20, ports COM21..COM24) and a two-port "Apex" adapter of the
# reduced model on its first data port (COM30). Logs are plus.log and
# apex.log; their FTDI interfaces, as the test ftd2xx.dll is to report
# them, are written to $CASE_DIR/devices.in.
start_plus_and_apex() {
    start_adapter plus --family config --ports 4 --name "Varnok Plus 4"
    local plus_pty=$PTY
    start_adapter apex --family first --model reduced --ports 2 --name "Apex 2" --rearm
    map_ports COM20 "$plus_pty" COM30 "$PTY"
    cat >"$CASE_DIR/devices.in" <<'EOF'
device id=04036011 loc=15 serial=VP000001 com=20 ua="id 1,7" desc=Varnok Plus - Config
device id=04036011 loc=121 serial=VP000001A com=21 desc=Varnok Plus 4 A
device id=04036011 loc=122 serial=VP000001B com=22 desc=Varnok Plus 4 B
device id=04036011 loc=123 serial=VP000001C com=23 desc=Varnok Plus 4 C
device id=04036011 loc=124 serial=VP000001D com=24 desc=Varnok Plus 4 D
device id=04036001 loc=31 serial=APEX0002 com=30 desc=USB Serial Converter
EOF
}

# Polls a driver command until its value is $2 (bounded by $3 ms).
wait_value() {  # command value timeout-ms
    local deadline=$(( $(e2e_now_ms) + $3 ))
    while :; do
        drv "$1"
        [[ $R == "OK $2" ]] && return 0
        (( $(e2e_now_ms) > deadline )) && fail "$1: still '$R' after $3 ms, expected '$2'"
        sleep 0.1
    done
}
